// Value formatting without a database: bindings chosen per SQL type, the text
// of fetched values built from hand-filled buffers, and the byte dump. What
// the golden cases show of ordinary values (every type of the test databases,
// NULLs, the hexadecimal display, SQL_NTS and SQL_NO_TOTAL on bound text, the
// self-describing and unsupported types of the scripted driver) is not
// repeated here: these are the edges that no database hands out on demand.

#include <charconv>

#include "value_text.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "isqlexec.h"
#include "unit_util.h"

using namespace std::literals;

namespace {

// Resets the settings the formatter reads and selects a locale.
class ValueFormat : public ::testing::Test {
protected:
    void SetUp() override { use_locale("C.UTF-8"); }
    void TearDown() override {
        gUnicodeEnc = 1, gHexDisplay = 0;
        use_locale("C");
    }
    static void use_locale(const char* name) {
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr) << name;
        isql_format_locale_refresh();
    }
    // Formats one value; messages for the error stream land in err_.
    std::string fmt(SQLSMALLINT type, const void* buf, SQLLEN ind, SQLLEN bufLen, SQLLEN printLen = 0,
                    SQLINTEGER colSize = 0) {
        std::string out;
        err_.clear();
        isql_format_value(out, err_, type, buf, ind, colSize, bufLen, printLen);
        return out;
    }
    template <typename T>
    std::string fmt_of(SQLSMALLINT type, T value, SQLLEN bufLen = sizeof(T)) {
        return fmt(type, &value, sizeof(T), bufLen);
    }
    std::string err_;
};

// Buffer sizes derived from the column size; fixed-size types show in the
// golden cases of every database.
TEST(DataLength, BufferSizesPerType) {
    struct Case { SQLSMALLINT sqlType; SQLLEN size, want; SQLSMALLINT target; };
    SQLSMALLINT t = 0;
    for (const Case& c : std::initializer_list<Case>{
             {SQL_VARCHAR, 10, 11, SQL_C_CHAR}, {SQL_CHAR, 0, 1, SQL_C_CHAR},
             {SQL_LONGVARCHAR, 8190, 3145729, SQL_C_CHAR}, {SQL_NUMERIC, 0, 38, SQL_C_CHAR},
             {SQL_DECIMAL, 10, 13, SQL_C_CHAR}, {SQL_VARBINARY, 100, 101, SQL_C_CHAR},
             {SQL_VARBINARY, 3145729, 3145729, SQL_C_CHAR}, {SQL_WVARCHAR, 10, 44, SQL_C_WCHAR},
             {SQL_WLONGVARCHAR, 1, 12582916, SQL_C_WCHAR}, {kSqlTypeUnknown, 9, 10, SQL_C_CHAR},
             {kSqlTypeSelfDescribing, 100, 101, SQL_C_DEFAULT},
             // Sizes beyond 32 bits, and negative ones, have no usable size.
             {SQL_VARCHAR, 2147483647, kNoUsableSize, SQL_C_CHAR}, {SQL_VARCHAR, -1, kNoUsableSize, SQL_C_CHAR},
             {SQL_NUMERIC, 2147483646, kNoUsableSize, SQL_C_CHAR},
             {SQL_WVARCHAR, 1073741823, kNoUsableSize, SQL_C_WCHAR}}) {
        EXPECT_EQ(isql_get_datalen(c.sqlType, c.size, &t), c.want) << c.sqlType << " " << c.size;
        EXPECT_EQ(t, c.target) << c.sqlType;
    }
    EXPECT_EQ(isql_get_printbuflen(SQL_WVARCHAR, kNoUsableSize), kNoUsableSize);
    // Only wide and binary values get a print buffer.
    for (SQLSMALLINT type : {SQL_WCHAR, SQL_WLONGVARCHAR, SQL_BINARY, SQL_LONGVARBINARY})
        EXPECT_EQ(isql_get_printbuflen(type, 44), 45) << type;
    for (SQLSMALLINT type : {SQL_VARCHAR, SQL_INTEGER, SQL_GUID}) EXPECT_EQ(isql_get_printbuflen(type, 11), 0) << type;
}

