// What a job counts between two reports to its parent: executions and
// latencies per statement text, failures per SQLSTATE, failed commands and
// complete passes with their latencies and, under --rate, their lag.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "histogram.h"

class JobCounters {
public:
    // The id of a statement text (as written, UTF-8), new at each call.
    size_t text_id(const std::string& text);
    // One execution of statement id: the latency of a success, or a failure
    // with its first diagnostic record (SQLSTATE, empty when there was none,
    // and message).
    void note_success(size_t id, uint64_t micros);
    void note_failure(size_t id, const std::string& state, const std::string& message);
    void note_failed_command() { ++failedCommands_; }
    // A complete pass of micros (from its start, or its scheduled start
    // under --rate); late when it took longer than --latency-limit.
    void note_pass(uint64_t micros, bool late) {
        ++passes_;
        passLatency_.record(micros);
        if (late) ++late_;
    }
    // --rate: a pass began micros after its scheduled start.
    void note_lag(uint64_t micros) { lag_.record(micros); }
    // --rate with --latency-limit: a pass skipped, already too late to start.
    void note_skipped() { ++skipped_; }
    // A failure said the connection is gone (SQLSTATE class 08).
    bool lost() const { return lost_; }

    // The first diagnostic record seen since the last take, kept by the
    // observer of the diagnostics; both empty when none was.
    void keep_diagnostic(const std::string& state, const std::string& message);
    void take_diagnostic(std::string& state, std::string& message);

    // The lines for the parent of what was counted since the last call.
    std::string take_report();

private:
    struct Counter {
        bool announced = false;
        std::string text;
        uint64_t count = 0, errors = 0;
        LatencyHistogram latency;  // since the last report
    };
    struct FailureGroup {
        uint64_t count = 0;
        std::string message;
    };
    std::vector<Counter> statements_;
    std::map<std::string, FailureGroup> failures_;  // by SQLSTATE, since the last report
    uint64_t failedCommands_ = 0, passes_ = 0;     // since the last report
    uint64_t late_ = 0, skipped_ = 0;
    LatencyHistogram passLatency_, lag_;
    bool lost_ = false;
    bool haveDiagnostic_ = false;
    std::string diagState_, diagMessage_;
};
