// Which keys of a connect string hold a password, and overwriting them where
// a command line holds them.
#include <cctype>
#include <string>

#include "isqlsecret.h"

bool isql_names_password(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("pwd") != std::string::npos || lower.find("password") != std::string::npos;
}

void isql_hide_secrets(char* connect) {
    for (char* p = connect; *p != '\0';) {
        char* key = p;
        while (*p != '\0' && *p != '=' && *p != ';') ++p;
        if (*p != '=') {
            if (*p == ';') ++p;
            continue;
        }
        const bool secret = isql_names_password(std::string_view(key, static_cast<size_t>(p - key)));
        const bool braced = *++p == '{';  // {...} may hold ";"
        if (braced) ++p;
        for (; *p != '\0' && *p != (braced ? '}' : ';'); ++p)
            if (secret) *p = 'x';
        if (braced && *p == '}') ++p;
        if (*p == ';') ++p;
    }
}
