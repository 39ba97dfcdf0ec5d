// Conversions between UTF-8, UTF-16, multibyte and wide text.
#include "zvunicode.h"

#include <gtest/gtest.h>
#include <sql.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kSentinel = 0x5A5A;

std::vector<unsigned char> bytes(std::initializer_list<int> list) {
    std::vector<unsigned char> v;
    for (int b : list) v.push_back(static_cast<unsigned char>(b));
    return v;
}

// Converts an explicit-length byte sequence; returns the result and the
// elements written (the whole destination, sentinels included).
unsigned int convert(const std::vector<unsigned char>& in, std::vector<wchar_t>& out,
                     unsigned int cap = 16) {
    out.assign(cap, kSentinel);
    return utf8towcs(in.data(), static_cast<long>(in.size()), out.data(), cap);
}

unsigned int size_of(const std::vector<unsigned char>& in) {
    return utf8towcs(in.data(), static_cast<long>(in.size()), nullptr, 0);
}

// Sets a UTF-8 locale for the multibyte layers and restores "C" afterwards.
class Utf8Locale : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

}  // namespace

TEST(Utf8ToWcs, TerminatedSourceAndCapacity) {
    const auto* abc = reinterpret_cast<const unsigned char*>("abc");
    wchar_t out[10];
    std::fill(std::begin(out), std::end(out), kSentinel);
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, out, 10), 4u);
    EXPECT_EQ(std::wstring(out), L"abc");
    EXPECT_EQ(out[4], kSentinel);

    // -1 means terminated as well.
    std::fill(std::begin(out), std::end(out), kSentinel);
    EXPECT_EQ(utf8towcs(abc, -1, out, 10), 4u);
    EXPECT_EQ(out[3], L'\0');

    // Input left over once the capacity is used: failure.
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, out, 3), 0u);
    // Capacity exactly enough.
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, out, 4), 4u);

    // Sizing counts the terminator; an empty explicit input sizes as 0.
    EXPECT_EQ(utf8towcs(abc, SQL_NTS, nullptr, 0), 4u);
    EXPECT_EQ(utf8towcs(abc, 0, nullptr, 0), 0u);
    EXPECT_EQ(utf8towcs(abc, 0, out, 10), 0u);

    // An explicit length writes no terminator and converts an inner NUL.
    std::vector<wchar_t> w;
    EXPECT_EQ(convert(bytes({'a', 0, 'b'}), w), 3u);
    EXPECT_EQ(w[0], L'a');
    EXPECT_EQ(w[1], L'\0');
    EXPECT_EQ(w[2], L'b');
    EXPECT_EQ(w[3], kSentinel);
}

TEST(Utf8ToWcs, MultiByteSequences) {
    std::vector<wchar_t> w;
    EXPECT_EQ(convert(bytes({0xC3, 0xA9}), w), 1u);
    EXPECT_EQ(w[0], 0xE9);
    EXPECT_EQ(convert(bytes({0xE2, 0x82, 0xAC, 'x'}), w), 2u);
    EXPECT_EQ(w[0], 0x20AC);
    EXPECT_EQ(w[1], L'x');
    EXPECT_EQ(convert(bytes({0xEF, 0xBF, 0xBF}), w), 1u);
    EXPECT_EQ(w[0], 0xFFFF);

    // Encoded surrogates are accepted.
    EXPECT_EQ(convert(bytes({0xED, 0xA0, 0x80}), w), 1u);
    EXPECT_EQ(w[0], 0xD800);

    // Overlong forms fail.
    EXPECT_EQ(convert(bytes({0xC0, 0x80}), w), 0u);
    EXPECT_EQ(convert(bytes({0xC1, 0xBF}), w), 0u);
    EXPECT_EQ(convert(bytes({0xE0, 0x80, 0x80}), w), 0u);
    EXPECT_EQ(convert(bytes({0xE0, 0x9F, 0xBF}), w), 0u);

    // Anything above 0xFFFF fails on conversion but sizes as one character.
    const auto emoji = bytes({0xF0, 0x9F, 0x98, 0x80});
    EXPECT_EQ(convert(emoji, w), 0u);
    EXPECT_EQ(size_of(emoji), 1u);
    const auto six = bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80});
    EXPECT_EQ(convert(six, w), 0u);
    EXPECT_EQ(size_of(six), 1u);

    // A foreign byte inside a sequence: counts as two when sizing, fails on conversion.
    EXPECT_EQ(size_of(bytes({0xC3, 0x41})), 2u);
    EXPECT_EQ(convert(bytes({0xC3, 0x41}), w), 0u);
    EXPECT_EQ(size_of(bytes({0xE2, 0x82, 0x41})), 2u);
    EXPECT_EQ(convert(bytes({0xE2, 0x82, 0x41}), w), 0u);
}

