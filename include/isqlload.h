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

// ---- limits ----------------------------------------------------------------
constexpr long kMaxLoadJobs = 1000;               // --jobs
constexpr long kMaxLoadDurationSeconds = 7 * 24 * 3600;  // --duration
constexpr long long kMaxLoadRuns = 1000000000LL;  // --runs
// Statement texts a run keeps apart; the rest share one line of the report.
constexpr size_t kMaxLoadStatementTexts = 500;

// ---- latency histogram -------------------------------------------------------
// Latencies in microseconds, in log-linear buckets: below 256 one bucket per
// microsecond, above that each power of two split into 128 equal buckets, so
// a bucket's width is less than 1/128 (0.8%) of its lower edge. Values from
// 2^36 us (19 hours) on share the last bucket. Two histograms merge exactly
// by adding bucket counts, which is how reports of several machines combine.
class LatencyHistogram {
public:
    static constexpr int kSubBucketBits = 7;
    static constexpr uint64_t kSubBuckets = uint64_t{1} << kSubBucketBits;
    static constexpr int kMaxValueBits = 36;
    static constexpr size_t kBuckets = kSubBuckets * (kMaxValueBits - kSubBucketBits + 1);

    LatencyHistogram() : counts_(kBuckets, 0) {}

    // The bucket of value, and the lowest and highest value it holds.
    static size_t index_of(uint64_t micros);
    static uint64_t lowest(size_t index);
    static uint64_t highest(size_t index);

    void record(uint64_t micros) {
        ++counts_[index_of(micros)];
        ++count_;
        sum_ += micros;
        if (micros > max_) max_ = micros;
    }
    // Adds count values to bucket index, as read from a report; false for an
    // index outside the layout.
    bool add_bucket(size_t index, uint64_t count);
    void add(const LatencyHistogram& other);
    void clear();

    uint64_t count() const { return count_; }
    uint64_t sum() const { return sum_; }
    uint64_t max() const { return max_; }
    // Adds the sum and largest value of values whose buckets add_bucket took.
    void add_totals(uint64_t sum, uint64_t max) {
        sum_ += sum;
        if (max > max_) max_ = max;
    }
    uint64_t bucket(size_t index) const { return counts_[index]; }
    // The value at percent (0-100): the highest value of the bucket holding
    // the value of that rank, never above the largest value recorded. 0 when
    // empty.
    uint64_t percentile(double percent) const;

    bool operator==(const LatencyHistogram&) const = default;

private:
    std::vector<uint64_t> counts_;
    uint64_t count_ = 0;  // sum of the bucket counts
    uint64_t sum_ = 0;    // of the values, for the mean
    uint64_t max_ = 0;
};

// ---- report ---------------------------------------------------------------
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
    uint64_t passes = 0;          // complete passes of the script (transactions)
    double seconds = 0;           // from its first pass to its end
    std::string end;              // how it ended: "completed", "stopped", "connection lost", ...
};

struct LoadError {
    uint64_t count = 0;
    std::string message;  // the first one seen
};

struct LoadReport {
    long runs = 1;             // reports merged into this one
    double seconds = 0;        // wall time of the run (of the longest run when merged)
    std::string plan;          // "duration 30 s" or "runs 10", as asked
    std::vector<LoadJob> jobs;
    std::vector<LoadStatement> statements;  // in the order first met
    std::map<std::string, LoadError> errors;  // by SQLSTATE; "-" when there was none
    uint64_t connectFailures = 0;
    uint64_t connectionsLost = 0;

    // The statement entry of text, added when new (the shared last entry
    // once kMaxLoadStatementTexts are kept).
    LoadStatement& statement(const std::string& text);
    void add_error(const std::string& state, const std::string& message, uint64_t count);
    uint64_t total_statements() const;
    uint64_t total_failures() const;  // failed commands of every job
    uint64_t total_passes() const;
    // Adds other to this report: counts and buckets added, jobs appended,
    // the longer wall time kept.
    void merge(const LoadReport& other);
};

// The report as text for standard output, and as JSON (with the buckets).
std::string load_report_text(const LoadReport& report);
std::string load_report_json(const LoadReport& report);
// Reads a JSON report written by load_report_json. False with a reason.
bool load_report_from_json(const std::string& json, LoadReport& report, std::string& error);

// ---- substitution ---------------------------------------------------------
// Statement texts of a load script may hold ${WSQL_JOB} (the job number),
// ${WSQL_PASS} (the pass number) and ${WSQL_RANDOM(LOW,HIGH)} (a random
// integer from LOW to HIGH, new at every execution). The job number is put
// into the text, so a job's text stays the same and stays prepared. The pass
// number and random values outside quotes become "?" parameters bound at each
// execution; inside '...' or "..." they are put into the text as well.
struct LoadPiece {
    enum class Kind { Text, Job, Pass, Random };
    Kind kind = Kind::Text;
    std::wstring text;  // Kind::Text
    long long low = 0, high = 0;  // Kind::Random
    bool quoted = false;  // inside quotes: substituted as text
};

struct LoadTemplate {
    std::vector<LoadPiece> pieces;
    bool textVaries = false;  // a quoted pass number or random value
    size_t parameters = 0;    // "?" markers it adds
};

// Splits text into pieces. False with a reason for an unknown ${WSQL_...}
// name, a malformed one or one without its closing brace.
bool parse_load_template(const std::wstring& text, LoadTemplate& out, std::wstring& error);
// The statement text for job and pass, and the values of its parameters in
// order. text may be null when only the values are wanted.
void render_load_template(const LoadTemplate& tmpl, long job, long long pass, std::mt19937_64& rng,
                          std::wstring* text, std::vector<long long>& values);

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
