// sqllogictest files: records and their line ranges, values as the format
// prints them, result lines with sorting and hashing, and completed files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "slt.h"

namespace {

using Lines = std::vector<std::string>;
using Kind = SltRecord::Kind;

// What the runner reads from a record: kind, SQL without comment lines or
// CR, error patterns, types, sort, label, results, conditions by engine.
TEST(SltParse, RecordsAsTheRunnerReadsThem) {
    const std::string text =
        "# setup\nhash-threshold 8\n\n"
        "skipif sqlite # no such table\nonlyif PG\nstatement error  relation \"u\" .* exist \r\n"
        "# not part of the SQL\nINSERT INTO u\nVALUES (1)\n\n"
        "query IT rowsort lbl-1\nSELECT a, b\n----\n1 x \r\n2 y\n\n"
        "skipif mysql\nhalt\nquery R\nSELECT 1.5";
    SltFile f;
    std::string error;
    ASSERT_TRUE(slt_parse(text, f, error)) << error;
    ASSERT_EQ(f.records.size(), 5u);
    EXPECT_EQ(f.records[0].threshold, 8);

    const SltRecord& e = f.records[1];
    EXPECT_EQ(e.line, 6);
    EXPECT_TRUE(e.expectError);
    EXPECT_EQ(e.errorPattern, "relation \"u\" .* exist");
    EXPECT_EQ(e.sql, "INSERT INTO u\nVALUES (1)");
    EXPECT_TRUE(slt_applies(e, "pg"));
    EXPECT_FALSE(slt_applies(e, "SQLite"));  // skipped
    EXPECT_FALSE(slt_applies(e, "mysql"));   // not the onlyif engine

    const SltRecord& q = f.records[2];
    EXPECT_EQ(q.types, "IT");
    EXPECT_EQ(q.sort, SltSort::RowSort);
    EXPECT_EQ(q.label, "lbl-1");
    EXPECT_EQ(q.expected, (Lines{"1 x ", "2 y"}));

    // A one-line record ends at its line, so the next may follow directly.
    EXPECT_EQ(f.records[3].kind, Kind::Halt);
    EXPECT_FALSE(slt_applies(f.records[3], "MySQL"));
    EXPECT_EQ(f.records[4].line, 19);
    EXPECT_FALSE(f.records[4].hasSeparator);
}

TEST(SltParse, MalformedRecordsNameTheirLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"statement ok\nSELECT 1\n\nfrobnicate x\n", "line 4: unknown record 'frobnicate'"},
        {"\n\nquery\nSELECT 1\n", "line 3: query needs column types"},
        {"query IX\nSELECT 1\n", "line 1: column type 'X' is not I, T or R"},
        {"query I sorted\nSELECT 1\n", "line 1: unknown sort mode 'sorted'"},
        {"statement ok\n# only a comment\n\n", "line 1: statement without SQL"},
        {"hash-threshold 8x\n", "line 1: hash-threshold needs a non-negative integer"},
        {"query error\nSELECT 1\n----\n1\n", "line 3: query error with a result section"},
    };
    for (const auto& [text, want] : cases) {
        SltFile f;
        std::string error;
        EXPECT_FALSE(slt_parse(text, f, error)) << text;
        EXPECT_EQ(error, want) << text;
    }
}

TEST(SltValue, ConversionByColumnType) {
    const struct { char type; const char* in; const char* out; } cases[] = {
        {'I', "42", "42"},        {'I', " -7", "-7"},      {'I', "3.9", "3"},     {'I', "-3.9", "-3"},
        {'I', "-.5", "0"},        {'I', "1e3", "1000"},    {'I', "12abc", "12"},  {'I', "abc", "0"},
        {'I', "0x1A", "0"},       {'I', "inf", "0"},       {'R', "2", "2.000"},   {'R', "1.23456", "1.235"},
        {'R', " 2.5e1", "25.000"}, {'R', "-4.0", "-4.000"}, {'R', "x", "0.000"},  {'T', "a\tb\x7f\n", "a@b@@"},
        {'T', "caf\xc3\xa9", "caf\xc3\xa9"},
    };
    for (const auto& c : cases) EXPECT_EQ(slt_value(c.type, std::string(c.in)), c.out) << c.type << " " << c.in;
    for (const char type : {'I', 'R', 'T'}) {
        EXPECT_EQ(slt_value(type, std::nullopt), "NULL");
        EXPECT_EQ(slt_value(type, std::string()), "(empty)");
    }
}