TEST(Utf8ToWcs, TruncatedAndStrayBytes) {
    std::vector<wchar_t> w;
    // A lead byte cut off by the end of the input is dropped, not an error.
    EXPECT_EQ(size_of(bytes({0xC3})), 0u);
    EXPECT_EQ(convert(bytes({0xC3}), w), 0u);
    EXPECT_EQ(w[0], kSentinel);
    EXPECT_EQ(size_of(bytes({'a', 0xE2, 0x82})), 1u);
    EXPECT_EQ(convert(bytes({'a', 0xE2, 0x82}), w), 1u);
    EXPECT_EQ(w[0], L'a');
    EXPECT_EQ(w[1], kSentinel);

    // Stray continuation bytes and 0xFE/0xFF take one element each.
    const auto stray = bytes({0x80, 'a', 0xBF, 0xFE, 0xFF, 'b'});
    EXPECT_EQ(size_of(stray), 6u);
    EXPECT_EQ(convert(stray, w), 6u);
    EXPECT_EQ(w[0], 0xFFFD);
    EXPECT_EQ(w[1], L'a');
    EXPECT_EQ(w[2], 0xFFFD);
    EXPECT_EQ(w[3], 0xFFFD);
    EXPECT_EQ(w[4], 0xFFFD);
    EXPECT_EQ(w[5], L'b');

    // Null source never crashes.
    EXPECT_EQ(utf8towcs(nullptr, SQL_NTS, nullptr, 0), 0u);
    EXPECT_EQ(utf8towcs(nullptr, SQL_NTS, w.data(), 4), 0u);
}

TEST(WcsToUtf8, EncodingSizingAndCapacity) {
    unsigned char out[16];
    const wchar_t e_acute[] = {0xE9, 0};
    EXPECT_EQ(wcstoutf8(e_acute, 1, out, 16), 2);
    EXPECT_EQ(out[0], 0xC3);
    EXPECT_EQ(out[1], 0xA9);

    const wchar_t euro[] = {0x20AC, 0};
    EXPECT_EQ(wcstoutf8(euro, 1, out, 16), 3);
    EXPECT_EQ(out[0], 0xE2);
    EXPECT_EQ(out[1], 0x82);
    EXPECT_EQ(out[2], 0xAC);

    // Terminated source is converted with its terminator.
    const wchar_t mixed[] = {L'a', 0x7FF, 0x800, 0};
    EXPECT_EQ(wcstoutf8(mixed, SQL_NTS, nullptr, 0), 1 + 2 + 3 + 1);
    EXPECT_EQ(wcstoutf8(mixed, -1, out, 16), 7);
    EXPECT_EQ(out[6], 0);
    EXPECT_EQ(wcstoutf8(mixed, 0, out, 16), 0);

    // Too small: 0, even when only the last element does not fit.
    EXPECT_EQ(wcstoutf8(mixed, SQL_NTS, out, 6), 0);
    EXPECT_EQ(wcstoutf8(mixed, 3, out, 6), 6);

    // Above 0xFFFF: three bytes reserved, written as U+FFFD. Negative: one byte.
    const wchar_t odd[] = {0x1F600, static_cast<wchar_t>(-5)};
    EXPECT_EQ(wcstoutf8(odd, 2, nullptr, 0), 4);
    EXPECT_EQ(wcstoutf8(odd, 2, out, 16), 4);
    EXPECT_EQ(out[0], 0xEF);
    EXPECT_EQ(out[1], 0xBF);
    EXPECT_EQ(out[2], 0xBD);
    EXPECT_LT(out[3], 0x80);
}

TEST(Utf16, CopiesUnitForUnit) {
    // Upper bits are dropped; no surrogate pairs are formed.
    const wchar_t wide[] = {0x1F600, L'a', 0};
    zvutf16 units[4] = {0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A};
    EXPECT_EQ(wcstoutf16(wide, SQL_NTS, units, 4), 3);
    EXPECT_EQ(units[0], 0xF600);
    EXPECT_EQ(units[1], L'a');
    EXPECT_EQ(units[2], 0);
    EXPECT_EQ(units[3], 0x5A5A);

    const zvutf16 pair[] = {0xD83D, 0xDE00, 0};
    wchar_t back[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
    EXPECT_EQ(utf16towcs(pair, SQL_NTS, back, 4), 3);
    EXPECT_EQ(back[0], 0xD83D);
    EXPECT_EQ(back[1], 0xDE00);
    EXPECT_EQ(back[2], 0);

    // Sizing counts the terminator.
    const wchar_t empty[] = {0};
    EXPECT_EQ(wcstoutf16(empty, SQL_NTS, nullptr, 0), 1);
    EXPECT_EQ(utf16towcs(pair, SQL_NTS, nullptr, 0), 3);

    // -1 is not "terminated" here: returned as is, nothing written.
    std::fill(std::begin(back), std::end(back), kSentinel);
    EXPECT_EQ(utf16towcs(pair, -1, back, 4), -1);
    EXPECT_EQ(back[0], kSentinel);
    EXPECT_EQ(wcstoutf16(wide, 0, units, 4), 0);

    // Capacity exhausted with input left: 0, but the first dstLen are written.
    std::fill(std::begin(back), std::end(back), kSentinel);
    EXPECT_EQ(utf16towcs(pair, SQL_NTS, back, 2), 0);
    EXPECT_EQ(back[0], 0xD83D);
    EXPECT_EQ(back[1], 0xDE00);
    EXPECT_EQ(back[2], kSentinel);
    // Explicit length: no terminator, exact fit succeeds.
    EXPECT_EQ(wcstoutf16(wide, 2, units, 2), 2);
}

TEST_F(Utf8Locale, MultibyteLayers) {
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
