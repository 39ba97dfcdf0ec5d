// Result layouts without a database: CSV quoting, JSON strings and numbers,
// display widths, and what the aligned layout does past its sample rows.
// Values from real drivers in every format are in golden/formats, checked
// there with Python's csv and json parsers.

#include <tuple>
#include <utility>
#include <vector>

#include "isqlformat.h"
#include "unit_util.h"

using namespace std::literals;

TEST(ResultFormats, CsvFieldsAreQuotedOnlyWhenNeeded) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"}, {"", "\"\""}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"a\nb", "\"a\nb\""}, {"a\rb", "\"a\rb\""}, {"tab\there", "tab\there"}, {" pad ", " pad "}};
    for (const auto& [in, want] : cases) {
        std::string out;
        csv_append_field(out, in);
        EXPECT_EQ(out, want) << in;
    }
    // Each byte in each place of a longer field, against the plain test.
    for (int b = 1; b < 256; ++b)
        for (size_t at = 0; at < 19; ++at) {
            std::string in(19, '\xFF');
            in[at] = static_cast<char>(b);
            EXPECT_EQ(csv_needs_quotes(in), b == ',' || b == '"' || b == '\n' || b == '\r') << b << " at " << at;
        }
}

// Text in UTF-8 is checked as such; text of another code set (utf8 false) is
// decoded by the locale. Either way the JSON is valid UTF-8.
TEST(ResultFormats, JsonStringsAreAlwaysValidUtf8) {
    LocaleGuard utf8("C.UTF-8");
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"a\"b\\c", R"("a\"b\\c")", true},
        {"\n\r\t\b\f\x01\x1f\x7f", R"("\n\r\t\b\f\u0001\u001f)" "\x7f\"", true},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"", true},
        // A lone continuation byte, a cut sequence, an overlong form, a surrogate.
        {"a\x80z", "\"a\xef\xbf\xbdz\"", true}, {"\xe2\x82", "\"\xef\xbf\xbd\xef\xbf\xbd\"", true},
        {"\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\"", true},
        {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"", true},
        {"caf\xe9", "\"caf\xef\xbf\xbd\"", false}, {"\xc3\xa9\xe2\x82\xac", "\"\xc3\xa9\xe2\x82\xac\"", false}};
    for (const auto& [in, want, isUtf8] : cases) {
        std::string out;
        json_append_string(out, in, isUtf8);
        EXPECT_EQ(out, want) << in << " " << isUtf8;
    }
}

TEST(ResultFormats, JsonNumbersFollowTheGrammar) {
    for (const char* yes : {"0", "-0", "12", "-12.5", "0.25", "1E+20", "1.5e-07", "9000000000"})
        EXPECT_TRUE(json_is_number(yes)) << yes;
    for (const char* no : {"", "-", "01", ".5", "5.", "1e", "+1", "INF", "-NAN", "1,5", "0x10", "1 "})
        EXPECT_FALSE(json_is_number(no)) << no;
}

// (Plain and accented text shows in the aligned layout of formats/each_format.)
TEST(ResultFormats, DisplayWidthCountsColumnsNotBytes) {
    LocaleGuard utf8("C.UTF-8");
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
    RowFormatter f(OutputFormat::Aligned, {{"n", true}, {"name", false}, {"t", false}}, true);
    std::string out;
    const auto row = [&](std::initializer_list<const char*> values) {
        for (const char* v : values) f.value(out, v, false);
        f.end_row(out);
    };
    for (size_t i = 0; i < RowFormatter::kAlignedSampleRows; ++i) row({"7", "abcdef", "x"});
    const std::string head = " n | name   | t\n---+--------+---\n 7 | abcdef | x\n";
    ASSERT_EQ(out.substr(0, head.size()), head);
    out.clear();
    row({"1234", "a\tb", "last"});
    f.finish(out);
    // Cut where wider, with a mark; the last column is never cut.
    EXPECT_EQ(out, " \xe2\x80\xa6 | a\\tb   | last\n");
}
