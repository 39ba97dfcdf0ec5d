// Load runs: the latency histogram, reports merged through their JSON form,
// and the ${WSQL_...} substitution.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "report.h"
#include "template.h"
#include "threshold.h"

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

// Buckets come with the values: a histogram that never held one, one emptied
// again and one of high values alone compare, merge and rank as if every
// bucket were there.
TEST(LatencyHistogram, BucketsMadeLateCompareAndMergeAsWhole) {
    LatencyHistogram fresh, emptied, high, sum;
    emptied.record(uint64_t{1} << 30);
    emptied.clear();
    EXPECT_TRUE(fresh == emptied);
    const uint64_t top = (uint64_t{1} << LatencyHistogram::kMaxValueBits) - 1;  // the last bucket's highest
    high.record(top);
    high.record(300);
    EXPECT_EQ(high.bucket(LatencyHistogram::kBuckets - 1), 1u);
    EXPECT_TRUE(sum.add(fresh));
    EXPECT_TRUE(sum == fresh);
    EXPECT_TRUE(sum.add(high));
    EXPECT_TRUE(sum == high);
    EXPECT_FALSE(sum == fresh);
    EXPECT_EQ(sum.percentile(50), 301u);  // the bucket of 300 holds 300 and 301
    EXPECT_EQ(sum.percentile(100), top);
    EXPECT_TRUE(fresh.add_bucket(LatencyHistogram::kBuckets - 1, 1));
    EXPECT_FALSE(fresh.add_bucket(LatencyHistogram::kBuckets, 1));
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
                    // Series of other lengths: the merge has the longer.
                    const size_t k = static_cast<size_t>(i) % (r == &a ? 3 : 5);
                    into->intervalSeconds = 2;
                    if (into->intervals.size() <= k) into->intervals.resize(k + 1);
                    into->intervals[k].start = 2.0 * static_cast<double>(k);
                    ++into->intervals[k].statements;
                    into->intervals[k].latency.record(v);
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
    ASSERT_EQ(merged.intervals.size(), 5u);
    for (size_t k = 0; k < all.intervals.size(); ++k) {
        EXPECT_EQ(merged.intervals[k].start, all.intervals[k].start);
        EXPECT_EQ(merged.intervals[k].statements, all.intervals[k].statements);
        EXPECT_TRUE(merged.intervals[k].latency == all.intervals[k].latency) << k;
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
    one.intervalSeconds = 1;
    one.intervals.push_back({0, 1, 1, 0, 1, s.latency});
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
             {"\"passes\": 1,\n     \"latency_count\": 1", "\"passes\": 1,\n     \"latency_count\": 2"},
             {"\"interval_seconds\": 1.000000", "\"interval_seconds\": 0"},
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
    // Intervals of other lengths do not add up.
    LoadReport other = one;
    other.intervalSeconds = 2;
    EXPECT_FALSE(LoadReport(one).merge(other));
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

// Each measure against a report whose values are known: of one statement
// (its text as written, blanks aside), or of the whole run, the latencies of
// passes when they are timed and of all statements while they are not.
TEST(LoadThreshold, MeasuresWhatItNames) {
    LoadReport r;
    r.seconds = 2;
    r.jobs.push_back({1, 110, 1, 10, 2, "completed"});
    LoadStatement& fast = r.statement("select  1");
    fast.count = 100;
    for (int i = 0; i < 100; ++i) fast.latency.record(i < 99 ? 100 : 5000);
    LoadStatement& slow = r.statement("update t\n set x = 1");
    slow.count = 10;
    slow.errors = 1;
    for (int i = 0; i < 9; ++i) slow.latency.record(20000);
    struct Case { const char* expression; bool passed; const char* measured; };
    const std::vector<Case> cases = {
        {"p50 <= 100us", true, "0.100 ms"},          {"p99<20ms", false, "20.000 ms"},
        {"select 1:p99<0.1ms", false, "0.100 ms"},   {"select 1:max<=5ms", true, "5.000 ms"},
        {"update t set x = 1:mean>19.9ms", true, "20.000 ms"},
        {"fail-rate<0.9%", false, "0.909 %"},        {"update t set x = 1:fail-rate<=10%", true, "10.000 %"},
        {"tps>=5", true, "5.0/s"},                   {"sps>55", false, "55.0/s"},
        {"select 1:sps>=50", true, "50.0/s"}};
    std::vector<LoadThresholdRule> rules;
    for (const Case& c : cases) {
        std::string why;
        ASSERT_TRUE(parse_load_threshold(c.expression, rules.emplace_back(), why)) << c.expression << ": " << why;
    }
    EXPECT_FALSE(evaluate_load_thresholds(rules, r));
    ASSERT_EQ(r.thresholds.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(r.thresholds[i].expression, cases[i].expression);
        EXPECT_EQ(r.thresholds[i].passed, cases[i].passed) << cases[i].expression;
        EXPECT_EQ(r.thresholds[i].measured, cases[i].measured) << cases[i].expression;
    }
    // While the run goes on, rates are not checked.
    EXPECT_TRUE(evaluate_load_thresholds({rules[0], rules[7], rules[8]}, r, true));
    EXPECT_EQ(r.thresholds.size(), 1u);
    r.passLatency.record(7000);
    EXPECT_TRUE(evaluate_load_thresholds({rules[1]}, r));
    EXPECT_EQ(r.thresholds[0].measured, "7.000 ms");
}

TEST(LoadThreshold, RefusesWhatItCannotRead) {
    LoadThresholdRule rule;
    std::string why;
    for (const char* bad : {"p99<20", "p99<20min", "p0<1ms", "p101<1ms", "p99=1ms", "q99<1ms", "fail-rate<0.1",
                            "tps>=5ms", ":p99<1ms", "select 1:tps>1", "p99<-1ms", "p99<ms", "p99<1e3us"}) {
        EXPECT_FALSE(parse_load_threshold(bad, rule, why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
    ASSERT_TRUE(parse_load_threshold("select\n 9:p99<1ms", rule, why));
    EXPECT_FALSE(load_threshold_names_known(rule, {"select 1", "select  99"}, why));
    EXPECT_EQ(why, "the script has no statement \"select 9\"");
    EXPECT_TRUE(load_threshold_names_known(rule, {"select 1", "select\t9"}, why));
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
                               L"${WSQL_RANDOM(a,b)}", L"${WSQL_RANDOM(1,99999999999999999999)}",
                               L"${WSQL_RANDOM(1,2,)}", L"${WSQL_RANDOM(1,2,a b)}", L"${WSQL_RANDOM(1,2,a,b)}"})
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

// The statements of one pass share a named value, quoted or bound; the next
// pass, or another job, draws it anew, while unnamed values stay per execution.
TEST(LoadTemplate, NamedRandomValuesHoldForOnePass) {
    LoadTemplate update, select;
    std::wstring why, text;
    ASSERT_TRUE(parse_load_template(
        L"update a set v = ${WSQL_RANDOM(1,1000000)} where id = ${WSQL_RANDOM(1,1000000, aid)}", update, why))
        << why;
    ASSERT_TRUE(
        parse_load_template(L"select '${WSQL_RANDOM(1,1000000,aid)}', ${WSQL_RANDOM(1,1000000,aid)}", select, why))
        << why;
    std::mt19937_64 rng(1);
    std::vector<long long> u, s;
    std::set<long long> ids, unnamed;
    for (const auto& [job, pass] : std::initializer_list<std::pair<long, long long>>{{1, 1}, {1, 2}, {2, 2}, {2, 3}}) {
        render_load_template(update, job, pass, rng, nullptr, u);
        render_load_template(select, job, pass, rng, &text, s);
        unnamed.insert(u.at(0));
        render_load_template(update, job, pass, rng, nullptr, u);
        unnamed.insert(u.at(0));
        EXPECT_EQ(s.at(0), u.at(1));
        EXPECT_EQ(text, L"select '" + std::to_wstring(u.at(1)) + L"', ?");
        ids.insert(u.at(1));
    }
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(unnamed.size(), 8u);
}

}  // namespace
