// Conversions between UTF-8, UTF-16, the locale's multibyte form and the
// platform's 32-bit wide characters. Every function reports failure through
// its result only; nothing here prints or reads session settings.
#include "zvunicode.h"

#include "platform.h"

#include <sql.h>

#include <cstdlib>
#include <cstring>
#include <string>

// Continuation-byte count for a lead byte, indexed by (byte - 0x80). Covers
// the six-byte scheme (lead bytes up to 0xFD); 0x80-0xBF and 0xFE/0xFF are
// not lead bytes and carry 0.
const unsigned char utf8_length_array[128] = {
    // 0x80-0xBF: continuation bytes
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xC0-0xDF
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    // 0xE0-0xEF
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    // 0xF0-0xF7, 0xF8-0xFB, 0xFC-0xFD, 0xFE-0xFF
    3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 0, 0,
};

// Value bits of a lead byte, indexed by its continuation-byte count.
const unsigned char utf8_mask_array[6] = {0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};

// Smallest value a sequence with n continuation bytes may encode; anything
// lower is an overlong form.
const uint32_t utf8_minval_array[6] = {0x0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

namespace {

constexpr long kTerminated = -1;             // UTF-8 functions: -1 also means NUL-terminated
constexpr unsigned char kFirstLead = 0xC0;   // bytes below this (and >= 0x80) are continuations
constexpr unsigned char kFirstNonLead = 0xFE;
constexpr unsigned char kContinuationTag = 0x80;
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuationBits = 0x3F;
constexpr int kBitsPerContinuation = 6;
constexpr uint32_t kMaxWideValue = 0xFFFF;   // nothing above the BMP is accepted
constexpr uint32_t kMaxUnicode = 0x10FFFF;
constexpr wchar_t kReplacement = 0xFFFD;     // element stored for a stray byte
constexpr int32_t kMaxOneByte = 0x7F;
constexpr int32_t kMaxTwoBytes = 0x7FF;
constexpr unsigned char kTwoByteLead = 0xC0;
constexpr unsigned char kThreeByteLead = 0xE0;
constexpr unsigned char kNegativeByte = '?';  // one byte reserved for a negative element
constexpr uint32_t kLow16Bits = 0xFFFF;

bool is_continuation(unsigned char b) {
    return (b & kContinuationMask) == kContinuationTag;
}

// True for a byte that may not start a character: a stray continuation byte
// or one of 0xFE/0xFF.
bool is_stray(unsigned char b) {
    return (b >= kContinuationTag && b < kFirstLead) || b >= kFirstNonLead;
}

// Resolves a UTF-8 style source length: SQL_NTS and -1 measure a terminated
// source including its terminator. Returns 0 for a null source or any other
// negative length, so callers can treat the result as a plain element count.
template <typename Char>
long resolve_terminated_length(const Char* src, long srcLen, size_t (*measure)(const Char*)) {
    if (srcLen == SQL_NTS) srcLen = kTerminated;
    if (src == nullptr) return 0;
    if (srcLen == kTerminated) return static_cast<long>(measure(src)) + 1;
    return srcLen < 0 ? 0 : srcLen;
}

size_t byte_length(const unsigned char* s) {
    return std::strlen(reinterpret_cast<const char*>(s));
}

size_t wide_length(const wchar_t* s) {
    return std::wcslen(s);
}

// Counts the characters of a UTF-8 byte range without checking values. A
// sequence cut short by a foreign byte counts as one character; one cut short
// by the end of the input is not counted.
unsigned int utf8_count(const unsigned char* p, const unsigned char* end) {
    unsigned int count = 0;
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead < kFirstLead || lead >= kFirstNonLead) {
            ++count;
            continue;
        }
        int remaining = utf8_length_array[lead - kContinuationTag];
        while (remaining > 0 && p < end && is_continuation(*p)) {
            ++p;
            --remaining;
        }
        if (remaining > 0 && p >= end) break;  // unfinished at the end: not counted
        ++count;
    }
    return count;
}

// Number of UTF-8 bytes reserved for one wide element.
int utf8_width(wchar_t w) {
    const int32_t v = static_cast<int32_t>(w);
    if (v <= kMaxOneByte) return 1;
    if (v <= kMaxTwoBytes) return 2;
    return 3;
}

// Shared body of the UTF-16 <-> wide copies: element by element, no
// surrogate handling. Returns n, or 0 when the capacity ran out first.
template <typename From, typename To, typename Narrow>
int copy_units(const From* src, int srcLen, To* dst, int dstLen, Narrow narrow) {
    int n = srcLen;
    if (srcLen == SQL_NTS && src != nullptr) {
        n = 0;
        while (src[n] != 0) ++n;
        ++n;
    }
    if (dstLen == 0 || n <= 0) return n;
    if (src == nullptr || dst == nullptr) return 0;
    int i = 0;
    for (; i < n && i < dstLen; ++i) dst[i] = narrow(src[i]);
    return i < n ? 0 : n;
}

}  // namespace

