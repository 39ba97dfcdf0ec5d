// Lexer and keyword table of the command language. How names become
// multibyte text (isql_get_string) shows in the parser's file names.

#include <cwchar>
#include <map>

#include "isqlcmd.h"
#include "unit_util.h"
#include "zvunicode.h"

namespace {

// The tokens of line before its end: [word], #digits, ERR, punctuation by
// name, other tokens below 0x80 as their character. (Blank lines, comments
// and names quoted around "@", "*" and "." show in the parser's records.)
std::string tokens(const std::wstring& text) {
    const wchar_t* cursor = text.c_str();
    std::string out;
    for (int guard = 0; guard < 100; ++guard) {
        const int t = isql_yylex(&cursor);
        if (t == TOK_EOL) return out;
        if (!out.empty()) out += ' ';
        static const std::map<int, std::string> punctuation = {
            {TOK_ERROR, "ERR"}, {TOK_STAR, "*"}, {TOK_AT, "@"}, {TOK_SEMICOLON, ";"}, {TOK_COMMA, ","}, {TOK_DOT, "."}};
        if (t == TOK_WORD) out += "[" + ascii(isql_yylval.word) + "]";
        else if (t == TOK_NUMBER) out += "#" + isql_yylval.number;
        else if (punctuation.contains(t)) out += punctuation.at(t);
        else out += t < 0x80 ? std::string(1, static_cast<char>(t)) : "T" + std::to_string(t);
    }
    return out + " (no end)";
}

TEST(KeywordTable, SortedForBinarySearchAndEveryEntryFound) {
    for (int i = 1; i < kKeywordCount; ++i) {
        EXPECT_LT(zvwcsicmp(keywords[i - 1].text, keywords[i].text), 0) << "entry " << i;
        // Every keyword is found, whatever its case.
        std::wstring lower = keywords[i].text, upper = lower, mixed = lower;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
        for (size_t k = 0; k < mixed.size(); k += 2) mixed[k] = upper[k];
        for (const std::wstring& w : {lower, upper, mixed}) {
            const wchar_t* cursor = w.c_str();
            EXPECT_EQ(isql_yylex(&cursor), keywords[i].token) << "keyword " << i;
            EXPECT_EQ(*cursor, L'\0');
        }
    }
}

TEST(Lexer, TokensOfLines) {
    const std::wstring w(kTokenChars, L'w'), q(30000, L'q');
    const std::pair<std::wstring, std::string> rows[] = {
        // Near misses stay words. (Keywords in any case: the keyword table test.)
        {L"select_1 end-of autocommitx tablesx", "[select_1] [end-of] [autocommitx] [tablesx]"},
        {L"12ab", "#12 [ab]"}, {L"-5", "- #5"}, {L"007", "#007"}, {L"u*p@d;,", "[u] * [p] @ [d] ; ,"},
        {L"cat.own.tab", "[cat] . [own] . [tab]"}, {L"dir/sub-1 a\\b_c", "[dir/sub-1] [a\\b_c]"},
        {L"('=)", "( ' = )"}, {L"\" x", "\" [x]"},  // a quote followed by white space is a token of its own
        // Unterminated: the string is dropped and the line ends.
        {L"\"abc", ""}, {L"\"", ""}, {L"\"" + q, ""},
        // The character after the opening quote always belongs to the string.
        {L"\"\"abc\"", "[\"abc]"}, {L"\"\"", ""},
        // Keywords, comments and digits inside quotes are plain text.
        {L"\"select #1\" x", "[select #1] [x]"},
        // Over-long tokens are consumed whole and refused.
        {w, "[" + std::string(kTokenChars, 'w') + "]"}, {w + L"w x", "ERR [x]"},
        {L"\"" + q + L"\" x", "ERR [x]"}, {std::wstring(30000, L'9'), "ERR"},
        // U+0101 is no letter in the C locale; its code equals the CMDFILE token.
        {L"\u0101 x", "ERR [x]"}, {L"\u20ac", "T8364"}};
    for (const auto& [line, want] : rows) EXPECT_EQ(tokens(line), want) << ascii(line.substr(0, 40));

    LocaleGuard locale("C.UTF-8");
    EXPECT_EQ(tokens(L"caf\u00e9 \u00e9t\u00e9"), "[caf<e9>] [<e9>t<e9>]");
}

// readc stops at the end of the line; unreadc steps back only over the
// character just read. (Where tokens leave the cursor shows in the text
// positions of the parser's records.)
TEST(Lexer, ReadcAndUnreadc) {
    const wchar_t* line = L"a";
    const wchar_t* cursor = line;
    EXPECT_EQ(readc(&cursor), static_cast<wint_t>(L'a'));
    EXPECT_EQ(readc(&cursor), WEOF);
    EXPECT_EQ(readc(&cursor), WEOF);
    EXPECT_EQ(cursor, line + 1);
    unreadc(WEOF, &cursor);
    unreadc(L'b', &cursor);  // not the character just read
    EXPECT_EQ(cursor, line + 1);
    unreadc(L'a', &cursor);
    EXPECT_EQ(cursor, line);
}

}  // namespace
