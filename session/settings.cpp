// Reader of the settings file: one value of one section of an INI profile.
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "isqlini.h"

int (*gzv_stricmp)(const char*, const char*) = zv_stricmp;

namespace {
constexpr const char kIniFileName[] = "odbcisql.ini";
constexpr const char kIniFilePath[] = "./odbcisql.ini";

// Copies src into out of capacity size, cut to size - 1 bytes; returns the length.
size_t copy_value(char* out, size_t size, const char* src) {
    if (size == 0) return 0;
    size_t n = strlen(src);
    if (n > size - 1) n = size - 1;
    memcpy(out, src, n);
    out[n] = '\0';
    return n;
}

// Reads one line of at most kIniLineBytes bytes into line, without its line
// feed. Returns false at end of file.
bool read_line(FILE* f, char (&line)[kIniLineBytes + 1]) {
    if (fgets(line, sizeof line, f) == nullptr) return false;
    size_t n = strlen(line);
    if (n > 0 && line[n - 1] == '\n') line[n - 1] = '\0';
    return true;
}

// True when the line, after blanks, starts with "[" and a "]" follows on it.
bool is_section_start(const char* line) {
    while (*line == ' ') ++line;
    return *line == '[' && strchr(line + 1, ']') != nullptr;
}
}  // namespace

int zv_stricmp(const char* a, const char* b) { return strcasecmp(a, b); }

int isql_stricmp(const char* a, const char* b) { return gzv_stricmp(a, b); }

int ZvGetOdbcisqlIniFile(char* pathBuffer) {
    FILE* f = fopen(kIniFilePath, "r");
    if (f == nullptr) {
        copy_value(pathBuffer, kIniPathBytes, kIniFileName);
        return 0;
    }
    fclose(f);
    copy_value(pathBuffer, kIniPathBytes, kIniFilePath);
    return 1;
}

char* BlankStrip(char* text) {
    while (*text == ' ') ++text;
    size_t n = strlen(text);
    while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
    return text;
}

int IsCommentLine(const char* text) {
    if (text == nullptr) return 0;
    while (*text == ' ') ++text;
    return (*text == '\0' || *text == ';') ? 1 : 0;
}

// Looks up key in the first section named section (both without regard to
// ASCII case); the first matching key line wins. Copies the value, or the
// default when the file, the section or the key is missing.
int isql_GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* out, size_t size, const char* path) {
    FILE* f = fopen(path, "r");
    if (f == nullptr) return static_cast<int>(copy_value(out, size, defaultValue));
    if (size > 0) out[0] = '\0';

    const std::string header = std::string("[") + section + "]";
    char line[kIniLineBytes + 1];
    bool inSection = false;
    while (read_line(f, line)) {
        if (!IsCommentLine(line) && isql_stricmp(line, header.c_str()) == 0) {
            inSection = true;
            break;
        }
    }
    std::string value;
    bool found = false;
    while (inSection && read_line(f, line)) {
        if (IsCommentLine(line)) continue;
        if (is_section_start(line)) break;
        char* eq = strchr(line, '=');
        if (eq == nullptr) continue;
        *eq = '\0';
        if (isql_stricmp(BlankStrip(line), key) == 0) {
            value = BlankStrip(eq + 1);
            found = true;
            break;
        }
    }
    fclose(f);
    return static_cast<int>(copy_value(out, size, found ? value.c_str() : defaultValue));
}
