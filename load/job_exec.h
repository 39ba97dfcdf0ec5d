// A job's statements: ${WSQL_...} substituted, timed, counted, their rows
// fetched and dropped (or printed with --job-output), and kept prepared so
// that the same text met again is only executed again, as a client that
// prepares once and re-executes would do.
#pragma once

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "counters.h"
#include "isqlhandle.h"
#include "options.h"
#include "template.h"

// What a job knows of itself while it runs.
struct JobSettings {
    long number = 0;          // ${WSQL_JOB}, from 1
    long long pass = 0;       // ${WSQL_PASS}, from 1
    bool keepOutput = false;  // --job-output: results printed as a session prints them
    LoadPrepare prepare = LoadPrepare::Reuse;
    bool timed = true;        // latencies measured (off only for the benchmark)
    std::mt19937_64 random;   // ${WSQL_RANDOM(...)}
    // Set once the run is to end (a stopping signal): a statement it meets
    // under way is cancelled and counted as such.
    const std::atomic<bool>* stop = nullptr;
};

// The error group of the statements cancelled by the end of the run, apart
// from the SQLSTATEs that drivers report for a cancel.
constexpr const char kCancelledGroup[] = "cancelled";

class JobStatements {
public:
    JobStatements(JobSettings& settings, JobCounters& counters);
    ~JobStatements();

    // Runs one statement as isql_exec would (0 success, nonzero after its
    // diagnostics), timed and counted, on the prepared handle kept for its
    // text when there is one.
    int exec(SQLHDBC hdbc, const std::wstring& text);
    // Frees the prepared handles; called before anything that may
    // disconnect the shared connection, whose statements go with it.
    void forget();

    struct Prepared;  // a prepared handle and its bound parameters

private:
    struct Text {
        LoadTemplate tmpl;
        std::string fault;   // why its substitutions cannot be made; empty when they can
        size_t id = 0;       // of the job's counters
        std::wstring fixed;  // the text sent, when it does not vary
        std::unique_ptr<Prepared> prepared;  // for the fixed text
    };
    Text& text_entry(const std::wstring& text);
    void learn_driver(SQLHDBC hdbc);
    int execute(SQLHDBC hdbc, Prepared& p, long long started);
    int execute_and_read(SQLHDBC hdbc, Prepared& p, long long started);
    int discard_results(SQLHDBC hdbc, Prepared& p);
    std::unique_ptr<Prepared>* kept_handle(Text& t);

    JobSettings& settings_;  // its random numbers are drawn here
    JobCounters& counters_;
    std::unordered_map<std::wstring, Text> texts_;
    std::unordered_map<std::wstring, std::unique_ptr<Prepared>> varying_;
    std::vector<long long> values_;  // of the execution under way
    std::wstring rendered_;
    // What the driver of the connection allows, learnt at its first statement.
    bool driverKnown_ = false;
    bool reuse_ = true;        // prepared statements survive a commit or rollback
    bool moreResults_ = true;  // SQLMoreResults is there
    bool cancelled_ = false;   // the execution under way was cancelled by the end of the run
};
