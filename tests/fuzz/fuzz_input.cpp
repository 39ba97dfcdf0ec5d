// Fuzz target: the input reader, the lexer and the command parser on any
// command-file bytes, read line by line to the end as the main loop reads a
// command file: each line is lexed to its end and parsed (twice, to the same
// record, which must hold what its kind needs), an SQL statement is gathered
// to its ";" (reading continuation lines), a REPEAT block is read to its END,
// and CMDFILE / NCMDFILE switch the decoding of the rest of the file as they
// do in the program (the named file itself is not opened).
//
// Input: byte 0 holds options, the rest is the file. Bit 0: start in UTF-8
// mode (-n) instead of the locale's decoding; bit 1: the "C" locale instead
// of C.UTF-8 (the character classes of the lexer follow it); bit 2:
// hexadecimal display of every line (written to /dev/null; files up to 8 KiB
// only); bits 3-5: the file is the rest repeated 1, 2, 3, 255, 4097, 32767,
// 65536 or 131073 times (at most 136 KiB), so that lines longer than a UTF-8
// piece, the read chunk, the command buffer or the longest token come from
// small inputs; bit 6: repeat the text of each line of the rest instead, so
// that such a line can start anywhere in the file (and its pieces end across
// the chunks).
//
// The file is read twice: once line by line with nothing but the reader,
// where the lines must add up to the whole file whenever it decodes cleanly,
// then as the main loop reads it.
#include <algorithm>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <tuple>

#include "fuzz_util.h"
#include "isql.h"
#include "isqlcmd.h"
#include "zvunicode.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

