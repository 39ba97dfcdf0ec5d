// Text support: UTF-8 / UTF-16 conversions and the zv wide-string helpers.
// Pure functions: they print nothing and read no session setting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>

typedef uint16_t zvutf16;  // one UTF-16 code unit, host byte order

extern const unsigned char utf8_length_array[128];
extern const unsigned char utf8_mask_array[6];
extern const uint32_t utf8_minval_array[6];

// ---- conversions -----------------------------------------------------------
unsigned int utf8towcs(const unsigned char* src, long srcLen, wchar_t* dst, unsigned int dstLen);
// utf8towcs that also takes the characters above U+FFFF (4-byte sequences),
// one wide element each.
unsigned int utf8towcs_full(const unsigned char* src, long srcLen, wchar_t* dst, unsigned int dstLen);
int wcstoutf8(const wchar_t* src, long srcLen, unsigned char* dst, int dstLen);
// The UTF-8 of wide text, as wcstoutf8 writes it.
std::string utf8_of(std::wstring_view text);
// Length of the well-formed UTF-8 sequence at the start of s (no overlong
// forms, no surrogates, nothing past U+10FFFF), its character in c; 0 when
// there is none.
size_t utf8_sequence(std::string_view s, uint32_t& c);
// UTF-8 of UTF-16 text (pairs joined; a lone surrogate becomes U+FFFD), and
// UTF-16 of UTF-8 text (each invalid byte becomes U+FFFD): for the ODBC
// wide calls, whose units are UTF-16 whatever wchar_t is.
std::string utf8_of_utf16(std::u16string_view text);
std::u16string utf16_of_utf8(std::string_view text);
// UTF-16 of wide text: a character above U+FFFF as its surrogate pair, an
// element past U+10FFFF as U+FFFD.
std::u16string utf16_of_wide(std::wstring_view text);
int utf16towcs(const zvutf16* src, int srcLen, wchar_t* dst, int dstLen);
int wcstoutf16(const wchar_t* src, int srcLen, zvutf16* dst, int dstLen);

size_t zvwcstombs(char* dst, const wchar_t* src, size_t len);
size_t zvwcstombs_term(char* dst, const wchar_t* src, size_t len);
size_t zvmbstowcs(wchar_t* dst, const char* src, size_t len);
size_t zvmbstowcs_term(wchar_t* dst, const char* src, size_t len);
size_t zvmbstowcs_l(wchar_t* dst, size_t dstLen, const char* src, size_t srcLen, char* scratch);
size_t zvGetBufLenForWideCharToMultiByteFixup(const wchar_t* src, int srcLen);
int zvWideCharToMultipByteFixUp(const wchar_t* src, int srcLen, char* dst, size_t dstLen);

// ---- wide-string helpers ---------------------------------------------------
int zvwcslen(const wchar_t* s);
wchar_t* zvwcscpy(wchar_t* d, const wchar_t* s);
wchar_t* zvwcscat(wchar_t* d, const wchar_t* s);
wchar_t* zvwcsncpy(wchar_t* d, const wchar_t* s, uint32_t n);
wchar_t* zvwcsncat(wchar_t* d, const wchar_t* s, uint32_t n);
int zvwcsncmp(const wchar_t* a, const wchar_t* b, uint32_t n);
int zvwcscmp(const wchar_t* a, const wchar_t* b);
const wchar_t* zvwcschr(const wchar_t* s, wchar_t c);
const wchar_t* zvwcsrchr(const wchar_t* s, wchar_t c);
const wchar_t* zvwcsstr(const wchar_t* h, const wchar_t* n);
const wchar_t* zvwcspbrk(const wchar_t* s, const wchar_t* set);
size_t zvwcsspn(const wchar_t* s, const wchar_t* set);
size_t zvwcscspn(const wchar_t* s, const wchar_t* set);
wchar_t* zvwcstok(wchar_t* s, const wchar_t* delim, wchar_t** save);
long zvwcstol(const wchar_t* s, wchar_t** end, int base);
unsigned long zvwcstoul(const wchar_t* s, wchar_t** end, int base);
double zvwcstod(const wchar_t* s, wchar_t** end);
int zviswspace(wint_t c);
int zviswdigit(wint_t c);
int zviswalpha(wint_t c);
int zviswalnum(wint_t c);
int zviswpunct(wint_t c);
int zviswupper(wint_t c);
int zviswlower(wint_t c);
wint_t zvtowupper(wint_t c);
wint_t zvtowlower(wint_t c);
wchar_t* zvwmemcpy(wchar_t* d, const wchar_t* s, int n);
wchar_t* zvwmemmove(wchar_t* d, const wchar_t* s, int n);
char* zvsetlocale(int category, const char* locale);

int zvwcsicmp(const wchar_t* a, const wchar_t* b);
int zvwcsnicmp(const wchar_t* a, const wchar_t* b, int n);
const wchar_t* zvwcsistr(const wchar_t* haystack, const wchar_t* needle);
wchar_t* zvwcsdup(const wchar_t* s);
wchar_t* zvwcsupr(wchar_t* s);
wchar_t* zvwcslwr(wchar_t* s);
int zvwmemcmp(const wchar_t* a, const wchar_t* b, int n);
void zvwmemset(wchar_t* a, wchar_t v, int n);
int zviswascii(wchar_t c);
size_t zvmbstrlen(const char* s);
size_t zvwcsftime(...);

void* isql_alloc(size_t size);
int isql_free(void* p);