// Converts UTF-8 bytes into wide elements, one per character, or counts the
// characters when dstLen is 0. SQL_NTS/-1 read a terminated source including
// its NUL. Returns the number of elements written; 0 for an invalid or
// overlong sequence, a value above 0xFFFF, or input left over once dstLen
// elements are written. A sequence cut off by the end of the input is
// dropped silently. Stray bytes become U+FFFD.
namespace {
unsigned int utf8_to_wide(const unsigned char* src, long srcLen, wchar_t* dst, unsigned int dstLen,
                          uint32_t maxValue) {
    const long len = resolve_terminated_length(src, srcLen, byte_length);
    if (len == 0) return 0;
    const unsigned char* p = src;
    const unsigned char* const end = src + len;

    if (dstLen == 0) return utf8_count(p, end);
    if (dst == nullptr) return 0;

    unsigned int produced = 0;
    while (p < end) {
        const unsigned char lead = *p++;
        wchar_t element;
        if (lead < kContinuationTag) {
            element = static_cast<wchar_t>(lead);
        } else if (is_stray(lead)) {
            element = kReplacement;
        } else {
            const int n = utf8_length_array[lead - kContinuationTag];
            uint32_t value = lead & utf8_mask_array[n];
            for (int k = 0; k < n; ++k) {
                if (p >= end) return produced;  // unfinished final character is dropped
                const unsigned char b = *p++;
                if (!is_continuation(b)) return 0;
                value = (value << kBitsPerContinuation) | (b & kContinuationBits);
            }
            if (value < utf8_minval_array[n] || value > maxValue) return 0;
            element = static_cast<wchar_t>(value);
        }
        dst[produced++] = element;
        if (p >= end) return produced;
        if (produced == dstLen) return 0;
    }
    return produced;
}
}  // namespace

unsigned int utf8towcs(const unsigned char* src, long srcLen, wchar_t* dst, unsigned int dstLen) {
    return utf8_to_wide(src, srcLen, dst, dstLen, kMaxWideValue);
}

unsigned int utf8towcs_full(const unsigned char* src, long srcLen, wchar_t* dst, unsigned int dstLen) {
    return utf8_to_wide(src, srcLen, dst, dstLen, kMaxUnicode);
}

// Converts wide elements into UTF-8 bytes (at most three per element), or
// sums the bytes needed when dstLen is 0. SQL_NTS/-1 read a terminated
// source including its terminator. Returns the bytes written, or 0 when the
// destination is too small. An element above 0xFFFF is written as U+FFFD and
// a negative one as '?', keeping the reserved widths.
int wcstoutf8(const wchar_t* src, long srcLen, unsigned char* dst, int dstLen) {
    const long len = resolve_terminated_length(src, srcLen, wide_length);
    if (len == 0) return 0;

    if (dstLen == 0) {
        int total = 0;
        for (long i = 0; i < len; ++i) total += utf8_width(src[i]);
        return total;
    }
    if (dst == nullptr) return 0;

    int written = 0;
    for (long i = 0; i < len; ++i) {
        const int width = utf8_width(src[i]);
        if (dstLen - written < width) return 0;
        const int32_t v = static_cast<int32_t>(src[i]);
        unsigned char* out = dst + written;
        if (v < 0) {
            out[0] = kNegativeByte;
        } else if (width == 1) {
            out[0] = static_cast<unsigned char>(v);
        } else if (width == 2) {
            out[0] = static_cast<unsigned char>(kTwoByteLead | (v >> kBitsPerContinuation));
            out[1] = static_cast<unsigned char>(kContinuationTag | (v & kContinuationBits));
        } else {
            const uint32_t u = static_cast<uint32_t>(v) > kMaxWideValue
                                   ? static_cast<uint32_t>(kReplacement)
                                   : static_cast<uint32_t>(v);
            out[0] = static_cast<unsigned char>(kThreeByteLead | (u >> (2 * kBitsPerContinuation)));
            out[1] = static_cast<unsigned char>(kContinuationTag |
                                                ((u >> kBitsPerContinuation) & kContinuationBits));
            out[2] = static_cast<unsigned char>(kContinuationTag | (u & kContinuationBits));
        }
        written += width;
    }
    return written;
}

// Widens UTF-16 units to wide elements one for one (surrogates stay as two
// elements). Only SQL_NTS means terminated (counted with the terminator).
// dstLen 0 returns the count; a count of 0 or below is returned unwritten;
// 0 when the capacity runs out (the first dstLen elements are written).
int utf16towcs(const zvutf16* src, int srcLen, wchar_t* dst, int dstLen) {
    return copy_units(src, srcLen, dst, dstLen,
                      [](zvutf16 u) { return static_cast<wchar_t>(u); });
}

// Narrows wide elements to UTF-16 units by keeping their low 16 bits; same
// length, sizing and capacity rules as utf16towcs.
int wcstoutf16(const wchar_t* src, int srcLen, zvutf16* dst, int dstLen) {
    return copy_units(src, srcLen, dst, dstLen, [](wchar_t w) {
        return static_cast<zvutf16>(static_cast<uint32_t>(w) & kLow16Bits);
    });
}

