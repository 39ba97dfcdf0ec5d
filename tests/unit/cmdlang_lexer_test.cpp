// Lexer and keyword table of the command language.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "isqlcmd.h"
#include "unit_util.h"
#include "zvunicode.h"

namespace {

// The tokens of line before its end: [word], #digits, ERR, a few keyword
// names, other tokens below 256 as their character.
std::string tokens(const std::wstring& text) {
    const wchar_t* cursor = text.c_str();
    std::string out;
    for (int guard = 0; guard < 100; ++guard) {
        const int t = isql_yylex(&cursor);
        if (t == TOK_EOL) return out;
        if (!out.empty()) out += ' ';
        switch (t) {
        case TOK_WORD: out += "[" + ascii(isql_yylval.word) + "]"; break;
        case TOK_NUMBER: out += "#" + isql_yylval.number; break;
        case TOK_ERROR: out += "ERR"; break;
        case TOK_CONNECT: out += "CONNECT"; break;
        case TOK_EXIT: out += "EXIT"; break;
        case TOK_SHOW: out += "SHOW"; break;
        case TOK_TABLES: out += "TABLES"; break;
        case TOK_STAR: out += "*"; break;
        case TOK_AT: out += "@"; break;
        case TOK_SEMICOLON: out += ";"; break;
        case TOK_COMMA: out += ","; break;
        case TOK_DOT: out += "."; break;
        default: out += t < 0x80 ? std::string(1, static_cast<char>(t)) : "T" + std::to_string(t);
        }
    }
    return out + " (no end)";
}

TEST(KeywordTable, SortedForBinarySearchAndEveryEntryFound) {
    ASSERT_EQ(kKeywordCount, 49);
    EXPECT_STREQ(keywords[0].text, L" ");
    EXPECT_EQ(keywords[0].token, 0);
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
        {L"CONNECT connect CoNnEcT", "CONNECT CONNECT CONNECT"}, {L"quit exit", "EXIT EXIT"},
        // Near misses stay words.
        {L"select_1 end-of autocommitx tablesx", "[select_1] [end-of] [autocommitx] [tablesx]"},
        {L"", ""}, {L"  \t \n", ""}, {L"# select 1;", ""}, {L"show tables # all", "SHOW TABLES"},
        {L"12ab", "#12 [ab]"}, {L"-5", "- #5"}, {L"007", "#007"},
        {L"u*p@d;,", "[u] * [p] @ [d] ; ,"}, {L"cat.own.tab", "[cat] . [own] . [tab]"},
        {L"dir/sub-1 a\\b_c", "[dir/sub-1] [a\\b_c]"}, {L"('=)", "( ' = )"},
        {L"\"a@b *c.d\"", "[a@b *c.d]"},
        {L"\" x", "\" [x]"},  // a quote followed by white space is a token of its own
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
    ASSERT_TRUE(locale.ok);
    EXPECT_EQ(tokens(L"caf\u00e9 \u00e9t\u00e9"), "[caf<e9>] [<e9>t<e9>]");
}

TEST(Lexer, CursorPositions) {
    // "!" and a keyword leave the cursor right behind them, a comment at the end.
    const std::pair<std::wstring, int> rows[] = {{L"!select 1", 1}, {L"echo hi", 4}, {L" #y", 3}};
    for (const auto& [line, at] : rows) {
        const wchar_t* cursor = line.c_str();
        isql_yylex(&cursor);
        EXPECT_EQ(cursor - line.c_str(), at) << ascii(line);
    }

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
    line = L"";
    cursor = line;
    EXPECT_EQ(readc(&cursor), WEOF);
    unreadc(WEOF, &cursor);
    EXPECT_EQ(cursor, line);
}

TEST(GetString, CutsAtLineEndAndConvertsToMultibyte) {
    const std::pair<const wchar_t*, const char*> rows[] = {
        {L"a.sql\r\n", "a.sql"}, {L"a.sql\n", "a.sql"}, {L" my file.sql\nrest", " my file.sql"},
        {L"x\ry\nz", "x"}, {L"", ""}, {L"d\u00e9.sql", "d?.sql"}};  // not encodable: '?'
    for (const auto& [line, want] : rows) EXPECT_EQ(isql_get_string(line), want) << ascii(line);
    LocaleGuard locale("C.UTF-8");
    ASSERT_TRUE(locale.ok);
    EXPECT_EQ(isql_get_string(L"d\u00e9.sql\n"), "d\xc3\xa9.sql");
}

}  // namespace
