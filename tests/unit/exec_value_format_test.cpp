// Value formatting without a database: bindings chosen per SQL type, the text
// of fetched values built from hand-filled buffers, and the byte dump.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "isqlexec.h"
#include "isqltm.h"

namespace {

// Captures what a piece of code writes on one of the session streams.
class StreamCapture {
public:
    explicit StreamCapture(FILE*& stream) : stream_(stream), saved_(stream) {
        file_ = std::tmpfile();
        stream_ = file_;
    }
    ~StreamCapture() {
        stream_ = saved_;
        isql_close_stream(file_);
    }
    std::string text() {
        isql_flush_all();
        std::rewind(file_);
        std::string s;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) s.append(buf, n);
        return s;
    }

private:
    FILE*& stream_;
    FILE* saved_;
    FILE* file_;
};

// Resets the settings the formatter reads and selects a locale.
class ValueFormat : public ::testing::Test {
protected:
    void SetUp() override {
        gUnicodeEnc = 1;
        gHexDisplay = 0;
        giTraceMask = 15;
        use_locale("C.UTF-8");
    }
    void TearDown() override {
        gUnicodeEnc = 1;
        gHexDisplay = 0;
        use_locale("C");
    }
    static void use_locale(const char* name) {
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr) << name;
        isql_format_locale_refresh();
    }

    // Formats one value; messages for the error stream land in err_.
    std::string fmt(SQLSMALLINT type, const void* buf, SQLLEN ind, SQLLEN bufLen,
                    SQLLEN printLen = 0, SQLINTEGER colSize = 0) {
        std::string out;
        err_.clear();
        isql_format_value(out, err_, type, buf, ind, colSize, bufLen, printLen);
        return out;
    }
    std::string err_;
};

// A fetch buffer filled as a driver would fill it for SQL_C_CHAR.
std::vector<char> text_buffer(const std::string& value, size_t size) {
    std::vector<char> b(size, 'X');
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(b.data(), value.data(), n);
    b[n] = '\0';
    return b;
}

std::vector<zvutf16> utf16_buffer(const std::u16string& value, size_t units) {
    std::vector<zvutf16> b(units, 0xAAAA);
    size_t n = value.size() < units - 1 ? value.size() : units - 1;
    for (size_t i = 0; i < n; ++i) b[i] = value[i];
    b[n] = 0;
    return b;
}

TEST(DataLength, BindingsPerType) {
    struct Case { SQLSMALLINT sqlType; SQLLEN size, want; SQLSMALLINT target; };
    for (const Case& c : std::initializer_list<Case>{
             {SQL_VARCHAR, 10, 11, SQL_C_CHAR}, {SQL_CHAR, 0, 1, SQL_C_CHAR},
             {SQL_LONGVARCHAR, 8190, 3145729, SQL_C_CHAR}, {SQL_NUMERIC, 0, 38, SQL_C_CHAR},
             {SQL_DECIMAL, 10, 13, SQL_C_CHAR}, {SQL_VARBINARY, 100, 101, SQL_C_CHAR},
             {SQL_VARBINARY, 3145729, 3145729, SQL_C_CHAR}, {SQL_WVARCHAR, 10, 44, SQL_C_WCHAR},
             {SQL_WLONGVARCHAR, 1, 12582916, SQL_C_WCHAR}, {SQL_INTEGER, 10, 4, SQL_C_LONG},
             {SQL_SMALLINT, 5, 2, SQL_C_SHORT}, {SQL_BIGINT, 19, 8, SQL_C_SBIGINT},
             {SQL_TINYINT, 3, 1, SQL_C_TINYINT}, {SQL_BIT, 1, 1, SQL_C_BIT},
             {SQL_REAL, 7, 4, SQL_C_FLOAT}, {SQL_FLOAT, 15, 8, SQL_C_DOUBLE},
             {SQL_TYPE_DATE, 10, 6, SQL_C_DATE}, {SQL_TYPE_TIME, 8, 6, SQL_C_TIME},
             {SQL_TYPE_TIMESTAMP, 26, 16, SQL_C_TIMESTAMP}, {kSqlTypeUnknown, 9, 10, SQL_C_CHAR},
             {kSqlTypeSelfDescribing, 100, 101, SQL_C_DEFAULT}}) {
        SQLSMALLINT t = 0;
        EXPECT_EQ(isql_get_datalen(c.sqlType, c.size, &t), c.want) << c.sqlType << " " << c.size;
        EXPECT_EQ(t, c.target) << c.sqlType;
    }
}

