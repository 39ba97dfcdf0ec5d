// What the terminal history may keep, and where it is kept.
#include <cctype>
#include <cwctype>
#include <string>

#include "isqlsecret.h"
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

// True when text holds a connect-string key whose name says it is a
// password (PWD, Password, SSLPassword, ...): a word followed by blanks and "=".
bool has_secret_key(const std::wstring& text) {
    const auto key_char = [](wchar_t c) { return zviswalnum(static_cast<wint_t>(c)) || c == L'_'; };
    for (size_t i = 0; i < text.size();) {
        if (!key_char(text[i])) {
            ++i;
            continue;
        }
        std::string key;  // the names that matter are ASCII
        for (; i < text.size() && key_char(text[i]); ++i)
            key.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
        size_t j = i;
        while (j < text.size() && zviswspace(static_cast<wint_t>(text[j]))) ++j;
        if (j < text.size() && text[j] == L'=' && isql_names_password(key)) return true;
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
    if (word == L"customconnect") return has_secret_key(line.substr(rest));
    // The lines continuing a command may carry a connect string too.
    const size_t continued = line.find(L'\n');
    return continued != std::wstring::npos && has_secret_key(line.substr(continued + 1));
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