// wcstombs under the current locale. A non-null destination with room is
// emptied first so a source whose first character does not convert leaves
// an empty string. Returns the bytes written (no terminator when exactly len
// bytes were written) or the all-ones value.
size_t zvwcstombs(char* dst, const wchar_t* src, size_t len) {
    if (dst != nullptr && len != 0) dst[0] = '\0';
    if (src == nullptr) return 0;
    return std::wcstombs(dst, src, len);
}

// As zvwcstombs, and on success terminates the destination after the bytes
// written whenever that position lies within len.
size_t zvwcstombs_term(char* dst, const wchar_t* src, size_t len) {
    const size_t r = zvwcstombs(dst, src, len);
    if (dst != nullptr && r != static_cast<size_t>(-1) && r < len) dst[r] = '\0';
    return r;
}

// mbstowcs under the current locale. On failure (all-ones result) a
// non-null destination with room is made empty.
size_t zvmbstowcs(wchar_t* dst, const char* src, size_t len) {
    if (src == nullptr) {
        if (dst != nullptr && len != 0) dst[0] = L'\0';
        return 0;
    }
    const size_t r = std::mbstowcs(dst, src, len);
    if (r == static_cast<size_t>(-1) && dst != nullptr && len != 0) dst[0] = L'\0';
    return r;
}

// As zvmbstowcs, and on success terminates the destination after the
// elements written whenever that position lies within len.
size_t zvmbstowcs_term(wchar_t* dst, const char* src, size_t len) {
    const size_t r = zvmbstowcs(dst, src, len);
    if (dst != nullptr && r != static_cast<size_t>(-1) && r < len) dst[r] = L'\0';
    return r;
}

// Converts srcLen bytes of a not necessarily terminated multibyte source:
// they are copied into the caller's scratch buffer (at least srcLen + 1
// bytes), terminated there and passed to mbstowcs. Returns 0 when scratch
// is null, otherwise the mbstowcs result.
size_t zvmbstowcs_l(wchar_t* dst, size_t dstLen, const char* src, size_t srcLen, char* scratch) {
    if (scratch == nullptr) return 0;
    if (src == nullptr) srcLen = 0;
    if (srcLen != 0) std::memcpy(scratch, src, srcLen);
    scratch[srcLen] = '\0';
    return std::mbstowcs(dst, scratch, dstLen);
}

// Bytes needed for the multibyte form of src. For SQL_NTS: converted length
// plus 1 for the terminator (all-ones passed back unchanged). For an explicit
// element count: converted length of that many elements, terminator not
// included.
size_t zvGetBufLenForWideCharToMultiByteFixup(const wchar_t* src, int srcLen) {
    if (src == nullptr) return 0;
    if (srcLen == SQL_NTS) {
        const size_t r = std::wcstombs(nullptr, src, 0);
        return r == static_cast<size_t>(-1) ? r : r + 1;
    }
    const std::wstring copy(src, srcLen > 0 ? static_cast<size_t>(srcLen) : 0);
    return std::wcstombs(nullptr, copy.c_str(), 0);
}

// Converts the whole terminated source with zvwcstombs (srcLen is ignored).
// Returns -1 for a zero capacity, otherwise the zvwcstombs result as int.
int zvWideCharToMultipByteFixUp(const wchar_t* src, int /*srcLen*/, char* dst, size_t dstLen) {
    if (dstLen == 0) return -1;
    return static_cast<int>(zvwcstombs(dst, src, dstLen));
}

std::string utf8_of(std::wstring_view text) {
    // At most 4 bytes a character, and room for the terminator wcstoutf8 writes.
    std::string out(text.size() * 4 + 1, '\0');
    const int n = wcstoutf8(text.data(), static_cast<long>(text.size()), reinterpret_cast<unsigned char*>(out.data()),
                            static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

namespace {

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
}  // namespace

// Length of the well-formed UTF-8 sequence at the start of s (no overlong
// forms, no surrogates, nothing past U+10FFFF); 0 when there is none.
size_t utf8_sequence(std::string_view s, uint32_t& c) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(0);
    size_t n;
    uint32_t min;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2, min = 0x80, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3, min = 0x800, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4, min = 0x10000, c = lead & 0x07;
    } else {
        return 0;
    }
    if (s.size() < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b(i) & 0x3F);
    }
    if (c < min || c > kMaxUnicode || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return n;
}

std::string utf8_of_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (is_high(u) && i + 1 < text.size() && is_low(text[i + 1])) {
            append_utf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            append_utf8(out, is_high(u) || is_low(u) ? static_cast<char32_t>(kReplacement) : u);
        }
    }
    return out;
}

namespace {
void append_utf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000 && c <= kMaxUnicode) {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(c & kLow16Bits);
    }
}
}  // namespace

std::u16string utf16_of_wide(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size() + 1);
    for (wchar_t w : text) {
        const auto c = static_cast<char32_t>(w);
        append_utf16(out, c > kMaxUnicode ? static_cast<char32_t>(kReplacement) : c);
    }
    return out;
}

std::u16string utf16_of_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t c = 0;
        const size_t n = utf8_sequence(text.substr(i), c);
        i += n == 0 ? 1 : n;
        append_utf16(out, n == 0 ? kReplacement : c);
    }
    return out;
}
