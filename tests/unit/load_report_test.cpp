// Load runs: the latency histogram, reports merged through their JSON form,
// and the ${WSQL_...} substitution.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "report.h"
#include "template.h"

namespace {

TEST(LatencyHistogram, BucketsHoldTheirValuesWithinOnePercent) {
    size_t previous = 0;
    for (uint64_t v = 0; v < (uint64_t{1} << LatencyHistogram::kMaxValueBits); v = v * 9 / 8 + 1) {
        const size_t i = LatencyHistogram::index_of(v);
        ASSERT_LT(i, LatencyHistogram::kBuckets);
        ASSERT_GE(i, previous) << v;
        previous = i;
        ASSERT_LE(LatencyHistogram::lowest(i), v);
        ASSERT_GE(LatencyHistogram::highest(i), v);
        ASSERT_LE(LatencyHistogram::highest(i) - LatencyHistogram::lowest(i), v / 100) << v;
    }
    EXPECT_EQ(LatencyHistogram::index_of(UINT64_MAX), LatencyHistogram::kBuckets - 1);
}

// Reports of two runs, merged after a trip through JSON, equal the report of
// all their executions together: the same buckets, counts and errors.
TEST(LoadReport, MergeOfReportsIsTheReportOfTheUnion) {
    std::mt19937_64 rng(7);
    std::lognormal_distribution<double> latency(6.0, 1.5);
    LoadReport a, b, all;
    for (LoadReport* r : {&a, &b}) {
        r->plan = "runs 10";
        r->jobs.push_back({1, 0, 1, 10, 1.5, "completed"});
        for (const char* text : {"select 1", r == &a ? "update t set x = ?" : "select \"q\"\n\t2"}) {
            for (int i = 0; i < 5000; ++i) {
                const auto v = static_cast<uint64_t>(latency(rng));
                for (LoadReport* into : {r, &all}) {
                    LoadStatement& s = into->statement(text);
                    ++s.count;
                    s.latency.record(v);
                }
            }
        }
        std::vector<uint64_t> passes(300);
        for (uint64_t& v : passes) v = static_cast<uint64_t>(latency(rng)) * 3;
        for (LoadReport* into : {r, &all}) {
            into->add_error("23505", r == &a ? "first" : "second", 2);
            for (uint64_t v : passes) into->passLatency.record(v);
            into->lag.record(r == &a ? 70 : 123456);
            into->latePasses += 2, into->skippedPasses += r == &a ? 1 : 0;
        }
    }
    LoadReport merged, second;
    std::string why;
    ASSERT_TRUE(load_report_from_json(load_report_json(a), merged, why)) << why;
    ASSERT_TRUE(load_report_from_json(load_report_json(b), second, why)) << why;
    EXPECT_TRUE(merged.merge(second));
    ASSERT_EQ(merged.statements.size(), all.statements.size());
    for (size_t i = 0; i < all.statements.size(); ++i) {
        EXPECT_EQ(merged.statements[i].text, all.statements[i].text);
        EXPECT_EQ(merged.statements[i].count, all.statements[i].count);
        EXPECT_TRUE(merged.statements[i].latency == all.statements[i].latency) << all.statements[i].text;
    }
    EXPECT_TRUE(merged.passLatency == all.passLatency && merged.lag == all.lag);
    EXPECT_EQ(merged.latePasses, 4u);
    EXPECT_EQ(merged.skippedPasses, 1u);
    EXPECT_EQ(merged.errors.at("23505").count, 4u);
    EXPECT_EQ(merged.errors.at("23505").message, "first");
    EXPECT_EQ(merged.runs, 2);
    EXPECT_EQ(merged.total_passes(), 20u);
}

TEST(LoadReport, RefusesWhatItCannotMergeExactly) {
    LoadReport one, out;
    LoadStatement& s = one.statement("select 1");
    s.count = 1;
    s.latency.record(5);
    const std::string json = load_report_json(one);
    std::string why;
    for (const auto& [from, to] : std::initializer_list<std::pair<std::string, std::string>>{
             {"\"sub_bucket_bits\": 7", "\"sub_bucket_bits\": 8"},  // another layout
             {"[5, 1]", "[5, 2]"},                                   // counts that do not add up
             {"[5, 1]", "[99999, 1]"},                               // no such bucket
             {"\"count\": 1", "\"count\": -1"},
             {"\"elapsed_seconds\": 0.000000", "\"elapsed_seconds\": 1e999"},  // beyond a double
             // nested deeper than a report
             {"\"runs\"", "\"deep\": " + std::string(17, '[') + std::string(17, ']') + ", \"runs\""},
             {"}\n", ""}}) {                                         // not JSON
        std::string bad = json;
        bad.replace(bad.find(from), from.size(), to);
        EXPECT_FALSE(load_report_from_json(bad, out, why)) << from;
        EXPECT_FALSE(why.empty());
    }
    // Counts that would wrap at 2^64 are refused, not merged into small ones.
    LoadReport half;
    half.add_error("HY000", "first", uint64_t{1} << 63);
    EXPECT_FALSE(LoadReport(half).merge(half));
}

// Merged reports stay valid UTF-8 JSON: an escaped surrogate pair is read as
// the one character it stands for, and bytes that are no UTF-8 are written as
// U+FFFD rather than passed on to readers that refuse them.
TEST(LoadReport, TextsStayValidUtf8ThroughJson) {
    LoadReport one;
    one.statement("select 'X'").count = 1;
    one.statement("select '\xED\xA0\xBD\xE2\x82'").count = 1;  // a lone surrogate, a cut character
    std::string json = load_report_json(one);
    json.replace(json.find('X'), 1, "\\uD83D\\uDE00");
    LoadReport read, merged;
    std::string why;
    ASSERT_TRUE(load_report_from_json(json, read, why)) << why;
    merged.merge(read);
    const nlohmann::json back = nlohmann::json::parse(load_report_json(merged), nullptr, false);
    ASSERT_FALSE(back.is_discarded());  // nlohmann refuses strings that are no UTF-8
    EXPECT_EQ(back.at("per_statement").at(0).at("text"), "select '\xF0\x9F\x98\x80'");  // U+1F600
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(back.at("per_statement").at(1).at("text"), "select '" + fffd + fffd + fffd + fffd + fffd + "'");
}

// A merged plan grows with each run; the text carries it whole.
TEST(LoadReport, TextHoldsTheWholePlanOfManyRuns) {
    LoadReport merged, run;
    merged.plan = "runs 1";
    for (int i = 2; i <= 100; ++i) run.plan = "runs " + std::to_string(i), merged.merge(run);
    EXPECT_NE(load_report_text(merged).find("; runs 99; runs 100\n"), std::string::npos);
}

TEST(LoadTemplate, SubstitutesJobAsTextAndTheRestAsParameters) {
    struct Case { const wchar_t* in; const wchar_t* out; size_t parameters; bool varies; };
    for (const Case& c : std::initializer_list<Case>{
             {L"select 1", L"select 1", 0, false},
             {L"insert into t_${WSQL_JOB} values (${WSQL_PASS}, ${WSQL_RANDOM(5,5)})",
              L"insert into t_7 values (?, ?)", 2, false},
             {L"select '${WSQL_JOB}:${WSQL_PASS}', \"c${WSQL_RANDOM( -3 , -3 )}\", ${WSQL_PASS}",
              L"select '7:3', \"c-3\", ?", 1, true},
             {L"select 'it''s ${WSQL_PASS}', ${WSQL_PASS}", L"select 'it''s 3', ?", 1, true},
             {L"select '${NOT_OURS}'", L"select '${NOT_OURS}'", 0, false}}) {
        LoadTemplate t;
        std::wstring why, text;
        ASSERT_TRUE(parse_load_template(c.in, t, why)) << why;
        std::mt19937_64 rng;
        std::vector<long long> values;
        render_load_template(t, 7, 3, rng, &text, values);
        EXPECT_EQ(text, c.out);
        EXPECT_EQ(values.size(), c.parameters);
        EXPECT_EQ(t.parameters, c.parameters);
        EXPECT_EQ(t.textVaries, c.varies);
    }
    LoadTemplate t;
    std::wstring why;
    for (const wchar_t* bad : {L"${WSQL_JOBS}", L"${WSQL_PASS", L"${WSQL_RANDOM(2,1)}", L"${WSQL_RANDOM(1)}",
                               L"${WSQL_RANDOM(a,b)}", L"${WSQL_RANDOM(1,99999999999999999999)}"})
        EXPECT_FALSE(parse_load_template(bad, t, why)) << bad;
}

// Percentile ranks are checked end to end (golden/load/latencies); random
// values are not, so their range is checked here.
TEST(LoadTemplate, RandomValuesStayInTheirRange) {
    LoadTemplate t;
    std::wstring why;
    ASSERT_TRUE(parse_load_template(L"${WSQL_RANDOM(1,3)}", t, why));
    std::mt19937_64 rng(1);
    std::vector<long long> values;
    std::set<long long> seen;
    for (int i = 0; i < 300; ++i) {
        render_load_template(t, 1, 1, rng, nullptr, values);
        seen.insert(values.at(0));
    }
    EXPECT_EQ(seen, (std::set<long long>{1, 2, 3}));
}

}  // namespace
