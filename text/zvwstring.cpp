// The zv wide-string library: a thin portability layer over the C library's
// wide-character functions, a few case-insensitive helpers of its own, and
// the allocation wrappers every module uses.
#include "zvunicode.h"

#include "platform.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <memory>
#include <string>

namespace {

constexpr int32_t kMaxAscii = 0x7F;

struct FreeDeleter {
    void operator()(wchar_t* p) const { std::free(p); }
};

// Difference of two lower-cased characters as a 32-bit value with
// wrap-around.
int lower_difference(wchar_t a, wchar_t b) {
    const uint32_t la = static_cast<uint32_t>(zvtowlower(static_cast<wint_t>(a)));
    const uint32_t lb = static_cast<uint32_t>(zvtowlower(static_cast<wint_t>(b)));
    return static_cast<int32_t>(la - lb);
}

}  // namespace

// ---- forwards to the C library ---------------------------------------------

int zvwcslen(const wchar_t* s) { return static_cast<int>(std::wcslen(s)); }
wchar_t* zvwcscpy(wchar_t* d, const wchar_t* s) { return std::wcscpy(d, s); }
wchar_t* zvwcscat(wchar_t* d, const wchar_t* s) { return std::wcscat(d, s); }
wchar_t* zvwcsncpy(wchar_t* d, const wchar_t* s, uint32_t n) { return std::wcsncpy(d, s, n); }
wchar_t* zvwcsncat(wchar_t* d, const wchar_t* s, uint32_t n) { return std::wcsncat(d, s, n); }
int zvwcsncmp(const wchar_t* a, const wchar_t* b, uint32_t n) { return std::wcsncmp(a, b, n); }

// Compares by the current locale's collation, not by code value.
int zvwcscmp(const wchar_t* a, const wchar_t* b) { return std::wcscoll(a, b); }

const wchar_t* zvwcschr(const wchar_t* s, wchar_t c) { return std::wcschr(s, c); }
const wchar_t* zvwcsrchr(const wchar_t* s, wchar_t c) { return std::wcsrchr(s, c); }
const wchar_t* zvwcsstr(const wchar_t* h, const wchar_t* n) { return std::wcsstr(h, n); }
const wchar_t* zvwcspbrk(const wchar_t* s, const wchar_t* set) { return std::wcspbrk(s, set); }
size_t zvwcsspn(const wchar_t* s, const wchar_t* set) { return std::wcsspn(s, set); }
size_t zvwcscspn(const wchar_t* s, const wchar_t* set) { return std::wcscspn(s, set); }
wchar_t* zvwcstok(wchar_t* s, const wchar_t* delim, wchar_t** save) {
    return std::wcstok(s, delim, save);
}
long zvwcstol(const wchar_t* s, wchar_t** end, int base) { return std::wcstol(s, end, base); }
unsigned long zvwcstoul(const wchar_t* s, wchar_t** end, int base) {
    return std::wcstoul(s, end, base);
}
double zvwcstod(const wchar_t* s, wchar_t** end) { return std::wcstod(s, end); }

int zviswspace(wint_t c) { return std::iswspace(c); }
int zviswdigit(wint_t c) { return std::iswdigit(c); }
int zviswalpha(wint_t c) { return std::iswalpha(c); }
int zviswalnum(wint_t c) { return std::iswalnum(c); }
int zviswpunct(wint_t c) { return std::iswpunct(c); }
int zviswupper(wint_t c) { return std::iswupper(c); }
int zviswlower(wint_t c) { return std::iswlower(c); }
wint_t zvtowupper(wint_t c) { return std::towupper(c); }
wint_t zvtowlower(wint_t c) { return std::towlower(c); }

// Counts are in wide characters; a count of 0 or below copies nothing.
wchar_t* zvwmemcpy(wchar_t* d, const wchar_t* s, int n) {
    if (n > 0) std::memcpy(d, s, static_cast<size_t>(n) * sizeof(wchar_t));
    return d;
}
wchar_t* zvwmemmove(wchar_t* d, const wchar_t* s, int n) {
    if (n > 0) std::memmove(d, s, static_cast<size_t>(n) * sizeof(wchar_t));
    return d;
}

char* zvsetlocale(int category, const char* locale) { return std::setlocale(category, locale); }

// ---- helpers with logic of their own -----------------------------------------

