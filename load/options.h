// The options of a load run, read from the command line's load arguments.
#pragma once

#include <string>
#include <vector>

#include "isqlload.h"

constexpr long kMaxLoadJobs = 1000;                      // --jobs
constexpr long kMaxLoadDurationSeconds = 7 * 24 * 3600;  // --duration
constexpr long long kMaxLoadRuns = 1000000000LL;         // --runs
constexpr long kMaxLoadIntervalSeconds = 24 * 3600;      // --interval
constexpr double kMaxLoadRate = 10000000;                // --rate, passes per second

// Exit statuses of a load run and of --merge-reports.
constexpr int kExitLoadFailures = 1;    // some statement or connection failed
constexpr int kExitLoadNotStarted = 2;  // the run could not start
constexpr int kExitLoadThreshold = 5;   // a --threshold was crossed (wins over kExitLoadFailures)
// Stopped early by signal N (SIGINT, SIGTERM, SIGHUP): 128 + N, as a shell
// tells a process that the signal ended, so a `timeout` around it fails.
constexpr int kExitLoadSignalBase = 128;

enum class LoadPrepare { Reuse, Always };

// --workload, --init and --scale: the built-in transactions and their tables (load/workload.h).
enum class LoadWorkload { None, TpcbLike, SelectOnly };
constexpr long kMaxLoadScale = 20000;  // 2,000,000,000 accounts: aid stays a 32-bit integer

struct LoadRequest {
    long jobs = 0;             // 0: no load run
    long durationSeconds = 0;  // --duration
    long long runs = 0;        // --runs
    LoadPrepare prepare = LoadPrepare::Reuse;
    std::string jobOutputDir;  // --job-output
    std::string reportFile;    // --report
    bool merge = false;        // --merge-reports
    std::vector<std::string> mergeFiles;
    // The report's series, its checks and its other forms.
    long intervalSeconds = 0;           // --interval; 0: none asked
    std::string intervalLog;            // --interval-log
    std::vector<std::string> thresholds;  // --threshold, as given
    bool abortOnThreshold = false;      // --abort-on-threshold
    std::string htmlFile;               // a --report ending in .html
    std::string metricsFile;            // --metrics-file
    // --rate: passes per second of the whole run at its start and at the end
    // of --duration (equal without a ramp); 0: the closed model.
    double rateFrom = 0, rateTo = 0;
    double latencyLimitMs = 0;  // --latency-limit; 0: none
    long progressSeconds = 0;   // --progress; 0: the line at a terminal only
    std::string problem;            // the first option value refused
    bool scriptUnreadable = false;  // -c or -n named a file that did not open
    LoadWorkload workload = LoadWorkload::None;
    bool init = false;       // --init
    bool initAlone = false;  // --init, with no load option but --scale: no run follows
    long scale = 1;          // --scale
};

// The request of args; a value refused is noted in problem.
LoadRequest load_request_of(const LoadArguments& args);
