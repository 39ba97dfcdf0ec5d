// Conversions between UTF-8, UTF-16, multibyte and wide text.
#include "zvunicode.h"

#include <gtest/gtest.h>
#include <sql.h>

#include <algorithm>
#include <cstring>
#include <string>
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
        const auto* in = reinterpret_cast<const unsigned char*>(c.in.data());
        const long len = static_cast<long>(c.in.size());
        std::wstring out(16, kSentinel);
        EXPECT_EQ(utf8towcs(in, len, out.data(), 16), c.want) << hex(c.in);
        EXPECT_EQ(out.substr(0, c.out.size()), c.out) << hex(c.in);
        EXPECT_EQ(out[c.out.size()], kSentinel) << hex(c.in);
        if (c.size >= 0) {
            EXPECT_EQ(utf8towcs(in, len, nullptr, 0), static_cast<unsigned>(c.size)) << hex(c.in);
        }
    }
}

TEST(Utf8ToWcs, TerminatedSourceCapacityAndNull) {
    const auto* abc = reinterpret_cast<const unsigned char*>("abc");
    std::wstring out(10, kSentinel);
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, out.data(), 10), 4u);
    EXPECT_EQ(out, L"abc\0"s + std::wstring(6, kSentinel));
    EXPECT_EQ(utf8towcs(abc, -1, out.data(), 10), 4u);  // -1 means terminated as well
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, out.data(), 3), 0u) << "input left over";
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, out.data(), 4), 4u);
    // Sizing counts the terminator; an empty explicit input sizes as 0.
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, nullptr, 0), 4u);
    EXPECT_EQ(utf8towcs(abc, 0, nullptr, 0), 0u);
    EXPECT_EQ(utf8towcs(abc, 0, out.data(), 10), 0u);
    EXPECT_EQ(utf8towcs(nullptr, SQL_NTS, nullptr, 0), 0u);
    EXPECT_EQ(utf8towcs(nullptr, SQL_NTS, out.data(), 4), 0u);
}

TEST(WcsToUtf8, EncodingSizingAndCapacity) {
    // Above 0xFFFF: three bytes reserved, written as U+FFFD. Negative: one byte.
    const wchar_t mixed[] = {L'a', 0x7FF, 0x800, 0}, odd[] = {0x1F600, static_cast<wchar_t>(-5)};
    struct Case { const wchar_t* in; int len, cap, want; std::string_view out; };
    for (const Case& c : std::initializer_list<Case>{
             {L"\xE9", 1, 16, 2, "\xC3\xA9"}, {L"\x20AC", 1, 16, 3, "\xE2\x82\xAC"},
             {mixed, SQL_NTS, 0, 7, ""},  // sizing counts the terminator
             {mixed, -1, 16, 7, "a\xDF\xBF\xE0\xA0\x80\0"sv}, {mixed, 0, 16, 0, ""},
             {mixed, SQL_NTS, 6, 0, ""},  // too small, even by the last element only
             {mixed, 3, 6, 6, "a\xDF\xBF\xE0\xA0\x80"}, {odd, 2, 0, 4, ""},
             {odd, 2, 16, 4, "\xEF\xBF\xBD?"}}) {
        unsigned char out[16];
        EXPECT_EQ(wcstoutf8(c.in, c.len, c.cap ? out : nullptr, c.cap), c.want) << c.len << " " << c.cap;
        EXPECT_EQ(hex({reinterpret_cast<char*>(out), c.out.size()}), hex(c.out)) << c.len << " " << c.cap;
    }
}

