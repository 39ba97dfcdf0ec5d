// The command line of a test run: the runner's own options, the session
// options passed on to each script's session, and the paths.
#include <cstring>
#include <regex>

#include "isqlnumber.h"
#include "isqlsecret.h"
#include "options.h"

namespace {
bool parse_shard(const std::string& text, TestOptions& o) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    long long i = 0, n = 0;
    if (!isql_parse_count(text.substr(0, slash), kMaxShards, i) || !isql_parse_count(text.substr(slash + 1), kMaxShards, n) ||
        i > n)
        return false;
    o.shardIndex = static_cast<int>(i);
    o.shardCount = static_cast<int>(n);
    return true;
}

// Session options that take a value in the next argument when it is not
// joined to them.
bool takes_value(char option) { return std::strchr("mxuobp", option) != nullptr; }

// Reads one of the runner's own long options; false with why when its
// value is wrong. Empty why and false: not one of them.
bool runner_option(const std::string& name, const std::string& value, bool hasValue, TestOptions& o,
                   std::string& why, bool& known) {
    known = true;
    long long n = 0;
    if (name == "test") return true;
    if (name == "dsn") {
        if (value.empty()) why = "--dsn needs a data source name";
        else o.sources.push_back({value, ""});
    } else if (name == "connect") {
        if (value.empty()) why = "--connect needs a connect string";
        else o.sources.push_back({"", value});
    } else if (name == "user") {
        o.user = value;
    } else if (name == "mask") {
        try {
            std::regex check(value);
            o.masks.push_back(value);
        } catch (const std::regex_error&) {
            why = "--mask is not a valid regular expression: " + value;
        }
    } else if (name == "record") {
        if (!hasValue || value == "missing") o.record = RecordMode::Missing;
        else if (value == "all") o.record = RecordMode::All;
        else why = "--record takes no value, or all";
    } else if (name == "diff-dir") {
        if (value.empty()) why = "--diff-dir needs a folder name";
        else o.diffDir = value;
    } else if (name == "junit") {
        if (value.empty()) why = "--junit needs a file name";
        else o.junit = value;
    } else if (name == "jobs") {
        if (isql_parse_count(value, kMaxTestJobs, n)) o.jobs = static_cast<int>(n);
        else why = "--jobs must be a number from 1 to " + std::to_string(kMaxTestJobs);
    } else if (name == "shard") {
        if (!parse_shard(value, o)) why = "--shard must be I/N with 1 <= I <= N <= " + std::to_string(kMaxShards);
    } else if (name == "timeout") {
        if (isql_parse_count(value, kMaxTestTimeoutSeconds, n)) o.timeoutSeconds = n;
        else why = "--timeout must be a number of seconds from 1 to " + std::to_string(kMaxTestTimeoutSeconds);
    } else {
        known = false;
    }
    return why.empty();
}
}  // namespace

bool test_parse_options(int argc, char** argv, TestOptions& o, std::string& why) {
    bool operandsOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (operandsOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            o.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            operandsOnly = true;
            continue;
        }
        if (arg.compare(0, 2, "--") == 0) {
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            const bool hasValue = eq != std::string::npos;
            std::string value = hasValue ? arg.substr(eq + 1) : "";
            static const char* const kWithValue[] = {"dsn", "connect", "user", "mask", "diff-dir",
                                                     "junit", "jobs", "shard", "timeout"};
            bool needsValue = false;
            for (const char* v : kWithValue) needsValue = needsValue || name == v;
            if (needsValue && !hasValue) {
                if (i + 1 == argc) {
                    why = "--" + name + " needs a value";
                    return false;
                }
                value = argv[++i];
            }
            // The process list shows no password of a connect string from here on.
            if (name == "connect") isql_hide_secrets(hasValue ? argv[i] + eq + 1 : argv[i]);
            bool known = false;
            if (!runner_option(name, value, hasValue || needsValue, o, why, known)) return false;
            if (known) continue;
            // The session's own long options that shape its output.
            if (name == "on-error" || name == "format" || name == "lenient" || name == "no-prompt") {
                o.sessionArgs.push_back(arg);
                continue;
            }
            why = "--" + name + " cannot be used with --test";
            return false;
        }
        // Short session options, as a session takes them.
        const char option = arg[1];
        if (option == 'c' || option == 'n' || option == 'h') {
            why = std::string("-") + option + " cannot be used with --test: the test files are the input";
            return false;
        }
        o.sessionArgs.push_back(arg);
        if (takes_value(option) && arg.size() == 2) {
            if (i + 1 == argc) {
                why = std::string("-") + option + " needs a value";
                return false;
            }
            o.sessionArgs.push_back(argv[++i]);
        }
    }
    if (o.paths.empty()) why = "--test needs test files or folders";
    return why.empty();
}

const char* test_options_help() {
    return "\nTest runs (wsql --test [OPTIONS] PATH...):\n"
           "  PATH                             a test file (NAME.sql with NAME.out beside it,\n"
           "                                   NAME.test or NAME.slt), or a folder of them\n"
           "  --dsn=NAME                       run the suite against the data source; repeatable\n"
           "  --connect=STRING, --user=NAME    or with a connect string (password: WSQL_PASSWORD)\n"
           "  --mask=REGEX                     mask what matches in outputs; repeatable\n"
           "  --record[=all]                   write the missing expected files (all: also\n"
           "                                   those that differ)\n"
           "  --diff-dir=DIR                   the whole diff and output of each failure\n"
           "  --junit=FILE                     JUnit XML of the run\n"
           "  --jobs=N                         files run N at a time\n"
           "  --shard=I/N                      only every N-th file, from the I-th\n"
           "  --timeout=SECONDS                a file still running then fails (default 300)\n"
           "  Session options (-q, -m, --format, ...) apply to each script's session.\n"
           "  Exit status: 0 all passed, 1 some failed, 2 the run could not start.\n";
}
