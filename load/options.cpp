// The load options of the command line, checked one by one.
#include <charconv>

#include "isqlnumber.h"
#include "options.h"

namespace {
// A decimal number from low to high, the whole text (no blank, no sign, no
// exponent, whatever the locale); false for anything else.
bool parse_real(const std::string& text, double low, double high, double& out) {
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, out, std::chars_format::fixed);
    return !text.empty() && text[0] != '-' && ec == std::errc() && at == end && out >= low && out <= high;
}

// --rate=R, or --rate=FROM:TO for a ramp (one of the two may be 0).
bool parse_rate(const std::string& text, LoadRequest& r) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        if (!parse_real(text, 0, kMaxLoadRate, r.rateFrom)) return false;
        r.rateTo = r.rateFrom;
    } else if (!parse_real(text.substr(0, colon), 0, kMaxLoadRate, r.rateFrom) ||
               !parse_real(text.substr(colon + 1), 0, kMaxLoadRate, r.rateTo)) {
        return false;
    }
    return r.rateFrom + r.rateTo > 0;
}

// Reads one load option (name without "--") into r.
void read_option(LoadRequest& r, const std::string& option, const std::string& value) {
    long long n = 0;
    std::string refused;
    if (option == "jobs") {
        if (isql_parse_count(value, kMaxLoadJobs, n)) r.jobs = static_cast<long>(n);
        else refused = "--jobs must be a number from 1 to " + std::to_string(kMaxLoadJobs);
    } else if (option == "duration") {
        if (isql_parse_count(value, kMaxLoadDurationSeconds, n)) r.durationSeconds = static_cast<long>(n);
        else refused = "--duration must be a number of seconds from 1 to " + std::to_string(kMaxLoadDurationSeconds);
    } else if (option == "runs") {
        if (isql_parse_count(value, kMaxLoadRuns, n)) r.runs = n;
        else refused = "--runs must be a number from 1 to " + std::to_string(kMaxLoadRuns);
    } else if (option == "prepare") {
        if (value == "always") r.prepare = LoadPrepare::Always;
        else if (value == "reuse") r.prepare = LoadPrepare::Reuse;
        else refused = "--prepare must be always or reuse";
    } else if (option == "job-output") {
        r.jobOutputDir = value;
        if (value.empty()) refused = "--job-output needs a folder name";
    } else if (option == "report") {
        const bool html = value.size() > 5 && value.compare(value.size() - 5, 5, ".html") == 0;
        (html ? r.htmlFile : r.reportFile) = value;
        if (value.empty()) refused = "--report needs a file name";
    } else if (option == "interval") {
        if (isql_parse_count(value, kMaxLoadIntervalSeconds, n)) r.intervalSeconds = static_cast<long>(n);
        else refused = "--interval must be a number of seconds from 1 to " + std::to_string(kMaxLoadIntervalSeconds);
    } else if (option == "interval-log") {
        r.intervalLog = value;
        if (value.empty()) refused = "--interval-log needs a file name";
    } else if (option == "threshold") {
        r.thresholds.push_back(value);  // parsed with the script, which it may name
    } else if (option == "abort-on-threshold") {
        r.abortOnThreshold = true;
    } else if (option == "metrics-file") {
        r.metricsFile = value;
        if (value.empty()) refused = "--metrics-file needs a file name";
    } else if (option == "rate") {
        if (!parse_rate(value, r))
            refused = "--rate must be a number of passes per second above 0 and at most " +
                      std::to_string(static_cast<long>(kMaxLoadRate)) + ", or FROM:TO for a ramp";
    } else if (option == "latency-limit") {
        if (!parse_real(value, 0, kMaxLoadDurationSeconds * 1000.0, r.latencyLimitMs) || r.latencyLimitMs <= 0)
            refused = "--latency-limit must be a number of milliseconds above 0";
    } else if (option == "progress") {
        if (isql_parse_count(value, kMaxLoadDurationSeconds, n)) r.progressSeconds = static_cast<long>(n);
        else refused = "--progress must be a number of seconds from 1 to " + std::to_string(kMaxLoadDurationSeconds);
    } else if (option == "merge-reports") {
        r.merge = true;
    } else if (option == "workload") {
        if (value == "tpcb-like") r.workload = LoadWorkload::TpcbLike;
        else if (value == "select-only") r.workload = LoadWorkload::SelectOnly;
        else refused = "--workload must be tpcb-like or select-only";
    } else if (option == "init") {
        r.init = true;
    } else if (option == "scale") {
        if (isql_parse_count(value, kMaxLoadScale, n)) r.scale = static_cast<long>(n);
        else refused = "--scale must be a number from 1 to " + std::to_string(kMaxLoadScale);
    }
    if (r.problem.empty()) r.problem = refused;
}
}  // namespace

LoadRequest load_request_of(const LoadArguments& args) {
    LoadRequest r;
    for (const auto& [name, value] : args.options) read_option(r, name, value);
    if (r.merge) r.mergeFiles = args.operands;
    bool scaled = false, others = false;
    for (const auto& option : args.options) {
        scaled = scaled || option.first == "scale";
        others = others || (option.first != "scale" && option.first != "init");
    }
    r.initAlone = r.init && !others;
    if (r.problem.empty() && scaled && !r.init && r.workload == LoadWorkload::None)
        r.problem = "--scale needs --init or --workload";
    if (r.problem.empty() && r.workload != LoadWorkload::None && r.jobs == 0) r.problem = "--workload needs --jobs";
    r.scriptUnreadable = args.scriptUnreadable;
    return r;
}
