// The load options of the command line, checked one by one.
#include "isqlnumber.h"
#include "options.h"

namespace {
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
        r.reportFile = value;
        if (value.empty()) refused = "--report needs a file name";
    } else if (option == "merge-reports") {
        r.merge = true;
    }
    if (r.problem.empty()) r.problem = refused;
}
}  // namespace

LoadRequest load_request_of(const LoadArguments& args) {
    LoadRequest r;
    for (const auto& [name, value] : args.options) read_option(r, name, value);
    if (r.merge) r.mergeFiles = args.operands;
    r.scriptUnreadable = args.scriptUnreadable;
    return r;
}