TEST(DataLength, SizesBeyond32BitsHaveNoUsableSize) {
    SQLSMALLINT t = 0;
    EXPECT_EQ(isql_get_datalen(SQL_VARCHAR, 2147483647, &t), kNoUsableSize);
    EXPECT_EQ(isql_get_datalen(SQL_WVARCHAR, 1073741823, &t), kNoUsableSize);
    EXPECT_EQ(isql_get_datalen(SQL_NUMERIC, 2147483646, &t), kNoUsableSize);
    EXPECT_EQ(isql_get_datalen(SQL_VARCHAR, -1, &t), kNoUsableSize);
    EXPECT_EQ(isql_get_printbuflen(SQL_WVARCHAR, kNoUsableSize), kNoUsableSize);
}

TEST(DataLength, UnsupportedTypeIsReportedAndGetsNoBuffer) {
    StreamCapture errors(gClientStateList.idleErrFile);
    SQLSMALLINT t = 12345;
    EXPECT_EQ(isql_get_datalen(SQL_GUID, 36, &t), 0);
    EXPECT_EQ(t, 12345) << "target type stays unset";
    EXPECT_EQ(errors.text(), "SQL: isql_get_datalen() Invalid data type = -11\n");
}

TEST(DataLength, PrintBufferOnlyForWideAndBinary) {
    const std::pair<SQLSMALLINT, SQLLEN> sized[] = {
        {SQL_WCHAR, 44}, {SQL_WVARCHAR, 44}, {SQL_WLONGVARCHAR, 12582916}, {SQL_BINARY, 5},
        {SQL_LONGVARBINARY, 3145729}};
    for (auto [type, len] : sized) EXPECT_EQ(isql_get_printbuflen(type, len), len + 1) << type;
    for (SQLSMALLINT type : {SQL_VARCHAR, SQL_INTEGER, SQL_GUID})
        EXPECT_EQ(isql_get_printbuflen(type, 11), 0) << type;
}

TEST_F(ValueFormat, NullOfEveryTypePrintsNull) {
    char buf[16] = {};
    for (SQLSMALLINT type : std::initializer_list<SQLSMALLINT>{SQL_VARCHAR, SQL_INTEGER, SQL_WVARCHAR, SQL_VARBINARY,
                             SQL_TYPE_TIMESTAMP, kSqlTypeUnknown, SQL_GUID,
                             kSqlTypeSelfDescribing}) {
        EXPECT_EQ(fmt(type, buf, SQL_NULL_DATA, sizeof buf, 17), "NULL") << type;
        EXPECT_EQ(err_, "") << type;
    }
}