// Fetch buffers as a driver fills them for SQL_C_CHAR: the bytes, then 'X'.
TEST_F(ValueFormat, CharacterAndBinaryText) {
    struct Case { SQLSMALLINT type; std::string_view bytes; size_t size; SQLLEN ind, printLen; const char* want; };
    const auto ten = "abcdefghij\0"sv, hex = "0102FF\0"sv;  // VARCHAR(10), BINARY(3)
    for (const Case& c : std::initializer_list<Case>{
             // The indicator ends the text (a cut long text shows in exec/long_text_cut).
             {SQL_VARCHAR, ten, 11, 3, 0, "abc"}, {SQL_CHAR, ten, 11, 0, 0, ""},
             // Reading stops at the buffer's end, and text ends at its first NUL.
             {SQL_VARCHAR, "ZZZZ"sv, 4, SQL_NTS, 0, "ZZZZ"}, {SQL_VARCHAR, "ab\0cd\0"sv, 8, 5, 0, "ab"},
             // VARBINARY(3): the 6 hex characters do not fit 3, and no mark is added.
             {SQL_VARBINARY, "010\0"sv, 4, 6, 5, "010"}, {SQL_LONGVARBINARY, hex, 7, SQL_NTS, 8, "0102FF"},
             // A print buffer shorter than the fetched text (the fallback) cuts with the mark.
             {SQL_LONGVARBINARY, hex, 7, 6, 4, "010(Truncated)"}, {SQL_LONGVARBINARY, hex, 7, 6, 7, "0102FF"}}) {
        std::vector<char> b(c.size, 'X');
        std::memcpy(b.data(), c.bytes.data(), c.bytes.size());
        EXPECT_EQ(fmt(c.type, b.data(), c.ind, static_cast<SQLLEN>(c.size), c.printLen), c.want)
            << c.type << " " << c.bytes << " " << c.ind << " " << c.printLen;
    }
}

// UTF-16 fetch buffers: the units, a terminator, then 0xAAAA. (Whole values,
// SQL_NTS among them, show in failures/value_types.)
TEST_F(ValueFormat, WideTextFromUtf16) {
    struct Case { bool hex, utf8; std::u16string_view value; size_t units; SQLSMALLINT type; SQLLEN ind, bufLen; const char* want; };
    for (const Case& c : std::initializer_list<Case>{
             {0, 1, u"AB", 22, SQL_WLONGVARCHAR, 0, 44, ""},
             // A cut is bounded by the buffer: 3 units and a terminator. Plain ASCII in the C locale.
             {0, 1, u"abc", 4, SQL_WVARCHAR, 20, 8, "abc"}, {0, 0, u"cafe", 8, SQL_WVARCHAR, 8, 16, "cafe"},
             {1, 1, u"abc", 4, SQL_WVARCHAR, 20, 8, "abc (Unicode hex:0x0061,0x0062,0x0063)"},
             // Text that does not convert is empty; a surrogate pair stays two units.
             {0, 1, u"a\U0001F600b", 8, SQL_WVARCHAR, 8, 16, ""}, {0, 0, u"caf\u00e9", 8, SQL_WVARCHAR, 8, 16, ""},
             {1, 0, u"caf\u00e9", 8, SQL_WVARCHAR, 8, 16, " (Unicode hex:0x0063,0x0061,0x0066,0x00E9)"}}) {
        use_locale(c.utf8 ? "C.UTF-8" : "C");
        gHexDisplay = c.hex;
        std::vector<zvutf16> b(c.units, 0xAAAA);
        std::copy(c.value.begin(), c.value.end(), b.begin());
        b[c.value.size()] = 0;
        EXPECT_EQ(fmt(c.type, b.data(), c.ind, c.bufLen, c.bufLen + 1), c.want)
            << c.hex << c.utf8 << " " << c.value.size() << " " << c.ind;
    }
}

// Exact values join the surrogate pairs; a lone surrogate, also one left
// alone by the end of a cut value, is U+FFFD, not an empty text.
TEST_F(ValueFormat, WideTextExactJoinsPairs) {
    use_locale("C.UTF-8");
    struct Case { std::u16string_view value; SQLLEN ind, bufLen; const char* want; };
    for (const Case& c : std::initializer_list<Case>{
             {u"a\U0001F600b", 8, 16, "a\U0001F600b"}, {u"\xD83Dx", 4, 16, "\uFFFDx"},
             {u"x\xDE00", 4, 16, "x\uFFFD"}, {u"a\U0001F600", 6, 6, "a\uFFFD"}}) {
        std::vector<zvutf16> b(8, 0xAAAA);
        std::copy(c.value.begin(), c.value.end(), b.begin());
        b[std::min<size_t>(c.value.size(), static_cast<size_t>(c.bufLen / 2) - 1)] = 0;
        std::string out;
        isql_format_wide_exact(out, b.data(), c.ind, c.bufLen, c.bufLen + 1);
        EXPECT_EQ(out, c.want) << c.ind;
    }
}

