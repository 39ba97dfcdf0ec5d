// The test runner's reports: diffs that read like `diff -u` (the expected
// texts below are its output) and JUnit XML that holds any bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "diff.h"
#include "junit.h"
#include "masks.h"

namespace {

using Lines = std::vector<std::string>;

Lines seq(int from, int to) {
    Lines out;
    while (from <= to) out.push_back(std::to_string(from++));
    return out;
}

TEST(SplitLines, AFinalNewlineEndsALineAndStartsNone) {
    EXPECT_EQ(split_lines(""), Lines{});
    EXPECT_EQ(split_lines("\n"), Lines{""});
    EXPECT_EQ(split_lines("a\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(split_lines("a\r\nb\n"), (Lines{"a\r", "b"}));
}

TEST(UnifiedDiff, HunksAndRangesAreThoseOfDiffU) {
    const Lines twenty = seq(1, 20), thirty = seq(1, 30);
    Lines changed = twenty, three = thirty, prefixed = seq(0, 6);
    changed[9] = "ten", prefixed[0] = "new";
    three[4] = "five", three[11] = "twelve", three[24] = "x";  // 6 lines apart, then 12
    EXPECT_EQ(unified_diff(twenty, changed, "a", "b"),
              "--- a\n+++ b\n@@ -7,7 +7,7 @@\n 7\n 8\n 9\n-10\n+ten\n 11\n 12\n 13\n");
    EXPECT_EQ(unified_diff(thirty, three, "a", "b"),
              "--- a\n+++ b\n@@ -2,14 +2,14 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n 9\n 10\n 11\n-12\n+twelve\n"
              " 13\n 14\n 15\n@@ -22,7 +22,7 @@\n 22\n 23\n 24\n-25\n+x\n 26\n 27\n 28\n");
    EXPECT_EQ(unified_diff(seq(1, 6), prefixed, "a", "b"), "--- a\n+++ b\n@@ -1,3 +1,4 @@\n+new\n 1\n 2\n 3\n");
    EXPECT_EQ(unified_diff(seq(1, 6), seq(1, 5), "a", "b"), "--- a\n+++ b\n@@ -3,4 +3,3 @@\n 3\n 4\n 5\n-6\n");
    EXPECT_EQ(unified_diff({}, {"x"}, "a", "b"), "--- a\n+++ b\n@@ -0,0 +1 @@\n+x\n");
    EXPECT_EQ(unified_diff({"p", "q"}, {}, "a", "b"), "--- a\n+++ b\n@@ -1,2 +0,0 @@\n-p\n-q\n");
    // Of the places a change could be shown among equal lines, the same one.
    EXPECT_EQ(unified_diff({"", "2", ""}, {"2", "", ""}, "a", "b"), "--- a\n+++ b\n@@ -1,3 +1,3 @@\n-\n 2\n \n+\n");
    EXPECT_EQ(unified_diff(twenty, twenty, "a", "b"), "");
}

// Applies the diff to a, checking each hunk's header against its body and
// that hunks come in order, apart; counts the lines changed.
Lines patched(const Lines& a, const std::string& diff, size_t& edits) {
    const Lines d = split_lines(diff);
    Lines out;
    size_t i = 0;
    edits = 0;
    for (size_t k = 2; k < d.size();) {
        size_t first[2], count[2];
        const char* p = d[k].c_str() + 4;  // past "@@ -", then " +"
        for (int side = 0; side < 2; ++side, p += 2) {
            char* end;
            first[side] = std::strtoul(p, &end, 10);
            count[side] = *end == ',' ? std::strtoul(end + 1, &end, 10) : 1;
            first[side] -= count[side] != 0, p = end;
        }
        EXPECT_TRUE(i < first[0] || i == 0) << diff;
        while (i < first[0]) out.push_back(a.at(i++));
        EXPECT_EQ(out.size(), first[1]) << diff;
        for (++k; k < d.size() && d[k][0] != '@'; ++k) {
            edits += d[k][0] != ' ';
            if (d[k][0] != '+') {
                EXPECT_EQ(a.at(i++), d[k].substr(1));
                --count[0];
            }
            if (d[k][0] != '-') out.push_back(d[k].substr(1)), --count[1];
        }
        EXPECT_EQ(count[0] | count[1], 0u) << diff;
    }
    while (i < a.size()) out.push_back(a[i++]);
    return out;
}

// Few distinct lines make many equally short scripts: the hunks must still
// rebuild b and change no more lines than the longest common subsequence.
TEST(UnifiedDiff, RebuildsTheOtherSideWithTheFewestChanges) {
    std::mt19937 rng(11);
    auto some = [&rng] {
        Lines out(rng() % 25);
        for (std::string& s : out) s = std::string(rng() % 3, 'x');
        return out;
    };
    for (int round = 0; round < 400; ++round) {
        const Lines a = some(), b = some();
        std::vector<std::vector<size_t>> lcs(a.size() + 1, std::vector<size_t>(b.size() + 1));
        for (size_t i = 1; i <= a.size(); ++i)
            for (size_t j = 1; j <= b.size(); ++j)
                lcs[i][j] = a[i - 1] == b[j - 1] ? lcs[i - 1][j - 1] + 1 : std::max(lcs[i - 1][j], lcs[i][j - 1]);
        size_t edits = 0;
        ASSERT_EQ(patched(a, unified_diff(a, b, "a", "b", round % 4), edits), b);
        ASSERT_EQ(edits, a.size() + b.size() - 2 * lcs.back().back());
    }
}

// 200000 lines with three differences: a table of all line pairs would not
// fit in memory.
TEST(UnifiedDiff, LongOutputsWithFewDifferences) {
    const Lines a = seq(1, 200000);
    Lines b = a;
    b[10] = "changed", b.erase(b.begin() + 100000), b.push_back("added");
    size_t edits = 0;
    EXPECT_EQ(patched(a, unified_diff(a, b, "a", "b"), edits), b);
    EXPECT_EQ(edits, 4u);
}

TEST(JunitXml, CountsTimesAndOutcomes) {
    using O = JunitCase::Outcome;
    const std::string xml = junit_xml({{"pg", {{"a.sql", 1.25, O::Passed, "", ""},
                                               {"b.sql", 0.0004, O::Failed, "differs", "--- b.sql\n+x\n"},
                                               {"c.sql", -1, O::Skipped, "needs lite", ""}}},
                                       {"lite", {}}});
    EXPECT_EQ(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<testsuites tests=\"3\" failures=\"1\" skipped=\"1\">\n"
                   "<testsuite name=\"pg\" tests=\"3\" failures=\"1\" skipped=\"1\" time=\"1.250\">\n"
                   "<testcase classname=\"pg\" name=\"a.sql\" time=\"1.250\"/>\n"
                   "<testcase classname=\"pg\" name=\"b.sql\" time=\"0.000\">\n"
                   "<failure message=\"differs\">--- b.sql\n+x\n</failure>\n</testcase>\n"
                   "<testcase classname=\"pg\" name=\"c.sql\" time=\"0.000\">\n"
                   "<skipped message=\"needs lite\"/>\n</testcase>\n</testsuite>\n"
                   "<testsuite name=\"lite\" tests=\"0\" failures=\"0\" skipped=\"0\" time=\"0.000\">\n"
                   "</testsuite>\n</testsuites>\n");
}

// What a failure's message and details become: markup escaped, each byte
// that starts no character and each character XML cannot hold one U+FFFD.
TEST(JunitXml, AnyBytesBecomeWellFormedText) {
    auto written = [](const std::string& s, bool attribute) {
        const std::string xml = junit_xml({{"s", {{"n", 0, JunitCase::Outcome::Failed, s, s}}}});
        const size_t from = xml.find(attribute ? "message=\"" : "\">", xml.find("<failure")) + (attribute ? 9 : 2);
        return xml.substr(from, xml.find(attribute ? "\">" : "</failure>", from) - from);
    };
    const std::string bad = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"a&b<c>\"d'e]]>", "a&amp;b&lt;c&gt;&quot;d&apos;e]]&gt;"},
        {std::string("x\0\x01\x1F\x7Fy", 6), "x" + bad + bad + bad + "\x7Fy"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},  // é € 😀
        {"\xC0\xAF|\xED\xA0\x80|\xEF\xBF\xBE|\xE2\x82", bad + bad + "|" + bad + bad + bad + "|" + bad + "|" + bad + bad},
    };
    for (const auto& [in, out] : cases)
        for (bool attribute : {true, false}) EXPECT_EQ(written(in, attribute), out) << attribute;
    EXPECT_EQ(written("a\tb\r\nc", true), "a&#9;b&#13;&#10;c");
    EXPECT_EQ(written("a\tb\r\nc", false), "a\tb&#13;\nc");
}

// The figures that vary by nature become N, the rest of each line stays;
// a form cut short or without its figure is left as it is.
TEST(MaskOutput, TimesBecomeNAndOnlyThem) {
    const std::string in =
        "Elapsed time 12 ms.\nElapsed time: Prepare 0 ms.\t Execute -3 ms.\t Fetch results 7 ms.\n"
        "Time taken = 1.25 sec(s) Time taken = 4 sec(s)\n"
        "Rows selected = 1000. Fetch results 5 ms Elapased time 9 ms Reading more...\n"
        "Compiled on 10:11:12,Dec  8 2026\nElapsed time ms.\nRows selected = 3\nanswer 42";
    const std::string out =
        "Elapsed time N ms.\nElapsed time: Prepare N ms.\t Execute N ms.\t Fetch results N ms.\n"
        "Time taken = N sec(s) Time taken = N sec(s)\n"
        "Rows selected = 1000. Fetch results N ms Elapased time N ms Reading more...\n"
        "Compiled on DATE\nElapsed time ms.\nRows selected = 3\nanswer <masked>";
    EXPECT_EQ(mask_output(in, {std::regex("4[0-9]")}), out);
}

}  // namespace
