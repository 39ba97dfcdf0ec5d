// Wide-string helpers with logic of their own, and the allocation wrappers.
#include "zvunicode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(WideCompare, CaseInsensitive) {
    EXPECT_EQ(zvwcsicmp(L"KEYWORD", L"keyword"), 0);
    EXPECT_EQ(zvwcsicmp(L"abc", L"abd"), -1);
    EXPECT_EQ(zvwcsicmp(L"ab", L"abc"), -static_cast<int>(L'c'));
    EXPECT_EQ(zvwcsicmp(L"abc", L"ab"), static_cast<int>(L'c'));
    EXPECT_EQ(zvwcsicmp(L"", L""), 0);
    // Difference taken on the lower-case forms.
    EXPECT_EQ(zvwcsicmp(L"B", L"a"), 1);

    EXPECT_EQ(zvwcsnicmp(L"Hello", L"HELP", 3), 0);
    EXPECT_EQ(zvwcsnicmp(L"Hello", L"HELP", 4), static_cast<int>(L'l') - static_cast<int>(L'p'));
    EXPECT_EQ(zvwcsnicmp(L"abc", L"xyz", 0), 0);
    EXPECT_EQ(zvwcsnicmp(L"ab", L"AB", 10), 0);
    EXPECT_EQ(zvwcsnicmp(L"ab", L"ABC", 10), -static_cast<int>(L'c'));

    // Default "C" locale collates by code value.
    EXPECT_EQ(zvwcscmp(L"08003", L"08003"), 0);
    EXPECT_LT(zvwcscmp(L"B", L"a"), 0);
}

TEST(WideSearch, CaseInsensitiveReturnsPointerIntoHaystack) {
    EXPECT_EQ(zvwcsistr(nullptr, L"a"), nullptr);
    EXPECT_EQ(zvwcsistr(L"a", nullptr), nullptr);

    const wchar_t* hay = L"xx MixEd yy";
    EXPECT_EQ(zvwcsistr(hay, L"MixEd"), hay + 3);  // as given
    const wchar_t* lower = L"a select";
    EXPECT_EQ(zvwcsistr(lower, L"SELECT"), lower + 2);  // lower-cased needle
    const wchar_t* upper = L"FROM t";
    EXPECT_EQ(zvwcsistr(upper, L"from"), upper);  // upper-cased needle
    EXPECT_EQ(zvwcsistr(hay, L"mIxeD"), hay + 3);  // duplicate of the haystack
    EXPECT_EQ(zvwcsistr(hay, L"mixes"), nullptr);
    EXPECT_EQ(zvwcsistr(hay, L""), hay);

    // Needles past 65 characters are searched safely.
    std::wstring longHay = L"--" + std::wstring(70, L'a') + L"Z";
    std::wstring longNeedle = std::wstring(69, L'A') + L"aZ";
    EXPECT_EQ(zvwcsistr(longHay.c_str(), longNeedle.c_str()), longHay.c_str() + 2);
    longNeedle.back() = L'q';
    EXPECT_EQ(zvwcsistr(longHay.c_str(), longNeedle.c_str()), nullptr);
}

TEST(WideMemory, CompareSetCopyDuplicate) {
    const wchar_t a[] = {1, 5, 9};
    const wchar_t b[] = {1, 3, 0};
    EXPECT_EQ(zvwmemcmp(a, b, 3), 1);
    EXPECT_EQ(zvwmemcmp(b, a, 3), -1);
    EXPECT_EQ(zvwmemcmp(a, b, 1), 0);
    EXPECT_EQ(zvwmemcmp(a, b, 0), 0);
    EXPECT_EQ(zvwmemcmp(a, b, -4), 0);
    const wchar_t neg[] = {static_cast<wchar_t>(-1)};
    const wchar_t pos[] = {1};
    EXPECT_EQ(zvwmemcmp(neg, pos, 1), -1);  // signed comparison

    wchar_t buf[5] = {L'a', L'b', L'c', L'd', 0};
    zvwmemset(buf, L'x', 2);
    EXPECT_EQ(std::wstring(buf), L"xxcd");
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

TEST(WideMisc, SmallHelpersAndAllocation) {
    EXPECT_EQ(zviswascii(static_cast<wchar_t>(-1)), 1);
    EXPECT_EQ(zviswascii(0x7F), 1);
    EXPECT_EQ(zviswascii(0x80), 0);

    EXPECT_EQ(zvmbstrlen("a\xC3\xA9"), 3u);  // bytes, not characters
    EXPECT_EQ(zvwcslen(L"abc"), 3);
    EXPECT_EQ(zvwcsftime(), 0u);

    EXPECT_EQ(isql_free(nullptr), 0);
    void* p = isql_alloc(32);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(isql_free(p), 0);
}
