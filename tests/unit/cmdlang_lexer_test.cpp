// Lexer and keyword table of the command language.
#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>
#include <vector>

#include "isqlcmd.h"
#include "zvunicode.h"

namespace {

struct Token {
    int token;
    std::wstring word;   // WORD text
    std::string number;  // NUMBER digits
    bool operator==(const Token&) const = default;
};

Token word(const std::wstring& text) { return {TOK_WORD, text, ""}; }
Token number(const std::string& digits) { return {TOK_NUMBER, L"", digits}; }
Token tok(int token) { return {token, L"", ""}; }

// Every token of line up to and including the end of line.
std::vector<Token> lex_all(const wchar_t* line) {
    std::vector<Token> out;
    const wchar_t* cursor = line;
    for (int guard = 0; guard < 100; ++guard) {
        const int t = isql_yylex(&cursor);
        Token item = tok(t);
        if (t == TOK_WORD) item.word = isql_yylval.word;
        if (t == TOK_NUMBER) item.number = isql_yylval.number;
        out.push_back(item);
        if (t == TOK_EOL) break;
    }
    return out;
}

// Switches LC_ALL for one test and restores "C" afterwards.
struct LocaleGuard {
    explicit LocaleGuard(const char* name) { ok = std::setlocale(LC_ALL, name) != nullptr; }
    ~LocaleGuard() { std::setlocale(LC_ALL, "C"); }
    bool ok;
};

TEST(KeywordTable, SortedForBinarySearchAndEveryEntryFound) {
    ASSERT_EQ(kKeywordCount, 49);
    EXPECT_STREQ(keywords[0].text, L" ");
    EXPECT_EQ(keywords[0].token, 0);
    for (int i = 1; i < kKeywordCount; ++i)
        EXPECT_LT(zvwcsicmp(keywords[i - 1].text, keywords[i].text), 0)
            << "entry " << i << " is out of order";

    // Every keyword is found, whatever its case.
    for (int i = 1; i < kKeywordCount; ++i) {
        std::wstring lower = keywords[i].text;
        std::wstring upper = lower;
        for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
        std::wstring mixed = lower;
        for (size_t k = 0; k < mixed.size(); k += 2) mixed[k] = upper[k];
        for (const std::wstring& w : {lower, upper, mixed}) {
            const wchar_t* cursor = w.c_str();
            EXPECT_EQ(isql_yylex(&cursor), keywords[i].token) << "keyword " << i;
            EXPECT_EQ(*cursor, L'\0');
        }
    }
}

TEST(KeywordTable, TokensOfSelectedWords) {
    EXPECT_EQ(lex_all(L"CONNECT connect CoNnEcT"),
              (std::vector<Token>{tok(TOK_CONNECT), tok(TOK_CONNECT), tok(TOK_CONNECT), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"quit exit"), (std::vector<Token>{tok(TOK_EXIT), tok(TOK_EXIT), tok(TOK_EOL)}));
    // Near misses stay words.
    EXPECT_EQ(lex_all(L"select_1 end-of autocommitx tablesx"),
              (std::vector<Token>{word(L"select_1"), word(L"end-of"), word(L"autocommitx"),
                                  word(L"tablesx"), tok(TOK_EOL)}));
}

TEST(Lexer, ReadcAndUnreadcAtTheEnd) {
    const wchar_t* line = L"a";
    const wchar_t* cursor = line;
    EXPECT_EQ(readc(&cursor), static_cast<wint_t>(L'a'));
    EXPECT_EQ(cursor, line + 1);
    EXPECT_EQ(readc(&cursor), WEOF);
    EXPECT_EQ(readc(&cursor), WEOF);
    EXPECT_EQ(cursor, line + 1);
    unreadc(WEOF, &cursor);
    EXPECT_EQ(cursor, line + 1);
    unreadc(L'b', &cursor);  // not the character just read
    EXPECT_EQ(cursor, line + 1);
    unreadc(L'a', &cursor);
    EXPECT_EQ(cursor, line);

    const wchar_t* empty = L"";
    cursor = empty;
    EXPECT_EQ(readc(&cursor), WEOF);
    unreadc(WEOF, &cursor);
    EXPECT_EQ(cursor, empty);
}

TEST(Lexer, BlankLinesAndComments) {
    EXPECT_EQ(lex_all(L""), std::vector<Token>{tok(TOK_EOL)});
    EXPECT_EQ(lex_all(L"  \t \n"), std::vector<Token>{tok(TOK_EOL)});
    EXPECT_EQ(lex_all(L"# select 1;"), std::vector<Token>{tok(TOK_EOL)});
    EXPECT_EQ(lex_all(L"show tables # all"),
              (std::vector<Token>{tok(TOK_SHOW), tok(TOK_TABLES), tok(TOK_EOL)}));

    // A comment moves the cursor to the end of the line.
    const wchar_t* line = L"x #y";
    const wchar_t* cursor = line;
    EXPECT_EQ(isql_yylex(&cursor), TOK_WORD);
    EXPECT_EQ(isql_yylex(&cursor), TOK_EOL);
    EXPECT_EQ(cursor, line + 4);
}

TEST(Lexer, NumbersAndPunctuation) {
    EXPECT_EQ(lex_all(L"12ab"), (std::vector<Token>{number("12"), word(L"ab"), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"-5"), (std::vector<Token>{tok('-'), number("5"), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"007"), (std::vector<Token>{number("007"), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"u*p@d;,"),
              (std::vector<Token>{word(L"u"), tok(TOK_STAR), word(L"p"), tok(TOK_AT), word(L"d"),
                                  tok(TOK_SEMICOLON), tok(TOK_COMMA), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"cat.own.tab"),
              (std::vector<Token>{word(L"cat"), tok(TOK_DOT), word(L"own"), tok(TOK_DOT),
                                  word(L"tab"), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"dir/sub-1 a\\b_c"),
              (std::vector<Token>{word(L"dir/sub-1"), word(L"a\\b_c"), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"('=)"), (std::vector<Token>{tok('('), tok('\''), tok('='), tok(')'), tok(TOK_EOL)}));
}

TEST(Lexer, ExecMarkLeavesCursorOnStatement) {
    const wchar_t* line = L"!select 1";
    const wchar_t* cursor = line;
    EXPECT_EQ(isql_yylex(&cursor), TOK_EXEC);
    EXPECT_EQ(cursor, line + 1);

    // A keyword leaves the cursor on the character right behind it.
    line = L"echo hi";
    cursor = line;
    EXPECT_EQ(isql_yylex(&cursor), TOK_ECHO);
    EXPECT_EQ(cursor, line + 4);
}

TEST(Lexer, QuotedStrings) {
    EXPECT_EQ(lex_all(L"\"a@b *c.d\""), (std::vector<Token>{word(L"a@b *c.d"), tok(TOK_EOL)}));
    // A quote followed by white space is a token of its own.
    EXPECT_EQ(lex_all(L"\" x"), (std::vector<Token>{tok(TOK_QUOTE), word(L"x"), tok(TOK_EOL)}));
    // Unterminated: the string is dropped and the line ends.
    EXPECT_EQ(lex_all(L"\"abc"), std::vector<Token>{tok(TOK_EOL)});
    EXPECT_EQ(lex_all(L"\""), std::vector<Token>{tok(TOK_EOL)});
    // The character after the opening quote always belongs to the string.
    EXPECT_EQ(lex_all(L"\"\"abc\""), (std::vector<Token>{word(L"\"abc"), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"\"\""), std::vector<Token>{tok(TOK_EOL)});
    // Keywords, comments and digits inside quotes are plain text.
    EXPECT_EQ(lex_all(L"\"select #1\" x"), (std::vector<Token>{word(L"select #1"), word(L"x"), tok(TOK_EOL)}));
}

TEST(Lexer, OverlongTokensAreConsumedAndRefused) {
    const std::wstring longest(kTokenChars, L'w');
    EXPECT_EQ(lex_all(longest.c_str()), (std::vector<Token>{word(longest), tok(TOK_EOL)}));

    const std::wstring overWord(kTokenChars + 1, L'w');
    EXPECT_EQ(lex_all((overWord + L" x").c_str()),
              (std::vector<Token>{tok(TOK_ERROR), word(L"x"), tok(TOK_EOL)}));

    const std::wstring quoted = L"\"" + std::wstring(30000, L'q') + L"\" x";
    EXPECT_EQ(lex_all(quoted.c_str()), (std::vector<Token>{tok(TOK_ERROR), word(L"x"), tok(TOK_EOL)}));

    const std::wstring digits(30000, L'9');
    EXPECT_EQ(lex_all(digits.c_str()), (std::vector<Token>{tok(TOK_ERROR), tok(TOK_EOL)}));

    const std::wstring unterminated = L"\"" + std::wstring(30000, L'q');
    EXPECT_EQ(lex_all(unterminated.c_str()), std::vector<Token>{tok(TOK_EOL)});
}

TEST(Lexer, CharacterCodesNeverPoseAsTokens) {
    // U+0101 is no letter in the C locale; its code equals the CMDFILE token.
    ASSERT_EQ(iswalpha(0x101), 0);
    EXPECT_EQ(lex_all(L"\u0101 x"), (std::vector<Token>{tok(TOK_ERROR), word(L"x"), tok(TOK_EOL)}));
    EXPECT_EQ(lex_all(L"\u20ac"), (std::vector<Token>{tok(0x20ac), tok(TOK_EOL)}));
}

TEST(Lexer, LettersOfTheLocale) {
    LocaleGuard locale("C.UTF-8");
    if (!locale.ok) GTEST_SKIP() << "C.UTF-8 locale not available";
    EXPECT_EQ(lex_all(L"caf\u00e9 \u00e9t\u00e9"),
              (std::vector<Token>{word(L"caf\u00e9"), word(L"\u00e9t\u00e9"), tok(TOK_EOL)}));
}

TEST(GetString, CutsAtLineEndAndConvertsToMultibyte) {
    EXPECT_EQ(isql_get_string(L"a.sql\r\n"), "a.sql");
    EXPECT_EQ(isql_get_string(L"a.sql\n"), "a.sql");
    EXPECT_EQ(isql_get_string(L" my file.sql\nrest"), " my file.sql");
    EXPECT_EQ(isql_get_string(L"x\ry\nz"), "x");
    EXPECT_EQ(isql_get_string(L""), "");

    // A character the locale cannot encode does not break the conversion.
    EXPECT_EQ(isql_get_string(L"d\u00e9.sql"), "d?.sql");
    {
        LocaleGuard locale("C.UTF-8");
        if (!locale.ok) GTEST_SKIP() << "C.UTF-8 locale not available";
        EXPECT_EQ(isql_get_string(L"d\u00e9.sql\n"), "d\xc3\xa9.sql");
    }
}

}  // namespace