TEST_F(ValueFormat, CharacterText) {
    auto b = text_buffer("abcdefghij", 11);  // VARCHAR(10)
    EXPECT_EQ(fmt(SQL_VARCHAR, b.data(), 10, 11), "abcdefghij");
    EXPECT_EQ(fmt(SQL_VARCHAR, b.data(), 3, 11), "abc") << "the indicator ends the text";
    EXPECT_EQ(fmt(SQL_VARCHAR, b.data(), SQL_NTS, 11), "abcdefghij");
    EXPECT_EQ(fmt(SQL_CHAR, b.data(), 0, 11), "");

    auto cut = text_buffer("abcdefghijklmnop", 11);
    EXPECT_EQ(fmt(SQL_VARCHAR, cut.data(), 16, 11), "abcdefghij(Truncated)");
    EXPECT_EQ(fmt(SQL_LONGVARCHAR, cut.data(), 11, 11), "abcdefghij(Truncated)")
        << "one byte more than fits is cut";
    EXPECT_EQ(fmt(SQL_VARCHAR, cut.data(), SQL_NO_TOTAL, 11), "abcdefghij")
        << "an unknown total is never used as a length";

    std::vector<char> unterminated(4, 'Z');
    EXPECT_EQ(fmt(SQL_VARCHAR, unterminated.data(), SQL_NTS, 4), "ZZZZ")
        << "reading stops at the end of the buffer";

    char embedded[8] = {'a', 'b', '\0', 'c', 'd', '\0'};
    EXPECT_EQ(fmt(SQL_VARCHAR, embedded, 5, 8), "ab") << "text ends at its first NUL";

    auto num = text_buffer("-12.34", 38);
    EXPECT_EQ(fmt(SQL_NUMERIC, num.data(), 6, 38), "-12.34");
    EXPECT_EQ(fmt(SQL_DECIMAL, num.data(), 6, 38), "-12.34");
}

TEST_F(ValueFormat, BinaryAsCharacters) {
    // VARBINARY(3): the driver's hex text of 3 bytes needs 6 characters, the
    // buffer holds 3 of them and the mark is not added.
    auto b = text_buffer("0102FF", 4);
    EXPECT_EQ(fmt(SQL_VARBINARY, b.data(), 6, 4, 5), "010");
    auto whole = text_buffer("0102FF", 7);
    EXPECT_EQ(fmt(SQL_BINARY, whole.data(), 6, 7, 8), "0102FF");
    EXPECT_EQ(fmt(SQL_LONGVARBINARY, whole.data(), SQL_NTS, 7, 8), "0102FF");
    // A print buffer shorter than the fetched text (the fallback) cuts with the mark.
    EXPECT_EQ(fmt(SQL_LONGVARBINARY, whole.data(), 6, 7, 4), "010(Truncated)");
    EXPECT_EQ(fmt(SQL_LONGVARBINARY, whole.data(), 6, 7, 7), "0102FF");
}

TEST_F(ValueFormat, WideTextFromUtf16) {
    auto b = utf16_buffer(u"AB", 22);  // WVARCHAR(10): 44 bytes hold 22 units
    EXPECT_EQ(fmt(SQL_WVARCHAR, b.data(), 4, 44, 45), "AB");
    auto u = utf16_buffer(u"\u00dcn\u00efc\u00f6d\u00e9 \u20ac", 22);
    EXPECT_EQ(fmt(SQL_WVARCHAR, u.data(), 18, 44, 45), "Ünïcödé €");
    EXPECT_EQ(fmt(SQL_WCHAR, u.data(), SQL_NTS, 44, 45), "Ünïcödé €");
    EXPECT_EQ(fmt(SQL_WLONGVARCHAR, u.data(), 0, 44, 45), "");
}

TEST_F(ValueFormat, WideTextCutIsBoundedByTheBuffer) {
    auto b = utf16_buffer(u"abcdefghij", 4);  // 8 bytes: 3 units and a terminator
    EXPECT_EQ(fmt(SQL_WVARCHAR, b.data(), 20, 8, 9), "abc");
    EXPECT_EQ(fmt(SQL_WVARCHAR, b.data(), SQL_NO_TOTAL, 8, 9), "abc");
    gHexDisplay = 1;
    EXPECT_EQ(fmt(SQL_WVARCHAR, b.data(), 20, 8, 9), "abc (Unicode hex:0x0061,0x0062,0x0063)");
}

TEST_F(ValueFormat, WideTextThatDoesNotConvertIsEmpty) {
    auto pair = utf16_buffer(u"a\U0001F600b", 8);  // a surrogate pair stays two units
    EXPECT_EQ(fmt(SQL_WVARCHAR, pair.data(), 8, 16, 17), "");
    use_locale("C");
    auto accent = utf16_buffer(u"caf\u00e9", 8);
    EXPECT_EQ(fmt(SQL_WVARCHAR, accent.data(), 8, 16, 17), "");
    auto plain = utf16_buffer(u"cafe", 8);
    EXPECT_EQ(fmt(SQL_WVARCHAR, plain.data(), 8, 16, 17), "cafe");
    gHexDisplay = 1;
    EXPECT_EQ(fmt(SQL_WVARCHAR, accent.data(), 8, 16, 17),
              " (Unicode hex:0x0063,0x0061,0x0066,0x00E9)")
        << "the list is printed also when the text does not convert";
}

