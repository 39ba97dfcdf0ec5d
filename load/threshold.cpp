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
using Metric = LoadThresholdSpec::Metric;
using Op = LoadThresholdSpec::Op;

constexpr double kMicrosPerMs = 1000.0;
constexpr double kMicrosPerSecond = 1000000.0;

bool latency(Metric m) { return m == Metric::Percentile || m == Metric::Mean || m == Metric::Max; }

// A whole decimal number (no sign, no exponent) into out.
bool number(const std::string& text, double& out) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

// Reads the metric name into spec; false when there is no such metric.
bool read_metric(const std::string& name, LoadThresholdSpec& spec) {
    if (name == "mean") spec.metric = Metric::Mean;
    else if (name == "max") spec.metric = Metric::Max;
    else if (name == "fail-rate") spec.metric = Metric::FailRate;
    else if (name == "tps") spec.metric = Metric::Tps;
    else if (name == "sps") spec.metric = Metric::Sps;
    else if (name.size() > 1 && name[0] == 'p' && number(name.substr(1), spec.percent) && spec.percent > 0 &&
             spec.percent <= 100)
        spec.metric = Metric::Percentile;
    else return false;
    return true;
}

// Reads the value with its unit into spec.limit; the reason when it does not
// suit the metric.
std::string read_limit(const std::string& value, LoadThresholdSpec& spec) {
    const size_t digits = value.find_first_not_of("0123456789.");
    const std::string figure = value.substr(0, digits);
    const std::string unit = digits == std::string::npos ? "" : value.substr(digits);
    if (!number(figure, spec.limit)) return "\"" + value + "\" does not start with a number";
    if (latency(spec.metric)) {
        if (unit == "us") return "";
        if (unit == "ms") spec.limit *= kMicrosPerMs;
        else if (unit == "s") spec.limit *= kMicrosPerSecond;
        else return "a latency needs its unit us, ms or s, not \"" + unit + "\"";
    } else if (spec.metric == Metric::FailRate) {
        if (unit != "%") return "a fail-rate is given in %, as 0.1%";
        spec.limit /= 100;
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

// What spec is about in report: its latencies, executions and failures.
struct Measured {
    LatencyHistogram all;  // used when the latencies are of every statement
    const LatencyHistogram* latency = nullptr;
    uint64_t executions = 0, failures = 0;
};

Measured measured_of(const LoadThresholdSpec& spec, const LoadReport& r) {
    Measured m;
    for (const LoadStatement& s : r.statements) {
        if (!spec.statement.empty() && load_one_line(s.text) != spec.statement) continue;
        m.executions += s.count;
        m.failures += s.errors;
        if (!spec.statement.empty()) m.latency = &s.latency;
        else if (r.passLatency.count() == 0) m.all.add(s.latency);
    }
    if (m.latency == nullptr) m.latency = spec.statement.empty() && r.passLatency.count() != 0 ? &r.passLatency : &m.all;
    return m;
}
}  // namespace

bool parse_load_threshold(const std::string& text, LoadThresholdSpec& spec, std::string& error) {
    spec = LoadThresholdSpec{};
    spec.expression = text;
    error.clear();
    const size_t colon = text.rfind(':');
    std::string rule = text;
    if (colon != std::string::npos) {
        spec.statement = load_one_line(text.substr(0, colon));
        rule = text.substr(colon + 1);
        if (spec.statement.empty()) error = "no statement before \":\"";
    }
    rule.erase(std::remove_if(rule.begin(), rule.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
               rule.end());
    const size_t at = rule.find_first_of("<>");
    if (error.empty() && at == std::string::npos) error = "no <, <=, > or >=";
    if (!error.empty()) return false;
    const bool orEqual = at + 1 < rule.size() && rule[at + 1] == '=';
    spec.op = rule[at] == '<' ? (orEqual ? Op::LessEqual : Op::Less) : (orEqual ? Op::GreaterEqual : Op::Greater);
    const std::string name = rule.substr(0, at);
    const std::string value = rule.substr(at + (orEqual ? 2 : 1));
    if (!read_metric(name, spec))
        error = "unknown measure \"" + name + "\" (pN, mean, max, fail-rate, tps or sps)";
    else if (spec.metric == Metric::Tps && !spec.statement.empty())
        error = "tps counts whole passes, not the executions of one statement (sps does)";
    else
        error = read_limit(value, spec);
    return error.empty();
}

bool load_threshold_names_known(const LoadThresholdSpec& spec, const std::vector<std::string>& texts,
                                std::string& error) {
    if (spec.statement.empty()) return true;
    for (const std::string& t : texts)
        if (load_one_line(t) == spec.statement) return true;
    error = "the script has no statement \"" + spec.statement + "\"";
    return false;
}

bool evaluate_load_thresholds(const std::vector<LoadThresholdSpec>& specs, LoadReport& report, bool during) {
    report.thresholds.clear();
    bool all = true;
    for (const LoadThresholdSpec& spec : specs) {
        const Measured m = measured_of(spec, report);
        const bool rate = spec.metric == Metric::Tps || spec.metric == Metric::Sps;
        if (during && (rate || (latency(spec.metric) ? m.latency->count() : m.executions) == 0)) continue;
        double value = 0;
        switch (spec.metric) {
        case Metric::Percentile: value = static_cast<double>(m.latency->percentile(spec.percent)); break;
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
        LoadThreshold t{spec.expression, holds(value, spec.op, spec.limit), shown(spec.metric, value)};
        // Nothing measured proves nothing: a latency without any value fails.
        if (latency(spec.metric) && m.latency->count() == 0) t = {spec.expression, false, "no values"};
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
