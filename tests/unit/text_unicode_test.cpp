// Conversions between UTF-8, UTF-16, multibyte and wide text.
#include "zvunicode.h"

#include <sql.h>

#include <bit>
#include <cstring>
#include <string_view>

#include "unit_util.h"

using namespace std::literals;

namespace {

constexpr wchar_t kSentinel = 0x5A5A;

std::string hex(std::string_view bytes) {
    std::string s;
    char b[4];
    for (const unsigned char c : bytes) s += (std::snprintf(b, sizeof b, "%02X ", c), b);
    return s;
}
const unsigned char* u8(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

TEST(Utf8ToWcs, ExplicitLengthSequences) {
    // size: what a sizing call gives, where it differs from the result (-1: unchecked).
    struct Case { std::string_view in; unsigned int want; std::wstring_view out; int size; };
    for (const Case& c : std::initializer_list<Case>{
             {"a\0b"sv, 3, L"a\0b"sv, 3},  // no terminator written; an inner NUL converts
             {"\xC3\xA9", 1, L"\xE9", 1}, {"\xE2\x82\xAC" "x", 2, L"\x20AC" L"x", 2},
             {"\xEF\xBF\xBF", 1, L"\xFFFF", 1}, {"\xED\xA0\x80", 1, L"\xD800", 1},  // surrogates pass
             // Overlong forms fail.
             {"\xC0\x80", 0, L"", -1}, {"\xC1\xBF", 0, L"", -1}, {"\xE0\x80\x80", 0, L"", -1},
             {"\xE0\x9F\xBF", 0, L"", -1},
             // Above 0xFFFF: fails on conversion but sizes as one character.
             {"\xF0\x9F\x98\x80", 0, L"", 1}, {"\xFC\x84\x80\x80\x80\x80", 0, L"", 1},
             // A foreign byte inside a sequence: two when sizing, fails on conversion.
             {"\xC3\x41", 0, L"", 2}, {"\xE2\x82\x41", 0, L"", 2},
             // A lead byte cut off by the end of the input is dropped, not an error.
             {"\xC3", 0, L"", 0}, {"a\xE2\x82", 1, L"a", 1},
             // Stray continuation bytes and 0xFE/0xFF take one element each.
             {"\x80" "a\xBF\xFE\xFF" "b", 6, L"\xFFFD" L"a\xFFFD\xFFFD\xFFFD" L"b", 6}}) {
        const long len = static_cast<long>(c.in.size());
        std::wstring out(16, kSentinel);
        EXPECT_EQ(utf8towcs(u8(c.in), len, out.data(), 16), c.want) << hex(c.in);
        EXPECT_EQ(out.substr(0, c.out.size() + 1), std::wstring(c.out) + kSentinel) << hex(c.in);
        if (c.size >= 0) { EXPECT_EQ(utf8towcs(u8(c.in), len, nullptr, 0), unsigned(c.size)) << hex(c.in); }
    }
}

// The converter of exact values differs only above U+FFFF: a 4-byte
// sequence is one element, up to U+10FFFF and not overlong.
TEST(Utf8ToWcs, FullRangeTakesFourByteSequences) {
    struct Case { std::string_view in; unsigned int want; std::wstring_view out; };
    for (const Case& c : std::initializer_list<Case>{
             {"a\xF0\x9F\x98\x80" "b", 3, L"a\U0001F600b"}, {"\xF4\x8F\xBF\xBF", 1, L"\U0010FFFF"},
             {"\xF4\x90\x80\x80", 0, L""}, {"\xF0\x8F\xBF\xBF", 0, L""}, {"\x80\xC3\xA9", 2, L"\xFFFD\xE9"}}) {
        std::wstring out(8, kSentinel);
        EXPECT_EQ(utf8towcs_full(u8(c.in), static_cast<long>(c.in.size()), out.data(), 8), c.want) << hex(c.in);
        EXPECT_EQ(out.substr(0, c.out.size()), c.out) << hex(c.in);
    }
    // Statement text goes back as UTF-16 with the pairs.
    EXPECT_EQ(utf16_of_wide(L"a\U0001F600\U0010FFFF\xE9"), u"a\xD83D\xDE00\xDBFF\xDFFF\xE9");
    EXPECT_EQ(utf16_of_wide(std::wstring(1, static_cast<wchar_t>(0x110000))), u"\xFFFD");
}

TEST(Utf8ToWcs, TerminatedSourceCapacityAndNull) {
    const auto* abc = u8("abc");
    std::wstring out(10, kSentinel);
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, out.data(), 10), 4u);
    EXPECT_EQ(out, L"abc\0"s + std::wstring(6, kSentinel));
    EXPECT_EQ(utf8towcs(abc, -1, out.data(), 10), 4u);  // -1 means terminated as well
    EXPECT_EQ(utf8towcs(abc, -5, out.data(), 10), 0u);  // any other negative length: nothing
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, nullptr, 0), 4u);  // sizing counts the terminator
    EXPECT_EQ(utf8towcs(nullptr, SQL_NTS, nullptr, 0), 0u);
    EXPECT_EQ(utf8towcs(nullptr, SQL_NTS, out.data(), 4), 0u);
}

