// The report of a load run: what each job and statement text measured, as
// text for standard output and as JSON that reports of several runs merge from.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "histogram.h"

// Statement texts a run keeps apart; the rest share one line of the report.
constexpr size_t kMaxLoadStatementTexts = 500;

// One statement text of the script: executions, failures, and the latencies
// of those that succeeded.
struct LoadStatement {
    std::string text;  // as written in the script, UTF-8
    uint64_t count = 0;
    uint64_t errors = 0;
    LatencyHistogram latency;
};

struct LoadJob {
    long number = 0;
    uint64_t statements = 0;
    uint64_t failedCommands = 0;  // statements and other commands
    uint64_t passes = 0;          // complete passes of the script
    double seconds = 0;           // from the first pass of any job of the run to its end
    std::string end;              // how it ended: "completed", "stopped", "connection lost", ...
    bool complete = true;         // false: it ended without its last counts (killed), which are lower bounds
};

struct LoadError {
    uint64_t count = 0;
    std::string message;  // the first one seen
};

// One interval of the run's clock (--interval): what was counted in it, as
// the jobs reported it. Intervals of merged runs add up by their index.
struct LoadInterval {
    double start = 0;    // seconds since the run's start
    double seconds = 0;  // its length
    uint64_t statements = 0, failures = 0, passes = 0;
    LatencyHistogram latency;  // of the statements that succeeded in it
};

// A threshold of the run (--threshold) and how the run measured up to it.
struct LoadThreshold {
    std::string expression;  // as given
    bool passed = true;
    std::string measured;    // the measured value with its unit, e.g. "12.345 ms"
};

struct LoadReport {
    long runs = 1;             // reports merged into this one
    // The identifiers of the runs (random, 32 hexadecimal digits), one per
    // run merged; reports written before they existed add none.
    std::vector<std::string> runIds;
    double seconds = 0;        // from its first pass to the end of its last job (of the longest run when merged)
    std::string plan;          // "duration 30 s" or "runs 10", as asked
    std::vector<LoadJob> jobs;
    std::vector<LoadStatement> statements;  // in the order first met
    std::map<std::string, LoadError> errors;  // by SQLSTATE; "-" when there was none
    uint64_t connectFailures = 0;
    uint64_t connectionsLost = 0;
    // Whole passes of the script: from the start of the first statement (its
    // scheduled start with --rate) to the end of the last.
    LatencyHistogram passLatency;
    // --rate: how late passes started against their schedule, how many were
    // later than --latency-limit, how many were skipped for it.
    LatencyHistogram lag;
    uint64_t latePasses = 0, skippedPasses = 0;
    double intervalSeconds = 0;  // --interval; 0: no series
    std::vector<LoadInterval> intervals;
    std::vector<LoadThreshold> thresholds;

    // The statement entry of text, added when new (the shared last entry
    // once kMaxLoadStatementTexts are kept).
    LoadStatement& statement(const std::string& text);
    // False when the count of the group would pass 2^64 - 1.
    bool add_error(const std::string& state, const std::string& message, uint64_t count);
    uint64_t total_statements() const;
    uint64_t total_failures() const;  // failed commands of every job
    uint64_t total_passes() const;
    // False when one of the totals above passes 2^64 - 1.
    bool totals_fit() const;
    // Adds other to this report: counts and buckets added, jobs and run
    // identifiers appended, the longer wall time kept. False when a count
    // would pass 2^64 - 1: this report is then of no use.
    bool merge(const LoadReport& other);
};

// text on one line: each run of blanks and line ends becomes one blank, none
// at either end.
std::string load_one_line(const std::string& text);

// A new run identifier: 128 random bits in hexadecimal.
std::string load_run_id();

// The report as text for standard output, and as JSON (with the buckets;
// bytes of the texts that are not UTF-8 become U+FFFD there).
std::string load_report_text(const LoadReport& report);
std::string load_report_json(const LoadReport& report);
// Reads a JSON report written by load_report_json. False with a reason.
bool load_report_from_json(const std::string& json, LoadReport& report, std::string& error);
