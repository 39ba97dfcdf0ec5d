// Result layouts without a database: CSV quoting, JSON strings and numbers,
// display widths, and what the aligned layout does past its sample rows.
// Values from real drivers in every format are in golden/formats, checked
// there with Python's csv and json parsers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isqlformat.h"
#include "unit_util.h"

using namespace std::literals;

TEST(ResultFormats, CsvFieldsAreQuotedOnlyWhenNeeded) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},       {"", "\"\""},           {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""}, {"a\nb", "\"a\nb\""}, {"a\rb", "\"a\rb\""},
        {"tab\there", "tab\there"}, {" pad ", " pad "},
    };
    for (const auto& c : cases) {
        std::string out;
        csv_append_field(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(ResultFormats, JsonStringsAreAlwaysValidUtf8) {
    LocaleGuard utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok);
    const struct {
        std::string in, out;
        bool utf8;
    } cases[] = {
        {"a\"b\\c", R"("a\"b\\c")", true},
        {"\n\r\t\b\f\x01\x1f\x7f", R"("\n\r\t\b\f\u0001\u001f)" "\x7f\"", true},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"", true},
        // A lone continuation byte, a cut sequence, an overlong form, a surrogate.
        {"a\x80z", "\"a\xef\xbf\xbdz\"", true},
        {"\xe2\x82", "\"\xef\xbf\xbd\xef\xbf\xbd\"", true},
        {"\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\"", true},
        {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"", true},
    };
    for (const auto& c : cases) {
        std::string out;
        json_append_string(out, c.in, c.utf8);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(ResultFormats, JsonStringsOfAnotherCodeSetAreDecodedByTheLocale) {
    LocaleGuard ascii("C");  // bytes past ASCII do not decode in "C"
    std::string out;
    json_append_string(out, "caf\xe9", false);
    EXPECT_EQ(out, "\"caf\xef\xbf\xbd\"");
}

TEST(ResultFormats, JsonNumbersFollowTheGrammar) {
    for (const char* yes : {"0", "-0", "12", "-12.5", "0.25", "1E+20", "1.5e-07", "9000000000"})
        EXPECT_TRUE(json_is_number(yes)) << yes;
    for (const char* no : {"", "-", "01", ".5", "5.", "1e", "+1", "INF", "-NAN", "1,5", "0x10", "1 "})
        EXPECT_FALSE(json_is_number(no)) << no;
}

TEST(ResultFormats, DisplayWidthCountsColumnsNotBytes) {
    LocaleGuard utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok);
    EXPECT_EQ(display_width("abc"), 3u);
    EXPECT_EQ(display_width("\xe6\xbc\xa2\xe5\xad\x97"), 4u);  // two wide ideographs
    EXPECT_EQ(display_width("e\xcc\x81"), 1u);                  // e + combining acute
    EXPECT_EQ(display_width("a\xff" "b"), 3u);                  // a stray byte counts one
}

TEST(ResultFormats, JsonRowsQuoteKeysOnceAndEscapeOnlyWhatNeedsIt) {
    RowFormatter f(OutputFormat::Json,
                   {{"id", true, true}, {"id", false}, {"id_2", false}, {"r", true}}, true);
    std::string out;
    f.value(out, "1", false);
    f.value(out, "a\x80\"z", false);  // written in place first, then taken back and escaped
    f.value(out, "", true);
    f.value(out, "INF", false);       // a float column's text that is no JSON number
    f.end_row(out);
    EXPECT_EQ(out, "{\"id\":1,\"id_3\":\"a\xef\xbf\xbd\\\"z\",\"id_2\":null,\"r\":\"INF\"}\n");
}

// Plain text is checked eight bytes at a time: a byte that needs escaping,
// or starts a multi-byte character, is found in every lane.
TEST(ResultFormats, JsonRowsFindTheByteToEscapeAnywhereInALongValue) {
    LocaleGuard utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok);
    for (const std::string special : {"\"", "\\", "\x01", "\x1f", "\x80", "\xc3\xa9"}) {
        for (size_t at = 0; at < 17; ++at) {
            std::string text(17, 'a');
            text.replace(at, 1, special);
            RowFormatter f(OutputFormat::Json, {{"t", false}}, true);
            std::string out, expected = "{\"t\":";
            f.value(out, text, false);
            f.end_row(out);
            json_append_string(expected, text, true);
            EXPECT_EQ(out, expected + "}\n") << "byte " << at;
        }
    }
}

TEST(ResultFormats, AlignedRowsAfterTheSampleKeepTheirWidths) {
    LocaleGuard utf8("C.UTF-8");
    ASSERT_TRUE(utf8.ok);
    RowFormatter f(OutputFormat::Aligned, {{"n", true}, {"name", false}, {"t", false}}, true);
    std::string out;
    for (size_t i = 0; i < RowFormatter::kAlignedSampleRows; ++i) {
        f.value(out, "7", false);
        f.value(out, "abcdef", false);
        f.value(out, "x", false);
        f.end_row(out);
    }
    const std::string head = " n | name   | t\n---+--------+---\n 7 | abcdef | x\n";
    ASSERT_EQ(out.substr(0, head.size()), head);
    out.clear();
    f.value(out, "1234", false);
    f.value(out, "a\tb", false);
    f.value(out, "last", false);
    f.end_row(out);
    f.finish(out);
    // Cut where wider, with a mark; the last column is never cut.
    EXPECT_EQ(out, " \xe2\x80\xa6 | a\\tb   | last\n");
}