// The bytes that follow each lead byte: as many as its leading one bits less
// one; none for continuation bytes and for 0xFE and 0xFF.
TEST(Utf8ToWcs, LengthOfEveryLeadByte) {
    for (unsigned b = 0x80; b <= 0xFF; ++b)
        EXPECT_EQ(utf8_length_array[b - 0x80], b >= 0xC0 && b < 0xFE ? std::countl_one(static_cast<uint8_t>(b)) - 1 : 0) << b;
}

// (All or nothing at every capacity around the size: fuzz_unicode.)
TEST(WcsToUtf8, EncodingSizingAndCapacity) {
    // Above 0xFFFF: three bytes reserved, written as U+FFFD. Negative: one byte.
    const wchar_t mixed[] = {L'a', 0x7FF, 0x800, 0}, odd[] = {0x1F600, static_cast<wchar_t>(-5)};
    struct Case { const wchar_t* in; int len, cap, want; std::string_view out; };
    for (const Case& c : std::initializer_list<Case>{
             {L"\xE9", 1, 16, 2, "\xC3\xA9"}, {L"\x20AC", 1, 16, 3, "\xE2\x82\xAC"}, {L"", 0, 16, 0, ""},
             {mixed, SQL_NTS, 0, 7, ""},  // sizing counts the terminator
             {mixed, -1, 16, 7, "a\xDF\xBF\xE0\xA0\x80\0"sv}, {mixed, 3, 6, 6, "a\xDF\xBF\xE0\xA0\x80"},
             {odd, 2, 0, 4, ""}, {odd, 2, 16, 4, "\xEF\xBF\xBD?"}}) {
        unsigned char out[16];
        EXPECT_EQ(wcstoutf8(c.in, c.len, c.cap ? out : nullptr, c.cap), c.want) << c.len << " " << c.cap;
        EXPECT_EQ(hex({reinterpret_cast<char*>(out), c.out.size()}), hex(c.out)) << c.len << " " << c.cap;
    }
}

// The unit-for-unit copies: their sizes, capacities and what they write are
// checked on every input by fuzz_unicode; -1 is not "terminated" here: it is
// returned as is and nothing is written.
TEST(Utf16, MinusOneIsNoLength) {
    const zvutf16 pair[] = {0xD83D, 0xDE00, 0};
    std::wstring back(4, kSentinel);
    EXPECT_EQ(utf16towcs(pair, -1, back.data(), 4), -1);
    EXPECT_EQ(back, std::wstring(4, kSentinel));
}

// The layers over the C library. How the terminating, counting and fix-up
// variants follow the plain ones, that a multibyte text that does not convert
// leaves an empty string and that exactly len bytes get no terminator is
// checked on every input by fuzz_unicode.
TEST(Multibyte, LayersInAUtf8Locale) {
    LocaleGuard locale("C.UTF-8");
    char out[16];
    const wchar_t text[] = {L'a', 0xE9, 0};
    EXPECT_EQ(zvwcstombs(out, text, sizeof out), 3u);
    EXPECT_STREQ(out, "a\xC3\xA9");
    // A first character that does not convert leaves an empty string.
    const wchar_t bad[] = {0xD800, L'x', 0};
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(zvwcstombs(out, bad, sizeof out), static_cast<size_t>(-1));
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(zvwcstombs(out, nullptr, sizeof out), 0u);
    wchar_t wout[8];
    EXPECT_EQ(zvmbstowcs(wout, "a\xC3\xA9", 4), 2u);
    EXPECT_EQ(std::wstring(wout), std::wstring(text));
    // Length-limited source through the caller's scratch buffer.
    char scratch[8];
    EXPECT_EQ(zvmbstowcs_l(wout, 8, "abcdef", 3, scratch), 3u);
    EXPECT_EQ(std::wstring(wout), L"abc");
    EXPECT_EQ(zvmbstowcs_l(wout, 8, "abcdef", 3, nullptr), 0u);
    // A count shorter than the text sizes only that many characters.
    EXPECT_EQ(zvGetBufLenForWideCharToMultiByteFixup(text, 1), 1u);
}

}  // namespace