TEST(Utf16, CopiesUnitForUnit) {
    // Upper bits are dropped; no surrogate pairs are formed.
    const wchar_t wide[] = {0x1F600, L'a', 0};
    zvutf16 units[4] = {0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A};
    EXPECT_EQ(wcstoutf16(wide, SQL_NTS, units, 4), 3);
    EXPECT_EQ(std::u16string(units, units + 4), u"\xF600" u"a\0\x5A5A"s);
    EXPECT_EQ(wcstoutf16(wide, 2, units, 2), 2) << "explicit length: no terminator, exact fit";
    EXPECT_EQ(wcstoutf16(wide, 0, units, 4), 0);

    const zvutf16 pair[] = {0xD83D, 0xDE00, 0};
    std::wstring back(4, kSentinel);
    EXPECT_EQ(utf16towcs(pair, SQL_NTS, back.data(), 4), 3);
    EXPECT_EQ(back, L"\xD83D\xDE00\0\x5A5A"s);
    // Sizing counts the terminator.
    EXPECT_EQ(wcstoutf16(L"", SQL_NTS, nullptr, 0), 1);
    EXPECT_EQ(utf16towcs(pair, SQL_NTS, nullptr, 0), 3);
    // -1 is not "terminated" here: returned as is, nothing written.
    back.assign(4, kSentinel);
    EXPECT_EQ(utf16towcs(pair, -1, back.data(), 4), -1);
    EXPECT_EQ(back, std::wstring(4, kSentinel));
    // Capacity exhausted with input left: 0, but the first dstLen are written.
    EXPECT_EQ(utf16towcs(pair, SQL_NTS, back.data(), 2), 0);
    EXPECT_EQ(back, L"\xD83D\xDE00\x5A5A\x5A5A"s);
}

TEST(Multibyte, LayersInAUtf8Locale) {
    LocaleGuard locale("C.UTF-8");
    ASSERT_TRUE(locale.ok);
    char out[16];
    const wchar_t text[] = {L'a', 0xE9, 0};
    EXPECT_EQ(zvwcstombs(out, text, sizeof out), 3u);
    EXPECT_STREQ(out, "a\xC3\xA9");
    EXPECT_EQ(zvwcstombs(nullptr, text, 0), 3u);
    // A first character that does not convert leaves an empty string.
    const wchar_t bad[] = {0xD800, L'x', 0};
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(zvwcstombs(out, bad, sizeof out), static_cast<size_t>(-1));
    EXPECT_EQ(out[0], '\0');
    // Exactly len bytes: no terminator follows.
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(zvwcstombs(out, text, 3), 3u);
    EXPECT_EQ(out[3], 'z');
    EXPECT_EQ(zvwcstombs_term(out, L"ab", sizeof out), 2u);
    EXPECT_STREQ(out, "ab");

    wchar_t wout[8];
    EXPECT_EQ(zvmbstowcs(wout, "a\xC3\xA9", 4), 2u);
    EXPECT_EQ(std::wstring(wout), std::wstring(text));
    std::fill(std::begin(wout), std::end(wout), kSentinel);
    EXPECT_EQ(zvmbstowcs(wout, "\xFF" "abc", 8), static_cast<size_t>(-1));
    EXPECT_EQ(wout[0], L'\0');
    EXPECT_EQ(zvmbstowcs_term(wout, "xy", 8), 2u);
    EXPECT_EQ(std::wstring(wout), L"xy");
    // Length-limited source through the caller's scratch buffer.
    char scratch[8];
    EXPECT_EQ(zvmbstowcs_l(wout, 8, "abcdef", 3, scratch), 3u);
    EXPECT_EQ(std::wstring(wout), L"abc");
    EXPECT_EQ(zvmbstowcs_l(wout, 8, "abcdef", 3, nullptr), 0u);

    // Buffer sizes: terminator included only for SQL_NTS.
    EXPECT_EQ(zvGetBufLenForWideCharToMultiByteFixup(text, SQL_NTS), 4u);
    EXPECT_EQ(zvGetBufLenForWideCharToMultiByteFixup(text, 2), 3u);
    EXPECT_EQ(zvGetBufLenForWideCharToMultiByteFixup(text, 1), 1u);
    EXPECT_EQ(zvGetBufLenForWideCharToMultiByteFixup(bad, SQL_NTS), static_cast<size_t>(-1));
    EXPECT_EQ(zvWideCharToMultipByteFixUp(text, 1, out, 0), -1);
    EXPECT_EQ(zvWideCharToMultipByteFixUp(text, 1, out, sizeof out), 3);
    EXPECT_STREQ(out, "a\xC3\xA9");
}

}  // namespace