TEST(SltResult, SortingLayoutAndHash) {
    const Lines v = {"2", "b", "10", "a", "9", "c"};
    EXPECT_EQ(slt_result_lines(SltSort::NoSort, v, 2, 0, true), (Lines{"2 b", "10 a", "9 c"}));
    // Byte order, not numeric: "10" sorts before "2".
    EXPECT_EQ(slt_result_lines(SltSort::RowSort, v, 2, 0, true), (Lines{"10 a", "2 b", "9 c"}));
    EXPECT_EQ(slt_result_lines(SltSort::RowSort, {"1", "b", "1", "a"}, 2, 0, false), (Lines{"1", "a", "1", "b"}));
    EXPECT_EQ(slt_result_lines(SltSort::ValueSort, v, 2, 0, false), (Lines{"10", "2", "9", "a", "b", "c"}));
    // Bytes above 0x7f sort after ASCII.
    EXPECT_EQ(slt_result_lines(SltSort::ValueSort, {"\xc3\xa9", "z"}, 1, 0, false), (Lines{"z", "\xc3\xa9"}));
    EXPECT_EQ(slt_result_lines(SltSort::NoSort, {"a", "b"}, 0, 0, true), (Lines{"a", "b"}));

    // md5("1\n2\n"): the hash is taken after sorting, and only above the threshold.
    EXPECT_EQ(slt_result_lines(SltSort::ValueSort, {"2", "1"}, 1, 1, false),
              (Lines{"2 values hashing to 6ddb4095eb719e2a9f0a3f95677d24e0"}));
    EXPECT_EQ(slt_result_lines(SltSort::RowSort, {"2", "1"}, 1, 2, false), (Lines{"1", "2"}));
    EXPECT_EQ(slt_md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(SltResult, RowLayoutFromExpectedLines) {
    EXPECT_TRUE(slt_row_layout({"1 a", "2 b c"}, 2));  // a text value may hold spaces
    EXPECT_FALSE(slt_row_layout({"1 a", "2"}, 2));
    EXPECT_FALSE(slt_row_layout({"1 a"}, 1));
    EXPECT_FALSE(slt_row_layout({"6 values hashing to 6ddb4095eb719e2a9f0a3f95677d24e0"}, 2));
    EXPECT_TRUE(slt_row_layout({"6 values hashing to nothing"}, 2));
}

TEST(SltComplete, ReplacesOrAddsResultSectionsOnly) {
    const std::string text =
        "statement ok\nCREATE TABLE t(a INT)\n\n"
        "query I nosort\nSELECT 1\n\n"
        "# keep me\nquery T rowsort\nSELECT a FROM t\n----\n5\n6\n\n"
        "query I\nSELECT 2\n----\n";
    SltFile f;
    std::string error;
    ASSERT_TRUE(slt_parse(text, f, error)) << error;
    EXPECT_EQ(slt_complete(f, {}), text);
    const std::string done = slt_complete(
        f, {{0, {"bad"}}, {1, {"1"}}, {2, {"a", "b", "c"}}, {3, {"2"}}, {99, {"bad"}}});
    EXPECT_EQ(done,
              "statement ok\nCREATE TABLE t(a INT)\n\n"
              "query I nosort\nSELECT 1\n----\n1\n\n"
              "# keep me\nquery T rowsort\nSELECT a FROM t\n----\na\nb\nc\n\n"
              "query I\nSELECT 2\n----\n2\n");
    // The completed text reads back with the new results in place.
    ASSERT_TRUE(slt_parse(done, f, error)) << error;
    EXPECT_EQ(f.records[1].expected, (Lines{"1"}));
    EXPECT_EQ(f.records[2].expected, (Lines{"a", "b", "c"}));
}

}  // namespace