// Case-insensitive comparison: the lower-cased character of a minus that of b
// at the first position where they differ or where a ends; 0 for equal text.
int zvwcsicmp(const wchar_t* a, const wchar_t* b) {
    for (size_t i = 0;; ++i) {
        const int diff = lower_difference(a[i], b[i]);
        if (diff != 0 || a[i] == L'\0') return diff;
    }
}

// As zvwcsicmp over at most n positions; 0 when n is 0 or below or when all
// n positions match.
int zvwcsnicmp(const wchar_t* a, const wchar_t* b, int n) {
    for (int i = 0; i < n; ++i) {
        const int diff = lower_difference(a[i], b[i]);
        if (diff != 0 || a[i] == L'\0') return diff;
    }
    return 0;
}

// Case-insensitive search returning a pointer into the caller's haystack, or
// null. Cheap attempts first: the needle as given, then lower-cased, then
// upper-cased; only then an upper-cased duplicate of the haystack is
// searched. The needle copy lives on the heap, so any needle length works.
const wchar_t* zvwcsistr(const wchar_t* haystack, const wchar_t* needle) {
    if (haystack == nullptr || needle == nullptr) return nullptr;
    if (const wchar_t* hit = zvwcsstr(haystack, needle)) return hit;

    std::wstring key(needle);
    zvwcslwr(key.data());
    if (const wchar_t* hit = zvwcsstr(haystack, key.c_str())) return hit;
    zvwcsupr(key.data());
    if (const wchar_t* hit = zvwcsstr(haystack, key.c_str())) return hit;

    const std::unique_ptr<wchar_t, FreeDeleter> upper(zvwcsdup(haystack));
    if (!upper) return nullptr;
    zvwcsupr(upper.get());
    const wchar_t* hit = zvwcsstr(upper.get(), key.c_str());
    if (hit == nullptr) return nullptr;
    return haystack + (hit - upper.get());
}

// Zero-filled heap copy of s, to be released with free (or isql_free); null
// when s is null or memory runs out.
wchar_t* zvwcsdup(const wchar_t* s) {
    if (s == nullptr) return nullptr;
    const size_t len = std::wcslen(s);
    auto* copy = static_cast<wchar_t*>(std::calloc(len + 1, sizeof(wchar_t)));
    if (copy == nullptr) return nullptr;
    std::wmemcpy(copy, s, len + 1);
    return copy;
}

// Upper-cases s in place; returns s.
wchar_t* zvwcsupr(wchar_t* s) {
    if (s == nullptr) return s;
    for (wchar_t* p = s; *p != L'\0'; ++p) *p = static_cast<wchar_t>(zvtowupper(static_cast<wint_t>(*p)));
    return s;
}

// Lower-cases s in place; returns s.
wchar_t* zvwcslwr(wchar_t* s) {
    if (s == nullptr) return s;
    for (wchar_t* p = s; *p != L'\0'; ++p) *p = static_cast<wchar_t>(zvtowlower(static_cast<wint_t>(*p)));
    return s;
}

// Compares n elements as signed 32-bit values; returns -1, 0 or 1 (never a
// difference). 0 for n below 1.
int zvwmemcmp(const wchar_t* a, const wchar_t* b, int n) {
    for (int i = 0; i < n; ++i) {
        const int32_t x = static_cast<int32_t>(a[i]);
        const int32_t y = static_cast<int32_t>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// Stores v into the first n elements of a; nothing for n of 0 or below.
void zvwmemset(wchar_t* a, wchar_t v, int n) {
    for (int i = 0; i < n; ++i) a[i] = v;
}

// 1 when c, taken as signed 32-bit, is at most 0x7F (negative values count).
int zviswascii(wchar_t c) { return static_cast<int32_t>(c) <= kMaxAscii ? 1 : 0; }

// Byte count before the NUL, not the number of multibyte characters.
size_t zvmbstrlen(const char* s) { return s == nullptr ? 0 : std::strlen(s); }

// Placeholder kept for the library's interface: formats nothing.
size_t zvwcsftime(...) { return 0; }

// ---- allocation --------------------------------------------------------------

// Uninitialised block of size bytes; a null result is passed back as is.
void* isql_alloc(size_t size) { return std::malloc(size); }

// Releases a block from isql_alloc (or zvwcsdup); null is ignored. Always 0.
int isql_free(void* p) {
    if (p != nullptr) std::free(p);
    return 0;
}
