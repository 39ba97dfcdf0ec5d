// What the command line asks of a test run (wsql --test).
#pragma once

#include <string>
#include <vector>

constexpr int kMaxTestJobs = 64;
constexpr long kMaxTestTimeoutSeconds = 86400;
constexpr long kDefaultTestTimeoutSeconds = 300;
constexpr int kMaxShards = 10000;

// One data source the suite runs against: a DSN or a connect string.
struct TestSource {
    std::string dsn;      // --dsn
    std::string connect;  // --connect
    std::string label() const { return dsn.empty() ? "connect" : dsn; }
};

enum class RecordMode { Off, Missing, All };

struct TestOptions {
    std::vector<TestSource> sources;  // none: each file connects by itself
    std::string user;                 // --user, for every source
    std::vector<std::string> masks;   // --mask, regular expressions
    RecordMode record = RecordMode::Off;
    std::string diffDir;  // --diff-dir
    std::string junit;    // --junit
    int jobs = 1;
    int shardIndex = 1, shardCount = 1;  // --shard=I/N
    long timeoutSeconds = kDefaultTestTimeoutSeconds;
    std::vector<std::string> sessionArgs;  // session options passed to each wsql script's session
    std::vector<std::string> paths;        // files and folders
};

// Reads the command line of a test run into o. False with why when it asks
// what cannot be done.
bool test_parse_options(int argc, char** argv, TestOptions& o, std::string& why);

// The options of test runs, for --help=test.
const char* test_options_help();