TEST_F(ValueFormat, HexDisplayOfWideText) {
    gHexDisplay = 1;
    auto b = utf16_buffer(u"AB", 22);
    EXPECT_EQ(fmt(SQL_WVARCHAR, b.data(), 4, 44, 45), "AB (Unicode hex:0x0041,0x0042)");
    EXPECT_EQ(fmt(SQL_WVARCHAR, b.data(), 0, 44, 45), " (Unicode hex:)");
    auto e = utf16_buffer(u"\u20ac", 22);
    EXPECT_EQ(fmt(SQL_WCHAR, e.data(), 2, 44, 45), "€ (Unicode hex:0x20AC)");
}

TEST_F(ValueFormat, WideTextOfPlatformCharacters) {
    gUnicodeEnc = 0;
    wchar_t b[11] = L"x\u00e9\U0001F600";
    EXPECT_EQ(fmt(SQL_WVARCHAR, b, 12, 44, 45), "xé😀");
    EXPECT_EQ(fmt(SQL_WVARCHAR, b, SQL_NTS, 44, 45), "xé😀");
    gHexDisplay = 1;
    EXPECT_EQ(fmt(SQL_WVARCHAR, b, 12, 44, 45), "xé😀 (Unicode hex:0x0078,0x00E9,0x1F600)");
}

// The multibyte text of wide values matches the C library's wcstombs under
// the same locale, for every kind of character, also at the byte limit.
TEST_F(ValueFormat, MultibyteTextMatchesWcstombs) {
    gUnicodeEnc = 0;
    const std::vector<uint32_t> chars = {
        0x1,     0x41,     0x7F,     0x80,     0xE9,       0xFF,       0x7FF,      0x800,
        0xD7FF,  0xD800,   0xDBFF,   0xDC00,   0xDFFF,     0xE000,     0xFFFD,     0xFFFF,
        0x10000, 0x1F600,  0x10FFFF, 0x110000, 0x3FFFFFF,  0x4000000,  0x7FFFFFFF, 0x80000000,
        0xFFFFFFFF};
    for (const char* locale : {"C.UTF-8", "C"}) {
        use_locale(locale);
        for (uint32_t c : chars) {
            for (uint32_t lead : {0x61u, 0xE9u}) {
                wchar_t w[3] = {static_cast<wchar_t>(lead), static_cast<wchar_t>(c), 0};
                char expect[64] = {};
                size_t n = std::wcstombs(expect, w, 8);  // 2 characters: 8 bytes at most
                std::string want = n == static_cast<size_t>(-1) ? "" : std::string(expect, n);
                EXPECT_EQ(fmt(SQL_WVARCHAR, w, 8, 12, 13), want)
                    << locale << " U+" << std::hex << c;
            }
        }
    }
}

TEST_F(ValueFormat, Integers) {
    int32_t i = -2147483648;
    EXPECT_EQ(fmt(SQL_INTEGER, &i, 4, 4), "-2147483648");
    i = 100;
    EXPECT_EQ(fmt(SQL_INTEGER, &i, 4, 4), "100");
    int16_t s = -32768;
    EXPECT_EQ(fmt(SQL_SMALLINT, &s, 2, 2), "-32768");
    int64_t big = -9000000000LL;
    EXPECT_EQ(fmt(SQL_BIGINT, &big, 8, 8), "-9000000000");
    big = INT64_MIN;
    EXPECT_EQ(fmt(SQL_BIGINT, &big, 8, 8), "-9223372036854775808");
    unsigned char byte = 0xFF;
    EXPECT_EQ(fmt(SQL_TINYINT, &byte, 1, 1), "255");
    byte = 1;
    EXPECT_EQ(fmt(SQL_BIT, &byte, 1, 1), "1");
    EXPECT_EQ(fmt(SQL_BIGINT, &big, 8, 4), "") << "a buffer too small for the type is not read";
}

