// Thresholds of load runs: parsed, and checked against a report
// (declarations in threshold.h).
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "threshold.h"

namespace {
using Metric = LoadThresholdRule::Metric;
using Op = LoadThresholdRule::Op;

constexpr double kMicrosPerMs = 1000.0;
constexpr double kMicrosPerSecond = 1000000.0;

bool latency(Metric m) { return m == Metric::Percentile || m == Metric::Mean || m == Metric::Max; }

// A whole decimal number (no sign, no exponent) into out.
bool number(const std::string& text, double& out) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

// Reads the metric name into rule; false when there is no such metric.
bool read_metric(const std::string& name, LoadThresholdRule& rule) {
    if (name == "mean") rule.metric = Metric::Mean;
    else if (name == "max") rule.metric = Metric::Max;
    else if (name == "fail-rate") rule.metric = Metric::FailRate;
    else if (name == "tps") rule.metric = Metric::Tps;
    else if (name == "sps") rule.metric = Metric::Sps;
    else if (name.size() > 1 && name[0] == 'p' && number(name.substr(1), rule.percent) && rule.percent > 0 &&
             rule.percent <= 100)
        rule.metric = Metric::Percentile;
    else return false;
    return true;
}

// Reads the value with its unit into rule.limit; the reason when it does not
// suit the metric.
std::string read_limit(const std::string& value, LoadThresholdRule& rule) {
    const size_t digits = value.find_first_not_of("0123456789.");
    const std::string figure = value.substr(0, digits);
    const std::string unit = digits == std::string::npos ? "" : value.substr(digits);
    if (!number(figure, rule.limit)) return "\"" + value + "\" does not start with a number";
    if (latency(rule.metric)) {
        if (unit == "us") return "";
        if (unit == "ms") rule.limit *= kMicrosPerMs;
        else if (unit == "s") rule.limit *= kMicrosPerSecond;
        else return "a latency needs its unit us, ms or s, not \"" + unit + "\"";
    } else if (rule.metric == Metric::FailRate) {
        if (unit != "%") return "a fail-rate is given in %, as 0.1%";
        rule.limit /= 100;
    } else if (!unit.empty() && unit != "/s") {
        return "a rate is a number of executions per second, without a unit";
    }
    return "";
}

bool holds(double measured, Op op, double limit) {
    switch (op) {
    case Op::Less: return measured < limit;
    case Op::LessEqual: return measured <= limit;
    case Op::Greater: return measured > limit;
    case Op::GreaterEqual: return measured >= limit;
    }
    return false;
}

std::string shown(Metric m, double value) {
    char buf[64];
    if (latency(m)) std::snprintf(buf, sizeof buf, "%.3f ms", value / kMicrosPerMs);
    else if (m == Metric::FailRate) std::snprintf(buf, sizeof buf, "%.3f %%", value * 100);
    else std::snprintf(buf, sizeof buf, "%.1f/s", value);
    return buf;
}

// What rule is about in report: its latencies, executions and failures.
struct Measured {
    LatencyHistogram all;  // used when the latencies are of every statement
    const LatencyHistogram* latency = nullptr;
    uint64_t executions = 0, failures = 0;
};

Measured measured_of(const LoadThresholdRule& rule, const LoadReport& r) {
    Measured m;
    for (const LoadStatement& s : r.statements) {
        if (!rule.statement.empty() && load_one_line(s.text) != rule.statement) continue;
        m.executions += s.count;
        m.failures += s.errors;
        if (!rule.statement.empty()) m.latency = &s.latency;
        else if (r.passLatency.count() == 0) m.all.add(s.latency);
    }
    if (m.latency == nullptr) m.latency = rule.statement.empty() && r.passLatency.count() != 0 ? &r.passLatency : &m.all;
    return m;
}
}  // namespace

bool parse_load_threshold(const std::string& text, LoadThresholdRule& rule, std::string& error) {
    rule = LoadThresholdRule{};
    rule.expression = text;
    error.clear();
    const size_t colon = text.rfind(':');
    std::string condition = text;
    if (colon != std::string::npos) {
        rule.statement = load_one_line(text.substr(0, colon));
        condition = text.substr(colon + 1);
        if (rule.statement.empty()) error = "no statement before \":\"";
    }
    condition.erase(std::remove_if(condition.begin(), condition.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
               condition.end());
    const size_t at = condition.find_first_of("<>");
    if (error.empty() && at == std::string::npos) error = "no <, <=, > or >=";
    if (!error.empty()) return false;
    const bool orEqual = at + 1 < condition.size() && condition[at + 1] == '=';
    rule.op = condition[at] == '<' ? (orEqual ? Op::LessEqual : Op::Less) : (orEqual ? Op::GreaterEqual : Op::Greater);
    const std::string name = condition.substr(0, at);
    const std::string value = condition.substr(at + (orEqual ? 2 : 1));
    if (!read_metric(name, rule))
        error = "unknown measure \"" + name + "\" (pN, mean, max, fail-rate, tps or sps)";
    else if (rule.metric == Metric::Tps && !rule.statement.empty())
        error = "tps counts whole passes, not the executions of one statement (sps does)";
    else
        error = read_limit(value, rule);
    return error.empty();
}

bool load_threshold_names_known(const LoadThresholdRule& rule, const std::vector<std::string>& texts,
                                std::string& error) {
    if (rule.statement.empty()) return true;
    for (const std::string& t : texts)
        if (load_one_line(t) == rule.statement) return true;
    error = "the script has no statement \"" + rule.statement + "\"";
    return false;
}

bool evaluate_load_thresholds(const std::vector<LoadThresholdRule>& rules, LoadReport& report, bool during) {
    report.thresholds.clear();
    bool all = true;
    for (const LoadThresholdRule& rule : rules) {
        const Measured m = measured_of(rule, report);
        const bool rate = rule.metric == Metric::Tps || rule.metric == Metric::Sps;
        if (during && (rate || (latency(rule.metric) ? m.latency->count() : m.executions) == 0)) continue;
        double value = 0;
        switch (rule.metric) {
        case Metric::Percentile: value = static_cast<double>(m.latency->percentile(rule.percent)); break;
        case Metric::Mean:
            value = m.latency->count() == 0 ? 0 : static_cast<double>(m.latency->sum()) / m.latency->count();
            break;
        case Metric::Max: value = static_cast<double>(m.latency->max()); break;
        case Metric::FailRate:
            value = m.executions == 0 ? 0 : static_cast<double>(m.failures) / static_cast<double>(m.executions);
            break;
        case Metric::Tps: value = report.seconds > 0 ? report.total_passes() / report.seconds : 0; break;
        case Metric::Sps: value = report.seconds > 0 ? m.executions / report.seconds : 0; break;
        }
        LoadThreshold t{rule.expression, holds(value, rule.op, rule.limit), shown(rule.metric, value)};
        // Nothing measured proves nothing: a latency without any value fails.
        if (latency(rule.metric) && m.latency->count() == 0) t = {rule.expression, false, "no values"};
        all = all && t.passed;
        report.thresholds.push_back(std::move(t));
    }
    return all;
}

std::string load_thresholds_text(const LoadReport& report) {
    if (report.thresholds.empty()) return "";
    std::string out = "\nThresholds:\n";
    for (const LoadThreshold& t : report.thresholds)
        out += std::string(t.passed ? "passed  " : "FAILED  ") + t.expression + "  (measured " + t.measured + ")\n";
    return out;
}
