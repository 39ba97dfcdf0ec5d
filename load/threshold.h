// Thresholds of a load run (--threshold): limits on its latencies, failure
// rate and throughput, checked against its report. Pure: no output.
//
//   [STATEMENT:]METRIC OP VALUE
//   METRIC  pN (a percentile, 0 < N <= 100, e.g. p99, p99.9), mean, max: a
//           latency, VALUE with a unit us, ms or s; fail-rate: the share of
//           executions that failed, VALUE in %; tps: complete passes per
//           second, sps: statement executions per second, VALUE a number
//   OP      <  <=  >  >=
//   STATEMENT  a statement text of the script as written (blanks and line
//           ends compared as one blank, no ";"): the threshold is about its
//           executions alone. Without it, latencies are those of whole passes
//           (those of all statements while passes are not timed).
#pragma once

#include <string>
#include <vector>

#include "report.h"

struct LoadThresholdRule {
    enum class Metric { Percentile, Mean, Max, FailRate, Tps, Sps };
    enum class Op { Less, LessEqual, Greater, GreaterEqual };
    std::string expression;  // as given
    std::string statement;   // one blank for each run of blanks; empty: the whole run
    Metric metric = Metric::Max;
    double percent = 0;      // Percentile
    Op op = Op::Less;
    double limit = 0;        // microseconds, a fraction (fail-rate) or per second
};

// Reads text into rule. False with a reason naming the part that is wrong.
bool parse_load_threshold(const std::string& text, LoadThresholdRule& rule, std::string& error);

// The statement of rule is one of texts (the script's statements). False
// with a reason when it names none.
bool load_threshold_names_known(const LoadThresholdRule& rule, const std::vector<std::string>& texts,
                                std::string& error);

// Sets report.thresholds to how report measures up to rules (report.seconds
// is the time that rates are of). With during set (a run under way), only
// the thresholds on latencies and the fail rate that have something measured
// are kept: rates are not yet known. True when every threshold kept passed.
bool evaluate_load_thresholds(const std::vector<LoadThresholdRule>& rules, LoadReport& report, bool during = false);

// The block of the text report that lists report.thresholds; empty without any.
std::string load_thresholds_text(const LoadReport& report);