// Floating-point text equals printf's "%.7G" / "%.15G" for every kind of value.
TEST_F(ValueFormat, FloatingPointMatchesPrintf) {
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.5, 1e15, 1e16, 123456789012345.0,
                                  1234567890123456.0, 1e-5, 1e-4, 9.999999e-5, 0.000123456,
                                  1.7976931348623157e308, 4.9e-324, 2.2250738585072014e-308,
                                  HUGE_VAL, -HUGE_VAL, NAN, 1.0 / 3.0, 2.0 / 3.0, 99999995.0};
    uint64_t seed = 88172645463325252ULL;
    for (int i = 0; i < 2000; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        double d;
        std::memcpy(&d, &seed, sizeof d);
        values.push_back(d);
        values.push_back(static_cast<double>(static_cast<int64_t>(seed >> 20)) / 1000.0);
        // Decimals of up to 15 digits with up to 6 after the point.
        const double scale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7};
        values.push_back(static_cast<double>(seed % 1000000000000000ULL) * (seed & 1 ? -1 : 1) /
                         scale[(seed >> 3) % 8]);
    }
    // Short decimals at every magnitude around the switch between fixed and
    // exponent form.
    for (const char* mantissa : {"1", "-12", "5.5", "123456789012345", "999999999999999",
                                 "100000000000001", "1.00000000000001"}) {
        for (int e = -12; e <= 22; ++e) {
            std::string text = std::string(mantissa) + "e" + std::to_string(e);
            values.push_back(std::strtod(text.c_str(), nullptr));
        }
    }
    char want[64];
    for (double d : values) {
        std::snprintf(want, sizeof want, "%.15G", d);
        EXPECT_EQ(fmt(SQL_DOUBLE, &d, 8, 8), want) << d;
        float f = static_cast<float>(d);
        std::snprintf(want, sizeof want, "%.7G", static_cast<double>(f));
        EXPECT_EQ(fmt(SQL_REAL, &f, 4, 4), want) << f;
    }
}

TEST_F(ValueFormat, DatesTimesTimestamps) {
    DATE_STRUCT date{2024, 1, 5};
    EXPECT_EQ(fmt(SQL_TYPE_DATE, &date, 6, 6), "2024-01-05");
    date = {-44, 3, 15};
    EXPECT_EQ(fmt(SQL_DATE, &date, 6, 6), "-44-03-15");
    TIME_STRUCT time{9, 5, 0};
    EXPECT_EQ(fmt(SQL_TYPE_TIME, &time, 6, 6), "09:05:00");
    EXPECT_EQ(fmt(SQL_TIME, &time, 6, 6), "09:05:00");
    TIMESTAMP_STRUCT ts{2024, 1, 15, 13, 45, 1, 500000000};
    EXPECT_EQ(fmt(SQL_TYPE_TIMESTAMP, &ts, 16, 16, 0, 19), "2024-01-15 13:45:01");
    EXPECT_EQ(fmt(SQL_TYPE_TIMESTAMP, &ts, 16, 16, 0, 23), "2024-01-15 13:45:01.500000000");
    ts.fraction = 7;
    EXPECT_EQ(fmt(SQL_TIMESTAMP, &ts, 16, 16, 0, 26), "2024-01-15 13:45:01.000000007");
}

TEST_F(ValueFormat, UnknownAndUnsupportedTypesPrintOnlyAMessage) {
    auto b = text_buffer("abc", 4);
    EXPECT_EQ(fmt(kSqlTypeUnknown, b.data(), 3, 4), "");
    EXPECT_EQ(err_, "SQL: isql_print_value() Non-NULL value for data type = 0\n");
    EXPECT_EQ(fmt(SQL_GUID, b.data(), 3, 0), "");
    EXPECT_EQ(err_, "SQL: isql_print_value() Invalid data type = -11\n");
    EXPECT_EQ(fmt(SQL_INTERVAL_DAY, nullptr, 0, 0), "");
    EXPECT_EQ(err_, "SQL: isql_print_value() Invalid data type = 103\n");
}

