// Lexer of the command language. It reads one wide command line in place
// through a cursor owned by the parser; after each token the cursor stands
// right behind it, so the parser can take the raw rest of the line from there.
#include <climits>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "isqlcmd.h"
#include "zvunicode.h"

IsqlLval isql_yylval;

namespace {

constexpr wint_t kEndMarker = WEOF;     // all bits set
constexpr int kFirstTokenNumber = 256;  // character codes from here on would read as tokens
constexpr int kLastTokenNumber = TOK_DOT;

// Text of the word, quoted string or number being read. Keeps at most
// kTokenChars characters; anything beyond is consumed and only remembered as
// an overflow, so no input length can overrun it.
template <typename String>
struct TokenText {
    String text;
    bool overflow = false;

    void clear() {
        text.clear();
        overflow = false;
    }
    void append(typename String::value_type ch) {
        if (text.size() < static_cast<size_t>(kTokenChars))
            text.push_back(ch);
        else
            overflow = true;
    }
};

TokenText<std::wstring> wyytext;
TokenText<std::string> yytext;

bool is_word_char(wint_t c) {
    return zviswalnum(c) || c == L'_' || c == L'-' || c == L'/' || c == L'\\';
}

// First byte of the multibyte form of a digit.
char digit_byte(wint_t c) {
    char buf[MB_LEN_MAX];
    std::mbstate_t state{};
    const size_t n = std::wcrtomb(buf, static_cast<wchar_t>(c), &state);
    return (n == static_cast<size_t>(-1) || n == 0) ? '?' : buf[0];
}

// Token of a keyword, or 0 when word is none. Binary search over the sorted
// table; entry 0 pads the front and never matches.
int lookup_keyword(const wchar_t* word) {
    int lo = 0;
    int hi = kKeywordCount - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int cmp = zvwcsicmp(keywords[mid].text, word);
        if (cmp == 0) return keywords[mid].token;
        if (cmp < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return 0;
}

// A word starting with first: a keyword token, or WORD with its text in
// isql_yylval.word.
int read_word(wint_t first, const wchar_t** cursor) {
    wyytext.clear();
    wyytext.append(static_cast<wchar_t>(first));
    for (;;) {
        const wint_t c = readc(cursor);
        if (!is_word_char(c)) {
            unreadc(c, cursor);
            break;
        }
        wyytext.append(static_cast<wchar_t>(c));
    }
    if (wyytext.overflow) return TOK_ERROR;
    if (const int token = lookup_keyword(wyytext.text.c_str()); token != 0) return token;
    isql_yylval.word = wyytext.text;
    return TOK_WORD;
}

// A run of decimal digits starting with first: NUMBER with the narrow digit
// text in isql_yylval.number.
int read_number(wint_t first, const wchar_t** cursor) {
    yytext.clear();
    yytext.append(digit_byte(first));
    for (;;) {
        const wint_t c = readc(cursor);
        if (!zviswdigit(c)) {
            unreadc(c, cursor);
            break;
        }
        yytext.append(digit_byte(c));
    }
    if (yytext.overflow) return TOK_ERROR;
    isql_yylval.number = yytext.text;
    return TOK_NUMBER;
}

// The rest of a double-quoted string, the opening quote already read. There
// is no escape: the character after the opening quote always belongs to the
// string (unless it is white space, which makes the quote a token of its own),
// and the next quote closes it. A string the line ends inside is dropped.
int read_quoted(const wchar_t** cursor) {
    wint_t c = readc(cursor);
    if (zviswspace(c)) {
        unreadc(c, cursor);
        return TOK_QUOTE;
    }
    if (c == kEndMarker) return TOK_EOL;
    wyytext.clear();
    wyytext.append(static_cast<wchar_t>(c));
    for (;;) {
        c = readc(cursor);
        if (c == kEndMarker) return TOK_EOL;
        if (c == L'"') break;
        wyytext.append(static_cast<wchar_t>(c));
    }
    if (wyytext.overflow) return TOK_ERROR;
    isql_yylval.word = wyytext.text;
    return TOK_WORD;
}

}  // namespace

// The character under the cursor, advancing past it; at the terminating NUL
// the end marker, without advancing.
wint_t readc(const wchar_t** cursor) {
    const wchar_t c = **cursor;
    if (c == L'\0') return kEndMarker;
    ++*cursor;
    return static_cast<wint_t>(c);
}

// Steps the cursor back over c when c is the character just read. Putting
// back the end marker does nothing. The cursor must stand behind at least one
// character read by readc.
void unreadc(wint_t c, const wchar_t** cursor) {
    if (c == kEndMarker) return;
    if (static_cast<wint_t>((*cursor)[-1]) == c) --*cursor;
}

// Next token of the line under *cursor (see IsqlToken); TOK_EOL at the end of
// the line or at a "#" comment. Words, quoted strings and numbers longer than
// kTokenChars are consumed whole and give TOK_ERROR, which no command accepts.
int isql_yylex(const wchar_t** cursor) {
    wint_t c = readc(cursor);
    while (zviswspace(c)) c = readc(cursor);

    if (c == L'#') {
        while (readc(cursor) != kEndMarker) {
        }
        return TOK_EOL;
    }
    if (c == kEndMarker) return TOK_EOL;
    if (zviswalpha(c)) return read_word(c, cursor);
    if (zviswdigit(c)) return read_number(c, cursor);

    switch (c) {
    case L'!': return TOK_EXEC;
    case L'*': return TOK_STAR;
    case L',': return TOK_COMMA;
    case L'.': return TOK_DOT;
    case L';': return TOK_SEMICOLON;
    case L'@': return TOK_AT;
    case L'"': return read_quoted(cursor);
    default: break;
    }
    // Any other character stands for itself, unless its code would be taken
    // for a token number (or for the end of the line, when negative).
    const int code = static_cast<int>(c);
    if (code < 0 || (code >= kFirstTokenNumber && code <= kLastTokenNumber)) return TOK_ERROR;
    return code;
}

void isql_yyerror(const char*) {}

std::string isql_to_multibyte(const wchar_t* text, size_t len) {
    const std::wstring wide(text, len);
    const size_t needed = zvwcstombs(nullptr, wide.c_str(), 0);
    if (needed != static_cast<size_t>(-1)) {
        std::vector<char> buf(needed + 1, '\0');
        if (zvwcstombs(buf.data(), wide.c_str(), buf.size()) == needed)
            return std::string(buf.data(), needed);
    }
    // Some character has no multibyte form here: convert one by one.
    std::string out;
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (const wchar_t ch : wide) {
        const size_t n = std::wcrtomb(buf, ch, &state);
        if (n == static_cast<size_t>(-1)) {
            out.push_back('?');
            state = std::mbstate_t{};
        } else {
            out.append(buf, n);
        }
    }
    return out;
}

// Multibyte copy of text up to the first line feed or carriage return (or
// its end). The line itself is left as it is.
std::string isql_get_string(const wchar_t* text) {
    if (text == nullptr) return std::string();
    size_t len = 0;
    while (text[len] != L'\0' && text[len] != L'\n' && text[len] != L'\r') ++len;
    return isql_to_multibyte(text, len);
}