namespace {

constexpr size_t kMaxFileBytes = 136 * 1024;  // just above the longest locale-mode line
constexpr size_t kRepeats[8] = {1, 2, 3, 255, 4097, 32767, 65536, 131073};
constexpr unsigned kOptionRepeatLines = 0x40;
constexpr size_t kMaxHexFileBytes = 8192;

FILE* gInput = nullptr;  // reads the in-memory file through its descriptor

// The file: the rest of the input, repeated whole, or with the text of each
// of its lines repeated (so a long line can follow lines of any length).
std::string file_of(const uint8_t* data, size_t size, unsigned options) {
    const std::string unit(reinterpret_cast<const char*>(data), size);
    const size_t repeats = kRepeats[(options >> 3) & 7];
    std::string file;
    if ((options & kOptionRepeatLines) == 0) {
        for (size_t i = 0; i < repeats && !unit.empty() && file.size() + unit.size() <= kMaxFileBytes; ++i)
            file += unit;
        return file;
    }
    fuzz_for_each_line(unit, [&](const std::string& text, bool ended) {
        for (size_t i = 0; i < repeats && !text.empty() && file.size() < kMaxFileBytes; ++i) file += text;
        if (ended && file.size() < kMaxFileBytes) file += '\n';
    });
    file.resize(std::min(file.size(), kMaxFileBytes));
    return file;
}

// What a line handed to the dispatcher looks like in the mode it was read in.
void check_line(const std::wstring& line, bool utf8Mode) {
    const size_t nl = line.find(L'\n');
    FUZZ_CHECK(nl == std::wstring::npos || nl == line.size() - 1);
    FUZZ_CHECK(line.size() < (utf8Mode ? kUtf8PieceBytes + 1 : static_cast<size_t>(kCmdCapacity)));
    if (utf8Mode)
        for (const wchar_t c : line) FUZZ_CHECK(c > 0 && c <= 0xFFFF);
}

// The whole file decoded at once, as the reader should see it when it is cut
// into lines: false when the file holds anything that makes the reader drop
// text on purpose (an undecodable sequence, an unfinished one at the end, a
// byte-order mark, a NUL in UTF-8 mode), so the lines need not add up.
bool decode_whole(const std::string& file, bool utf8Mode, std::wstring& text) {
    text.clear();
    if (utf8Mode) {
        if (file.find('\0') != std::string::npos || file.find("\xEF\xBB\xBF") != std::string::npos)
            return false;
        // Converted with its terminator, as the reader converts each piece:
        // a character left unfinished at the end then fails the conversion.
        text.assign(file.size() + 1, L'\0');
        const unsigned int n = utf8towcs(reinterpret_cast<const unsigned char*>(file.c_str()), -1,
                                         text.data(), static_cast<unsigned int>(text.size()));
        text.resize(n > 0 ? n - 1 : 0);
        return n > 0;
    }
    std::mbstate_t st{};
    for (const char byte : file) {
        wchar_t wc;
        const size_t k = std::mbrtowc(&wc, &byte, 1, &st);
        if (k == static_cast<size_t>(-1)) return false;
        if (k != static_cast<size_t>(-2)) text.push_back(wc);
    }
    return std::mbsinit(&st) != 0;
}

// Reads every line as it comes, with nothing but the reader: where the file
// decodes whole, the lines joined give exactly its text, however lines are
// cut into pieces and pieces fall across the reader's chunks.
void check_lines_add_up(const std::string& file, bool utf8Mode) {
    std::wstring expected;
    const bool comparable = decode_whole(file, utf8Mode, expected);
    ClientState state{.inFile = gInput};
    std::wstring line, joined;
    while (isql_get_newcmd(&state, line, "ISQL")) {
        check_line(line, utf8Mode);
        joined += line;
    }
    if (comparable) FUZZ_CHECK(joined == expected);
}

// Lexes the line to its end: every token but the end of the line moves the
// cursor forward, the cursor never leaves the line, and a word or a number
// holds 1 to kTokenChars characters.
void lex_whole_line(const wchar_t* begin, const wchar_t* end) {
    const wchar_t* cursor = begin;
    for (int token = 0; token != TOK_EOL;) {
        const wchar_t* before = cursor;
        token = isql_yylex(&cursor);
        FUZZ_CHECK(cursor >= begin && cursor <= end && (cursor > before || token == TOK_EOL));
        if (token == TOK_WORD || token == TOK_NUMBER) {
            const size_t n = token == TOK_WORD ? isql_yylval.word.size() : isql_yylval.number.size();
            FUZZ_CHECK(n > 0 && n <= static_cast<size_t>(kTokenChars));
        }
    }
}

// Every field of the record, for comparing two.
auto fields(const IsqlCommand& c) {
    return std::tie(c.kind, c.sPathOrDsn, c.wsConnStr, c.lNumber, c.wsText, c.wsUser, c.wsPassword,
                    c.wsCatalog, c.wsOwner, c.wsTable);
}

// What the handlers rely on: a kind they know, the operands it needs, every
// text position inside the line (which ends at its first NUL). A second parse
// gives the same record: nothing of the previous line may leak through the
// lexer's process-wide buffers.
IsqlCommand parse_and_check(const std::wstring& line) {
    const wchar_t* begin = line.c_str();
    const wchar_t* end = begin + std::wcslen(begin);
    lex_whole_line(begin, end);
    const IsqlCommand cmd = isql_parse_line(begin);
    FUZZ_CHECK(fields(cmd) == fields(isql_parse_line(begin)));
    FUZZ_CHECK(cmd.kind == CMD_EMPTY || (cmd.kind >= CMD_CMDFILE && cmd.kind <= CMD_RESFILE) ||
               (cmd.kind >= CMD_TIMER_START && cmd.kind <= CMD_FORMAT));
    if (cmd.wsText != nullptr) {
        FUZZ_CHECK(cmd.wsText >= begin && cmd.wsText <= end);
        FUZZ_CHECK(std::wcslen(cmd.wsText) == static_cast<size_t>(end - cmd.wsText));
    }
    const auto is = [&](std::initializer_list<CmdKind> kinds) {
        return std::find(kinds.begin(), kinds.end(), cmd.kind) != kinds.end();
    };
    if (is({CMD_SQL, CMD_ECHO, CMD_DESCRIBE_STMT})) FUZZ_CHECK(cmd.wsText != nullptr);
    if (is({CMD_CONNECT, CMD_MULTICONNECT})) FUZZ_CHECK(cmd.sPathOrDsn && (cmd.wsUser || !cmd.wsPassword));
    if (is({CMD_CMDFILE, CMD_NCMDFILE, CMD_FORMAT})) FUZZ_CHECK(cmd.sPathOrDsn.has_value());
    if (is({CMD_CUSTOMCONNECT})) FUZZ_CHECK(cmd.wsConnStr.has_value());
    if (is({CMD_DESCRIBE_TABLE})) FUZZ_CHECK(cmd.wsTable.has_value());
    if (is({CMD_AUTOCOMMIT})) FUZZ_CHECK(cmd.lNumber == 0 || cmd.lNumber == 1);
    if (is({CMD_FETCH, CMD_WAIT, CMD_QUERYTIMEOUT})) FUZZ_CHECK(cmd.lNumber == static_cast<int32_t>(cmd.lNumber));
    // Names are handed on as C strings: a NUL inside would cut them silently.
    if (cmd.sPathOrDsn) FUZZ_CHECK(cmd.sPathOrDsn->find('\0') == std::string::npos);
    return cmd;
}

// The main loop and the dispatcher's reading, without running anything.
void read_to_end(ClientState& state) {
    std::wstring line;
    while (isql_get_nextcmd(&state, line)) {
        check_line(line, gCmdFile != 0);
        if (!line.empty() && line[0] == L'#') continue;
        const IsqlCommand cmd = parse_and_check(line);
        if (cmd.kind == CMD_SQL || cmd.kind == CMD_DESCRIBE_STMT) {
            std::wstring stmt;
            isql_get_stmt(&state, cmd.wsText, stmt);
        } else if (cmd.kind == CMD_REPEAT) {
            isql_get_repeatlist(&state);
            isql_close_repeatlist(&state);
        } else if (cmd.kind == CMD_CMDFILE && cmd.sPathOrDsn->compare(0, 2, "o:") != 0) {
            gCmdFile = 0;
        } else if (cmd.kind == CMD_NCMDFILE) {
            gCmdFile = 1;
        }
    }
    // Once ended, the source stays ended.
    FUZZ_CHECK(isql_get_nextcmd(&state, line) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Messages and hexadecimal dumps go nowhere.
    gClientStateList.idleResFile = std::fopen("/dev/null", "w");
    gClientStateList.idleErrFile = gClientStateList.idleResFile;
    gInput = fdopen(fuzz_fill_memfd("", 0), "rb");
    if (gClientStateList.idleResFile == nullptr || gInput == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const unsigned options = size > 0 ? data[0] : 0;
    const std::string file = file_of(data + (size > 0), size - (size > 0), options);
    fuzz_use_locale((options & 2) == 0);
    gCmdFile = (options & 1) != 0 ? 1 : 0;
    // Dumps of long files find nothing that short ones do not, at great cost.
    gHexDisplay = (options & 4) != 0 && file.size() <= kMaxHexFileBytes ? 1 : 0;
    fuzz_fill_memfd(file.data(), file.size());
    check_lines_add_up(file, gCmdFile != 0);

    fuzz_fill_memfd(file.data(), file.size());
    ClientState state{.inFile = gInput, .resFile = gfpResFile, .errFile = gfpErrFile};
    read_to_end(state);
    return 0;
}
