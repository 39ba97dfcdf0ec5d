// Wide-string helpers with logic of their own, and the allocation wrappers.
#include "zvunicode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>

TEST(WideCompare, CaseInsensitive) {
    // n < 0: whole strings. The difference is taken on the lower-case forms.
    struct Case { const wchar_t *a, *b; int n, want; };
    for (const Case& c : std::initializer_list<Case>{
             {L"KEYWORD", L"keyword", -1, 0}, {L"abc", L"abd", -1, -1}, {L"ab", L"abc", -1, -L'c'},
             {L"abc", L"ab", -1, L'c'}, {L"", L"", -1, 0}, {L"B", L"a", -1, 1},
             {L"Hello", L"HELP", 3, 0}, {L"Hello", L"HELP", 4, L'l' - L'p'}, {L"abc", L"xyz", 0, 0},
             {L"ab", L"AB", 10, 0}, {L"ab", L"ABC", 10, -L'c'}}) {
        const int got = c.n < 0 ? zvwcsicmp(c.a, c.b) : zvwcsnicmp(c.a, c.b, c.n);
        EXPECT_EQ(got, c.want) << static_cast<const void*>(c.a) << " " << c.n;
    }
}

TEST(WideSearch, CaseInsensitiveReturnsPointerIntoHaystack) {
    EXPECT_TRUE(zvwcsistr(nullptr, L"a") == nullptr && zvwcsistr(L"a", nullptr) == nullptr);
    // The needle as given, lower-cased, upper-cased, or any other mix; -1: not found.
    const std::pair<const wchar_t*, int> needles[] = {
        {L"MixEd", 5}, {L"SELECT", 13}, {L"from", 0}, {L"mIxeD", 5}, {L"mixes", -1}, {L"", 0}};
    const wchar_t* hay = L"FROM MixEd a select";
    for (const auto& [needle, at] : needles) {
        const wchar_t* found = zvwcsistr(hay, needle);
        EXPECT_EQ(found ? found - hay : -1, at) << static_cast<const void*>(needle);
    }
    // Needles past 65 characters are searched safely.
    std::wstring longHay = L"--" + std::wstring(70, L'a') + L"Z";
    std::wstring longNeedle = std::wstring(69, L'A') + L"aZ";
    EXPECT_EQ(zvwcsistr(longHay.c_str(), longNeedle.c_str()), longHay.c_str() + 2);
    longNeedle.back() = L'q';
    EXPECT_EQ(zvwcsistr(longHay.c_str(), longNeedle.c_str()), nullptr);
}

TEST(WideMemory, CompareSetCopyDuplicate) {
    // Signed comparison of count elements; a count of 0 or less compares nothing.
    const wchar_t a[] = {1, 5, 9}, b[] = {1, 3, 0}, neg[] = {-1}, pos[] = {1};
    const std::tuple<const wchar_t*, const wchar_t*, int, int> rows[] = {
        {a, b, 3, 1}, {b, a, 3, -1}, {a, b, 1, 0}, {a, b, 0, 0}, {a, b, -4, 0}, {neg, pos, 1, -1}};
    for (const auto& [x, y, n, want] : rows) EXPECT_EQ(zvwmemcmp(x, y, n), want) << n;

    wchar_t buf[5] = {L'a', L'b', L'c', L'd', 0};
    zvwmemset(buf, L'x', 2);
    zvwmemset(buf, L'y', -1);
    EXPECT_EQ(std::wstring(buf), L"xxcd");
    zvwmemmove(buf + 1, buf, 3);  // overlapping
    EXPECT_EQ(std::wstring(buf), L"xxxc");
    zvwmemcpy(buf, L"pq", 2);
    EXPECT_EQ(std::wstring(buf), L"pqxc");

    wchar_t* dup = zvwcsdup(L"MiXed");
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(std::wstring(zvwcsupr(dup)), L"MIXED");
    EXPECT_EQ(std::wstring(zvwcslwr(dup)), L"mixed");
    std::free(dup);
}

// Negative values count as ASCII. (zvwcscmp, zvwcslen, zvmbstrlen, zvwcsftime,
// isql_alloc and isql_free only hand on to the C library or return 0.)
TEST(WideMisc, AsciiTestIsSigned) {
    for (const auto& [c, want] : {std::pair{-1, 1}, std::pair{0x7F, 1}, std::pair{0x80, 0}})
        EXPECT_EQ(zviswascii(c), want) << c;
}
