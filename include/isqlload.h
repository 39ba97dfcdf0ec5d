// Load runs: many jobs, each a session of its own on its own connection,
// running one script concurrently, and the report of what they measured.
//
// The parent process starts one child process per job (--jobs), reads their
// per-second figures from a pipe each, shows a progress line at a terminal
// and writes the report at the end. A job runs the script pass after pass
// (--runs or --duration) as an ordinary session would, except that SQL
// statements go through isql_load_exec: timed, kept prepared for the next
// pass, their rows fetched and dropped unless --job-output keeps them.
//
// The pure parts (histogram, report, JSON, substitution) are declared here
// too, for the unit tests.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "isql.h"
#include "../load/histogram.h"
#include "../load/report.h"
#include "../load/template.h"

// ---- limits ----------------------------------------------------------------
constexpr long kMaxLoadJobs = 1000;               // --jobs
constexpr long kMaxLoadDurationSeconds = 7 * 24 * 3600;  // --duration
constexpr long long kMaxLoadRuns = 1000000000LL;  // --runs

// ---- the run ----------------------------------------------------------------
// Load options of the command line, read by isql_parse_arg.
enum class LoadPrepare { Reuse, Always };
struct LoadRequest {
    long jobs = 0;                 // 0: no load run
    long durationSeconds = 0;      // --duration
    long long runs = 0;            // --runs
    LoadPrepare prepare = LoadPrepare::Reuse;
    std::string jobOutputDir;      // --job-output
    std::string reportFile;        // --report
    bool merge = false;            // --merge-reports
    std::vector<std::string> mergeFiles;
    std::string problem;           // the first option value refused
    bool asked = false;            // some load option was given
    bool scriptUnreadable = false;  // -c or -n named a file that did not open
};
extern LoadRequest gLoadRequest;

// Exit statuses of a load run and of --merge-reports.
constexpr int kExitLoadFailures = 1;   // some statement or connection failed
constexpr int kExitLoadNotStarted = 2;  // the run could not start

// Reads the value of one load option (name without "--"); a value refused is
// noted in gLoadRequest.problem. False for an option that is not a load option.
bool isql_load_option(const char* name, const char* value);
// True when a load run or a merge was asked for; main hands over to
// isql_load_main then, after the options and before ODBC is set up.
bool isql_load_requested();
// Runs the load run or the merge and returns the exit status.
int isql_load_main(ClientState* first);

// ---- inside a job -----------------------------------------------------------
// What the parent hands a job's process.
struct LoadJobPlan {
    long number = 0;
    const std::string* script = nullptr;  // the bytes of the script
    long long startMicros = 0;     // the run's start on the monotonic clock
    long long deadlineMicros = 0;  // --duration: when to stop; 0 with --runs
    long long runs = 0;            // --runs: passes to make
    int reportFd = -1;             // the pipe to the parent
};
// Runs the job in this (child) process and ends the process.
[[noreturn]] void isql_load_run_job(ClientState* first, const LoadJobPlan& plan);
// Microseconds of the monotonic clock (comparable between processes).
long long isql_load_now_micros();

// What a job's process knows of itself (session/load_job.cpp).
struct LoadJobSettings {
    bool active = false;       // this process is a job: statements go through isql_load_exec
    long number = 0;           // ${WSQL_JOB}, from 1
    long long pass = 0;        // ${WSQL_PASS}, from 1
    bool keepOutput = false;   // --job-output: results printed as a session prints them
    LoadPrepare prepare = LoadPrepare::Reuse;
    bool timed = true;         // latencies measured (off only for the benchmark)
    std::mt19937_64 random;    // ${WSQL_RANDOM(...)}
};
extern LoadJobSettings gLoadJob;
inline bool isql_load_active() { return gLoadJob.active; }

// The job's counters: the id of a statement text (as written, UTF-8), and
// one execution of it (latency of a success, or a failure with the first
// diagnostic record: SQLSTATE, empty when there was none, and message).
size_t isql_load_text_id(const std::string& text);
void isql_load_note_success(size_t id, uint64_t micros);
void isql_load_note_failure(size_t id, const std::string& state, const std::string& message);
// Takes the first diagnostic record written since the last call (SQLSTATE
// and message, UTF-8; both empty when none was).
void isql_load_take_diagnostic(std::string& state, std::string& message);
// Runs one statement of a job as isql_exec would (0 success, nonzero after
// its diagnostics), timed and counted, on the job's prepared handle for
// that text when it has one.
int isql_load_exec(SQLHDBC hdbc, const std::wstring& text);
// Frees the job's prepared handles; called before anything that may
// disconnect the shared connection, whose statements go with it.
void isql_load_forget_statements();
// Called by the dispatcher before each command of a job.
void isql_load_before_command(CmdKind kind);