// Without the UTF-16 encoding, wide values are platform characters. Their
// multibyte text matches the C library's wcstombs under the same locale, for
// every kind of character, also at the byte limit.
TEST_F(ValueFormat, PlatformWideTextMatchesWcstombs) {
    gUnicodeEnc = 0;
    wchar_t b[11] = L"x\u00e9\U0001F600";
    EXPECT_EQ(fmt(SQL_WVARCHAR, b, SQL_NTS, 44, 45), "xé😀");
    gHexDisplay = 1;
    EXPECT_EQ(fmt(SQL_WVARCHAR, b, 12, 44, 45), "xé😀 (Unicode hex:0x0078,0x00E9,0x1F600)");
    gHexDisplay = 0;
    for (const char* locale : {"C.UTF-8", "C"}) {
        use_locale(locale);
        for (uint32_t c : {0x1u, 0x41u, 0x7Fu, 0x80u, 0xE9u, 0xFFu, 0x7FFu, 0x800u, 0xD7FFu, 0xD800u, 0xDBFFu, 0xDC00u,
                           0xDFFFu, 0xE000u, 0xFFFDu, 0xFFFFu, 0x10000u, 0x1F600u, 0x10FFFFu, 0x110000u, 0x3FFFFFFu,
                           0x4000000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
            for (uint32_t lead : {0x61u, 0xE9u}) {
                wchar_t w[3] = {static_cast<wchar_t>(lead), static_cast<wchar_t>(c), 0};
                char expect[64] = {};
                size_t n = std::wcstombs(expect, w, 8);  // 2 characters: 8 bytes at most
                std::string want = n == static_cast<size_t>(-1) ? "" : std::string(expect, n);
                EXPECT_EQ(fmt(SQL_WVARCHAR, w, 8, 12, 13), want) << locale << " U+" << std::hex << c;
            }
        }
    }
}

// The extremes of 64 bits, dates before year 1 and the smallest fraction.
// (The smallest SMALLINT and INTEGER, and times, show in formats/each_format.)
TEST_F(ValueFormat, IntegersDatesAndTimes) {
    EXPECT_EQ(fmt_of<int64_t>(SQL_BIGINT, INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(fmt_of<int64_t>(SQL_BIGINT, 5, 4), "") << "a buffer too small for the type is not read";
    EXPECT_EQ(fmt_of(SQL_DATE, DATE_STRUCT{-44, 3, 15}), "-44-03-15");
    EXPECT_EQ(fmt_of<int32_t>(SQL_INTEGER, INT32_MIN), "-2147483648");
    EXPECT_EQ(fmt_of<int16_t>(SQL_SMALLINT, INT16_MIN), "-32768");
    // Timestamps as printf's "%d-%02d-%02d %02d:%02d:%02d.%09d", also where a
    // field is narrower or wider than usual or the fraction reads negative.
    char want[96];
    for (const TIMESTAMP_STRUCT& ts : std::initializer_list<TIMESTAMP_STRUCT>{
             {2024, 1, 15, 13, 45, 1, 7}, {1, 1, 1, 0, 0, 0, 0}, {999, 12, 31, 23, 59, 59, 999999999},
             {1000, 1, 1, 0, 0, 0, 1000000000}, {9999, 12, 31, 23, 59, 59, 999999999}, {10000, 1, 1, 0, 0, 0, 5},
             {-1, 100, 255, 99, 100, 65535, 2147483648u}, {2024, 2, 29, 12, 0, 0, 500000000}}) {
        for (SQLINTEGER size : {19, 29}) {
            int n = std::snprintf(want, sizeof want, "%d-%02d-%02d %02d:%02d:%02d", ts.year, ts.month, ts.day,
                                  ts.hour, ts.minute, ts.second);
            if (size > 19) std::snprintf(want + n, sizeof want - n, ".%09d", static_cast<int32_t>(ts.fraction));
            EXPECT_EQ(fmt(SQL_TIMESTAMP, &ts, 16, 16, 0, size), want) << want;
        }
    }
}

// Floating-point text equals printf's "%.7G" / "%.15G" for every kind of value.
TEST_F(ValueFormat, FloatingPointMatchesPrintf) {
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.5, 1e15, 1e16, 123456789012345.0, 1234567890123456.0, 1e-5,
                                  1e-4, 9.999999e-5, 0.000123456, 1.7976931348623157e308, 4.9e-324,
                                  2.2250738585072014e-308, HUGE_VAL, -HUGE_VAL, NAN, 1.0 / 3.0, 2.0 / 3.0, 99999995.0};
    const double scale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7};
    uint64_t seed = 88172645463325252ULL;
    for (int i = 0; i < 2000; ++i) {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        values.push_back(std::bit_cast<double>(seed));
        // Decimals of up to 15 digits with up to 7 after the point.
        values.push_back(static_cast<double>(seed % 1000000000000000ULL) * (seed & 1 ? -1 : 1) /
                         scale[(seed >> 3) % 8]);
    }
    // Short decimals at every magnitude around the switch between fixed and
    // exponent form.
    for (const char* mantissa : {"1", "-12", "5.5", "123456789012345", "999999999999999",
                                 "100000000000001", "1.00000000000001"})
        for (int e = -12; e <= 22; ++e)
            values.push_back(std::strtod((mantissa + "e"s + std::to_string(e)).c_str(), nullptr));
    char want[64];
    for (double d : values) {
        std::snprintf(want, sizeof want, "%.15G", d);
        EXPECT_EQ(fmt_of(SQL_DOUBLE, d), want) << d;
        const float f = static_cast<float>(d);
        std::snprintf(want, sizeof want, "%.7G", static_cast<double>(f));
        EXPECT_EQ(fmt_of(SQL_REAL, f), want) << f;
    }
}

// The shortcut of the exact formats gives std::to_chars's text, or leaves
// the value to it: also for a double next to a short decimal, which the
// scaled product can mistake for that decimal.
TEST(ValueText, ShortestDecimalMatchesToChars) {
    std::vector<double> values = {0.0, -0.0, 0.1, 0.001, 0.0001, 1e5, 1e14, 123456789012345.0, 1200.0, 99999.5};
    const double scale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7};
    uint64_t seed = 88172645463325252ULL;
    for (int i = 0; i < 20000; ++i) {
        seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
        const double d = static_cast<double>(seed % 1000000000000000ULL >> (seed % 40)) * (seed & 1 ? -1 : 1) /
                         scale[(seed >> 3) % 8];
        values.insert(values.end(), {d, std::nextafter(d, 1e300), std::nextafter(d, -1e300), std::bit_cast<double>(seed)});
    }
    int shortcut = 0;
    for (double d : values) {
        char got[value_text::kMaxNumberBytes], want[64];
        const char* gotEnd = value_text::put_shortest_decimal(got, d);
        if (gotEnd == nullptr) continue;
        ++shortcut;
        const auto end = std::to_chars(want, want + sizeof want, d).ptr;
        EXPECT_EQ(std::string_view(got, static_cast<size_t>(gotEnd - got)), std::string_view(want, static_cast<size_t>(end - want))) << d;
    }
    EXPECT_GT(shortcut, 10000);
}