// A self-describing value carries its type in the first 16 bits and the
// value from byte 8, and prints as that type.
TEST_F(ValueFormat, SelfDescribingValues) {
    std::vector<char> b(40, 0);
    auto put = [&](SQLSMALLINT type, const void* v, size_t n) {
        std::fill(b.begin(), b.end(), 0);
        std::memcpy(b.data(), &type, sizeof type);
        std::memcpy(b.data() + 8, v, n);
    };
    int32_t i = 42;
    put(SQL_INTEGER, &i, 4);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 12, 40), "42");
    put(SQL_VARCHAR, "hello", 6);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 14, 40), "hello");
    const char16_t wide[] = u"h\u00e9";
    put(SQL_WVARCHAR, wide, sizeof wide);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 14, 40), "hé") << "no print buffer: no bound";
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), SQL_NULL_DATA, 40), "NULL");
    put(SQL_GUID, "x", 1);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 9, 40), "");
    EXPECT_EQ(err_, "SQL: isql_print_value() Invalid data type = -11\n");
    put(kSqlTypeSelfDescribing, "x", 1);
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 9, 40), "");
    EXPECT_EQ(err_, "SQL: isql_print_value() Invalid data type = -12\n");
    EXPECT_EQ(fmt(kSqlTypeSelfDescribing, b.data(), 9, 6), "") << "buffer shorter than the header";
}

TEST_F(ValueFormat, PrintValueWritesThroughTheTraceMask) {
    StreamCapture results(gClientStateList.idleResFile);
    StreamCapture errors(gClientStateList.idleErrFile);
    int32_t i = 7;
    EXPECT_EQ(isql_print_value(SQL_INTEGER, &i, 4, 10, 4, nullptr, 0), 0);
    EXPECT_EQ(isql_print_value(SQL_GUID, &i, 4, 10, 0, nullptr, 0), 0);
    giTraceMask = 2;
    isql_print_value(SQL_INTEGER, &i, 4, 10, 4, nullptr, 0);
    giTraceMask = 15;
    EXPECT_EQ(results.text(), "7");
    EXPECT_EQ(errors.text(), "SQL: isql_print_value() Invalid data type = -11\n");
}

TEST(HexDump, ThirtyTwoBytesALine) {
    std::vector<unsigned char> bytes(33);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 8);
    std::string out;
    isql_format_hexdump(out, bytes.data(), 33, "UTF16");
    std::string want = "UTF16 \n";
    for (size_t i = 0; i < 32; ++i) {
        char item[8];
        std::snprintf(item, sizeof item, " %02X", bytes[i]);
        want += item;
    }
    want += "\n 00\n\n";
    EXPECT_EQ(out, want);

    out.clear();
    isql_format_hexdump(out, bytes.data(), 0, "Input ReadAs UTF8");
    EXPECT_EQ(out, "Input ReadAs UTF8 \n\n\n");
}

TEST(Utf16Copy, CopiesWithTerminatorAndDumpsInHexMode) {
    std::vector<zvutf16> copy;
    EXPECT_EQ(isql_util_wcstoutf16(nullptr, copy), 0);
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(isql_util_wcstoutf16(L"", copy), 1);
    EXPECT_EQ(copy, std::vector<zvutf16>{0});

    StreamCapture results(gClientStateList.idleResFile);
    gHexDisplay = 1;
    EXPECT_EQ(isql_util_wcstoutf16(L"A\u00e9", copy), 3);
    gHexDisplay = 0;
    EXPECT_EQ(copy, (std::vector<zvutf16>{0x41, 0xE9, 0}));
    EXPECT_EQ(results.text(), "UTF16 \n 41 00 E9 00 00 00\n\n");
}

}  // namespace
