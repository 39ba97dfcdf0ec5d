// The settings file "odbcisql.ini": an INI profile read at start-up.
#pragma once

#include <cstddef>

constexpr size_t kIniPathBytes = 512;
constexpr size_t kIniLineBytes = 1023;   // longer lines are read in pieces
constexpr size_t kSettingBytes = 4096;   // one value read from the settings file

extern int (*gzv_stricmp)(const char*, const char*);

int ZvGetOdbcisqlIniFile(char* pathBuffer);
int isql_GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* out, size_t size, const char* path);
char* BlankStrip(char* text);
int IsCommentLine(const char* text);
int zv_stricmp(const char* a, const char* b);
int isql_stricmp(const char* a, const char* b);
