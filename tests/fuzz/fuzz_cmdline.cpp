// Fuzz target: one command line through the lexer and the command parser,
// handed over as the dispatcher hands over a line read from any input.
//
// Input: the bytes, four at a time in host order, are the wide characters of
// the line, of any value (NUL, surrogates, values above U+10FFFF, negative
// ones). When the size is not a multiple of four, the last byte holds
// options: bit 0 selects the "C" locale instead of C.UTF-8 (the character
// classes of the lexer follow the locale); bit 1 repeats the line until it is
// longer than the longest token, so over-long words, numbers and quoted
// strings come from small inputs.
#include <cwchar>
#include <string>
#include <tuple>

#include "fuzz_util.h"
#include "isql.h"
#include "isqlcmd.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

namespace {

constexpr unsigned kOptionCLocale = 1;
constexpr unsigned kOptionLongLine = 2;

std::wstring line_of(const uint8_t* data, size_t size, unsigned options) {
    const std::vector<wchar_t> chars = fuzz_elements<wchar_t>(data, size);
    std::wstring line(chars.begin(), chars.end());
    if ((options & kOptionLongLine) != 0 && !line.empty()) {
        const std::wstring unit = line;
        while (line.size() <= static_cast<size_t>(kTokenChars) + 16) line += unit;
    }
    return line;
}

// Lexes the line to its end: every token but the end of the line moves the
// cursor forward, and the cursor never leaves the line.
void lex_whole_line(const wchar_t* begin, const wchar_t* end) {
    const wchar_t* cursor = begin;
    for (size_t tokens = 0;; ++tokens) {
        FUZZ_CHECK(tokens <= static_cast<size_t>(end - begin) + 1);
        const wchar_t* before = cursor;
        const int token = isql_yylex(&cursor);
        FUZZ_CHECK(cursor >= begin && cursor <= end);
        if (token == TOK_EOL) return;
        FUZZ_CHECK(cursor > before);
        if (token == TOK_WORD) {
            FUZZ_CHECK(!isql_yylval.word.empty());
            FUZZ_CHECK(isql_yylval.word.size() <= static_cast<size_t>(kTokenChars));
        }
        if (token == TOK_NUMBER) {
            FUZZ_CHECK(!isql_yylval.number.empty());
            FUZZ_CHECK(isql_yylval.number.size() <= static_cast<size_t>(kTokenChars));
        }
    }
}

bool known_kind(CmdKind kind) {
    return kind == CMD_EMPTY || (kind >= CMD_CMDFILE && kind <= CMD_RESFILE) ||
           (kind >= CMD_TIMER_START && kind <= CMD_SHOW_TABLES);
}

// What the handlers rely on: the operands their kind needs are present and
// every text position lies inside the line.
void check_record(const IsqlCommand& cmd, const wchar_t* begin, const wchar_t* end) {
    FUZZ_CHECK(known_kind(cmd.kind));
    if (cmd.wsText != nullptr) {
        FUZZ_CHECK(cmd.wsText >= begin && cmd.wsText <= end);
        FUZZ_CHECK(std::wcslen(cmd.wsText) == static_cast<size_t>(end - cmd.wsText));
    }
    switch (cmd.kind) {
    case CMD_SQL:
    case CMD_ECHO:
    case CMD_DESCRIBE_STMT: FUZZ_CHECK(cmd.wsText != nullptr); break;
    case CMD_CONNECT:
    case CMD_MULTICONNECT:
        FUZZ_CHECK(cmd.sPathOrDsn.has_value());
        FUZZ_CHECK(cmd.wsUser.has_value() || !cmd.wsPassword.has_value());
        break;
    case CMD_CMDFILE:
    case CMD_NCMDFILE: FUZZ_CHECK(cmd.sPathOrDsn.has_value()); break;
    case CMD_CUSTOMCONNECT: FUZZ_CHECK(cmd.wsConnStr.has_value()); break;
    case CMD_DESCRIBE_TABLE: FUZZ_CHECK(cmd.wsTable.has_value()); break;
    case CMD_AUTOCOMMIT: FUZZ_CHECK(cmd.lNumber == 0 || cmd.lNumber == 1); break;
    case CMD_FETCH:
    case CMD_WAIT:
    case CMD_QUERYTIMEOUT:
        FUZZ_CHECK(cmd.lNumber >= INT32_MIN && cmd.lNumber <= INT32_MAX);
        break;
    default: break;
    }
    // Names are handed on as C strings: a NUL inside would cut them silently.
    if (cmd.sPathOrDsn) FUZZ_CHECK(cmd.sPathOrDsn->find('\0') == std::string::npos);
}

// Every field of the record, for comparing two.
auto fields(const IsqlCommand& c) {
    return std::tie(c.kind, c.sPathOrDsn, c.wsConnStr, c.lNumber, c.wsText, c.wsUser, c.wsPassword,
                    c.wsCatalog, c.wsOwner, c.wsTable);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned options = size % sizeof(wchar_t) != 0 ? data[size - 1] : 0;
    fuzz_use_locale((options & kOptionCLocale) == 0);

    const std::wstring line = line_of(data, size, options);
    const wchar_t* begin = line.c_str();
    const wchar_t* end = begin + std::wcslen(begin);  // the line ends at its first NUL

    lex_whole_line(begin, end);
    const IsqlCommand first = isql_parse_line(begin);
    check_record(first, begin, end);
    // A second parse of the same line must give the same record: nothing of
    // the previous line may leak through the lexer's process-wide buffers.
    const IsqlCommand second = isql_parse_line(begin);
    FUZZ_CHECK(fields(first) == fields(second));
    return 0;
}
