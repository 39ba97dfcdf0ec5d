// One job of a load run, in a process of its own: a session on its own
// connection running the script pass after pass, its counters sent to the
// parent through a pipe about once a second and at its end.
#pragma once

#include <string>
#include <vector>

#include "isql.h"
#include "options.h"

// What the parent hands a job's process.
struct LoadJobPlan {
    long number = 0;
    const std::string* script = nullptr;  // the bytes of the script
    long long startMicros = 0;     // the run's start on the monotonic clock
    long long deadlineMicros = 0;  // --duration: when to stop; 0 with --runs
    long long runs = 0;            // --runs: passes to make
    int reportFd = -1;             // the pipe to the parent
    LoadPrepare prepare = LoadPrepare::Reuse;
    std::string jobOutputDir;      // --job-output; empty: the output is dropped
    // --rate: this job's passes per second at the run's start and at its
    // deadline (equal without a ramp); both 0: passes back to back.
    double rateFrom = 0, rateTo = 0;
    long long latencyLimitMicros = 0;  // --latency-limit; 0: none
    // --rate: the pipe whose end (the parent closes it once every job is
    // ready) starts the schedules of all jobs at once; -1 without.
    int startFd = -1;
};

// Reads the script as a job reads it, before any job starts, so that a
// mistake that would fail every pass stops the run at once: false (said,
// with the line) for a script without any command, a statement whose
// ${WSQL_...} cannot be substituted or that lacks its closing ";", or a
// line that cannot be decoded. texts, when given, gets the statement texts
// as the jobs report them.
bool load_check_script(const ClientState& first, const std::string& script,
                       std::vector<std::string>* texts = nullptr);

// Runs the job in this (child) process and ends the process.
[[noreturn]] void load_run_job(ClientState* first, const LoadJobPlan& plan);