// A self-describing value carries its type in the first 16 bits and the
// value from byte 8, and prints as that type; an inner type that cannot be
// printed gives a message. (Self-describing values of ordinary types, and a
// column of an unsupported type, show in failures/value_types.)
TEST_F(ValueFormat, SelfDescribingValues) {
    std::vector<char> b(40, 0);  // the widest value first: the others need no clearing
    auto put = [&](SQLSMALLINT type, const void* v, size_t n) {
        std::memcpy(b.data(), &type, sizeof type);
        std::memcpy(b.data() + 8, v, n);
    };
    const char16_t wide[] = u"h\u00e9";
    put(SQL_WVARCHAR, wide, sizeof wide);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 14, 40), "hé") << "no print buffer: no bound";
    put(SQL_GUID, "x", 1);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 9, 40), "");
    EXPECT_EQ(err_, "SQL: isql_print_value() Invalid data type = -11\n");
    put(kSqlTypeSelfDescribing, "x", 1);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 9, 40), "");
    EXPECT_EQ(err_, "SQL: isql_print_value() Invalid data type = -12\n");
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 9, 6), "") << "buffer shorter than the header";
}

// The copy of ordinary text and its dump in hexadecimal mode, 32 bytes a
// line, show in the golden case of the hexadecimal display.
TEST(Utf16Copy, NoTextAndEmptyText) {
    std::vector<zvutf16> copy;
    EXPECT_EQ(isql_util_wcstoutf16(nullptr, copy), 0);
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(isql_util_wcstoutf16(L"", copy), 1);
    EXPECT_EQ(copy, std::vector<zvutf16>{0});
    std::string out;
    isql_format_hexdump(out, nullptr, 0, "Input ReadAs UTF8");
    EXPECT_EQ(out, "Input ReadAs UTF8 \n\n\n");
}

}  // namespace
