// What the terminal history may keep, and where it is kept.
#include <cwctype>
#include <string>

#include "isqlterm.h"
#include "zvunicode.h"

namespace {
constexpr char kDefaultHistoryName[] = ".wsql_history";

// The lexer's word characters: a keyword ends where none follows.
bool is_word_char(wchar_t c) {
    return zviswalnum(static_cast<wint_t>(c)) || c == L'_' || c == L'-' || c == L'/' ||
           c == L'\\';
}

// The first word of line in lower case, and the position behind it.
std::wstring first_word(const std::wstring& line, size_t* end) {
    size_t i = 0;
    while (i < line.size() && zviswspace(static_cast<wint_t>(line[i]))) ++i;
    std::wstring word;
    while (i < line.size() && is_word_char(line[i]))
        word.push_back(static_cast<wchar_t>(zvtowlower(static_cast<wint_t>(line[i++]))));
    *end = i;
    return word;
}

// True when text holds key (lower case) as a connect-string key: not glued
// to a word before it, followed by blanks and "=".
bool has_key(const std::wstring& text, const std::wstring& key) {
    std::wstring lower;
    for (wchar_t c : text) lower.push_back(static_cast<wchar_t>(zvtowlower(static_cast<wint_t>(c))));
    for (size_t at = lower.find(key); at != std::wstring::npos; at = lower.find(key, at + 1)) {
        if (at > 0 && zviswalnum(static_cast<wint_t>(lower[at - 1]))) continue;
        size_t i = at + key.size();
        while (i < lower.size() && zviswspace(static_cast<wint_t>(lower[i]))) ++i;
        if (i < lower.size() && lower[i] == L'=') return true;
    }
    return false;
}
}  // namespace

// Errs on the side of leaving a line out: any "*" behind CONNECT counts,
// whether the line parses or not.
bool isql_line_holds_password(const std::wstring& line) {
    size_t rest = 0;
    const std::wstring word = first_word(line, &rest);
    if (word == L"connect" || word == L"multiconnect")
        return line.find(L'*', rest) != std::wstring::npos;
    if (word == L"customconnect") {
        const std::wstring tail = line.substr(rest);
        return has_key(tail, L"pwd") || has_key(tail, L"password");
    }
    return false;
}

// An absent key means ~/.wsql_history; an empty value means no file; a value
// starting with "~/" is taken below the home folder.
std::string isql_history_path(const char* value, const char* home) {
    const bool hasHome = home != nullptr && *home != '\0';
    if (value == nullptr) return hasHome ? std::string(home) + "/" + kDefaultHistoryName : "";
    const std::string v = value;
    if (v.compare(0, 2, "~/") == 0) return hasHome ? std::string(home) + v.substr(1) : "";
    return v;
}
