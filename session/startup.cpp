// Start-up: the process-wide settings, command-line options, banner and the
// final release of the ODBC handles.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "isql.h"
#include "isqldriver.h"
#include "isqlini.h"
#include "isqllaunch.h"
#include "isqlload.h"
#include "isqltest.h"
#include "isqlrun.h"
#include "isqlsecret.h"
#include "isqlterm.h"
#include "isqltm.h"

namespace {
LoadArguments gLoadArguments;  // as isql_parse_arg found them

constexpr const char kOptions[] = "c:n:x:p:b:m:u:o:hevqtfr";
constexpr size_t kAboutBytes = 4096;
constexpr const char kBuiltinBanner[] =
    "Tarvio Quenlix Moribar SDK Interactive SQL (ODBC) Version 8.1\n"
    "Copyright (c) Tarvio Quenlix Moribar. All rights reserved.\n"
    "\n";

// Long options: extensions beyond the short ones, which stay as they are.
enum LongOption {
    kOptOnError = 0x100,
    kOptLenient,
    kOptConnect,
    kOptUser,
    kOptCommand,
    kOptNoPrompt,
    kOptHelp,
    kOptVersion,
    kOptFormat,
    kOptJobs,  // the load-run options, read by isql_load_option
    kOptDuration,
    kOptRuns,
    kOptPrepare,
    kOptJobOutput,
    kOptReport,
    kOptMergeReports,
    kOptInterval,  // the report's series, thresholds and metrics
    kOptIntervalLog,
    kOptThreshold,
    kOptAbortOnThreshold,
    kOptMetricsFile,
    kOptWorkload,  // the built-in workloads and their tables
    kOptInit,
    kOptScale,
    kOptRate,  // the load runs' arrival rate and progress lines
    kOptLatencyLimit,
    kOptProgress,
};
constexpr option kLongOptions[] = {
    {"on-error", required_argument, nullptr, kOptOnError},
    {"lenient", no_argument, nullptr, kOptLenient},
    {"connect", required_argument, nullptr, kOptConnect},
    {"user", required_argument, nullptr, kOptUser},
    {"command", required_argument, nullptr, kOptCommand},
    {"no-prompt", no_argument, nullptr, kOptNoPrompt},
    {"help", optional_argument, nullptr, kOptHelp},
    {"version", no_argument, nullptr, kOptVersion},
    {"format", required_argument, nullptr, kOptFormat},
    {"jobs", required_argument, nullptr, kOptJobs},
    {"duration", required_argument, nullptr, kOptDuration},
    {"runs", required_argument, nullptr, kOptRuns},
    {"prepare", required_argument, nullptr, kOptPrepare},
    {"job-output", required_argument, nullptr, kOptJobOutput},
    {"report", required_argument, nullptr, kOptReport},
    {"merge-reports", no_argument, nullptr, kOptMergeReports},
    {"interval", required_argument, nullptr, kOptInterval},
    {"interval-log", required_argument, nullptr, kOptIntervalLog},
    {"threshold", required_argument, nullptr, kOptThreshold},
    {"abort-on-threshold", no_argument, nullptr, kOptAbortOnThreshold},
    {"metrics-file", required_argument, nullptr, kOptMetricsFile},
    {"workload", required_argument, nullptr, kOptWorkload},
    {"init", no_argument, nullptr, kOptInit},
    {"scale", required_argument, nullptr, kOptScale},
    {"rate", required_argument, nullptr, kOptRate},
    {"latency-limit", required_argument, nullptr, kOptLatencyLimit},
    {"progress", required_argument, nullptr, kOptProgress},
    {nullptr, 0, nullptr, 0},
};

// The name of the long option whose value is opt.
const char* long_option_name(int opt) {
    for (const option& o : kLongOptions)
        if (o.val == opt) return o.name;
    return "";
}


// An option that is no option of wsql and whose name says password: its
// value is never echoed (getopt's message would quote it). True when found
// (reported).
bool refuse_password_option(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strncmp(argv[i], "--", 2) != 0) continue;
        const char* name = argv[i] + 2;
        const size_t length = std::strcspn(name, "=");
        if (!isql_names_password(std::string_view(name, length))) continue;
        isql_print_always(stderr, "%s: unrecognized option '--%.*s' (its value is not shown); a password comes "
                          "from WSQL_PASSWORD\n", argv[0], static_cast<int>(length), name);
        return true;
    }
    return false;
}

void print_long_options() {
    isql_print_always(stdout,
                      "\nLong options:\n"
                      "  --on-error=ignore|continue|stop  what a failed command does: nothing "
                      "(status 0),\n"
                      "                                   a summary and status 1, or the end of "
                      "the session\n"
                      "                                   with status 3 (key OnError in "
                      "odbcisql.ini)\n"
                      "  --lenient                        warnings shown as notices, MAXROWS kept "
                      "by wsql,\n"
                      "                                   long text read whole (key Lenient=1)\n"
                      "  DSN                              connect to the data source DSN first\n"
                      "  --connect=STRING                 connect with the connect string first\n"
                      "  --user=NAME                      user name for either; the password comes from\n"
                      "                                   WSQL_PASSWORD or a prompt at the terminal\n"
                      "  --command=TEXT                   run TEXT (a command or SQL), then end; "
                      "repeatable\n"
                      "  --no-prompt                      no prompts when input is not a terminal\n"
                      "  --format=tsv|csv|json|aligned|expanded\n"
                      "                                   how result sets are laid out (key Format,\n"
                      "                                   \\format in a session)\n"
                      "  --help                           this text; --help=load: the options of load runs\n"
                      "  --version                        the version, then end\n");
}

// The options of load runs, for --help=load (plain --help stays as it was).
void print_load_options() {
    isql_print_always(stdout,
                      "\nLoad runs:\n"
                      "  --jobs=N                         N sessions at once (1 to 1000), each on its own\n"
                      "                                   connection, running the script of -c, -n or --command\n"
                      "  --duration=SECONDS | --runs=K    for that long, or K passes of the script each\n"
                      "  --prepare=reuse|always           a statement met again runs on its prepared handle\n"
                      "                                   (reuse, the default) or is prepared again (always)\n"
                      "  --job-output=DIR                 each job's output to DIR/job-N.out and DIR/job-N.err\n"
                      "  --report=FILE                    the report as JSON as well, with its histograms\n"
                      "  --merge-reports FILE...          the combined report of the JSON reports of runs\n"
                      "  --report=FILE.html               the report as one HTML page with its charts\n"
                      "  --interval=SECONDS               a series of the run's counts per interval\n"
                      "  --interval-log=FILE              one CSV line per interval as it ends\n"
                      "  --threshold=[STATEMENT:]EXPR     e.g. p99<20ms, fail-rate<0.1%%, tps>=500; crossed: 5\n"
                      "  --abort-on-threshold             stop once a latency or fail-rate threshold is crossed\n"
                      "  --metrics-file=FILE              the counters in Prometheus text form, kept current\n"
                      "  --workload=tpcb-like|select-only\n"
                      "                                   pgbench's TPC-B-like transaction or its select as the script\n"
                      "  --init                           make and load the tables of --workload first (alone: only that)\n"
                      "  --scale=N                        their size: N branches, 10 x N tellers, 100000 x N accounts\n"
                      "  --rate=R | --rate=FROM:TO        passes per second of the whole run, arriving at\n"
                      "                                   random (Poisson), or a ramp over --duration\n"
                      "  --latency-limit=MS               passes over MS are late; with --rate, passes\n"
                      "                                   already MS behind their schedule are skipped\n"
                      "  --progress=SECONDS               a progress line on standard error every SECONDS\n"
                      "  In statements: ${WSQL_JOB}, ${WSQL_PASS} and ${WSQL_RANDOM(LOW,HIGH[,NAME])}\n");
}

// Makes path the input of the first state (the -c and -n options). A file
// that cannot be opened counts as a failed command.
void open_first_command_file(ClientState* first, const char* path) {
    FILE* f = isql_open_command_file(path, "rb");
    if (f == nullptr) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not open the command file %s\n", path);
        isql_count_command(Outcome::Failed);
        gLoadArguments.scriptUnreadable = true;
        return;
    }
    if (first->inFile != stdin) fclose(first->inFile);
    first->inFile = f;
    first->inName = path;
    first->reader = LineReader{};
}
}  // namespace

void print_usage() {
    isql_print_always(stdout, "\nUSAGE: client [-c <command_file>] [-n <unicode_command_file>] [-v] [-e] [-h] [-b] "
                      "[-q] [-m <max_rows>] [-f] [-u <encoding>] [-r] [-o <LOB_output_path>]\n");
}

// Parses the options into the globals and the first state. 0 stops start-up.
int isql_parse_arg(ClientState* firstState, int argc, char** argv) {
    int opt;
    LaunchRequest launch;
    bool merge = false;  // --merge-reports: the arguments after the options are its files
    if (refuse_password_option(argc, argv)) {
        isql_print_always(stdout, "Illegal option \n");
        return 0;
    }
    // The option parser writes its own complaints on standard error.
    while ((isql_flush_all(), opt = getopt_long(argc, argv, kOptions, kLongOptions, nullptr)) != -1) {
        switch (opt) {
        case kOptOnError: {
            OnError policy;
            if (!isql_parse_on_error(optarg, policy)) {
                isql_print_always(stdout,
                                  "Illegal value for --on-error. Use ignore, continue or stop\n");
                return 0;
            }
            isql_set_on_error(policy);
            break;
        }
        case kOptLenient: gSettings.lenient = true; break;
        case kOptFormat: {
            const std::optional<OutputFormat> format = isql_format_by_name(optarg);
            if (!format) {
                isql_print_always(stdout, "Illegal value for --format. Use tsv, csv, json, aligned "
                                          "or expanded\n");
                return 0;
            }
            gSettings.format = *format;
            break;
        }
        case kOptConnect:
            launch.connectString = optarg;
            launch.connectGiven = true;
            isql_hide_secrets(optarg);
            break;
        case kOptUser: launch.user = optarg; break;
        case kOptCommand: launch.commands.emplace_back(optarg); break;
        case kOptNoPrompt: launch.noPrompt = true; break;
        case kOptJobs: case kOptDuration: case kOptRuns: case kOptPrepare: case kOptJobOutput:
        case kOptReport: case kOptMergeReports:
        case kOptInterval: case kOptIntervalLog: case kOptThreshold: case kOptAbortOnThreshold: case kOptMetricsFile:
        case kOptWorkload: case kOptInit: case kOptScale:
        case kOptRate: case kOptLatencyLimit: case kOptProgress:
            gLoadArguments.options.emplace_back(long_option_name(opt), optarg != nullptr ? optarg : "");
            merge = merge || opt == kOptMergeReports;
            break;
        case kOptVersion:
            isql_print_always(stdout, "wsql %s\n", ZvGetProductVersion());
            isql_flush_all();
            exit(0);
        case kOptHelp:
            if (optarg != nullptr && std::strcmp(optarg, "load") != 0 && std::strcmp(optarg, "test") != 0 &&
                std::strcmp(optarg, "driver") != 0) {
                isql_print_always(stdout, "Illegal value for --help. Use --help, --help=load or --help=test\n");
                return 0;
            }
            print_usage();
            if (optarg != nullptr && std::strcmp(optarg, "test") == 0) isql_print_always(stdout, "%s", isql_test_help());
            else if (optarg != nullptr && std::strcmp(optarg, "driver") == 0)
                isql_print_always(stdout, "%s", isql_driver_help());
            else if (optarg != nullptr) print_load_options();
            else print_long_options();
            isql_flush_all();
            exit(0);
        case 'b':
            gBenchmarkMode = 1;
            gMaxRows = 0;
            gBenchmarkBlock = static_cast<int>(strtol(optarg, nullptr, 10));
            break;
        case 'c':
        case 'n':
            gCmdFile = (opt == 'n') ? 1 : 0;
            open_first_command_file(firstState, optarg);
            break;
        case 'e': firstState->echo = 1; break;
        case 'f': gHexDisplay = 1; break;
        case 'h': print_usage(); break;
        case 'm': gMaxRows = strtol(optarg, nullptr, 10); break;
        case 'o':
            if (!isql_set_largecol_folder(firstState, optarg)) return 0;
            break;
        case 'q': isql_trace_init(7); break;
        case 'r': firstState->largeColOutput = 1; break;
        case 't':
            gClientStateList.testModeErrFile = stdout;
            gTestMode = 1;
            break;
        case 'u': {
            long value = strtol(optarg, nullptr, 10);
            if (value != 0 && value != 1) {
                isql_print_always(
                    stdout, "Illegal value for Unicode Encoding. Use 0 for wchar_t and 1 for UTF16\n");
                return 0;
            }
            gUnicodeEnc = static_cast<unsigned int>(value);
            break;
        }
        case 'v': versionInfo(); break;
        case 'x': isql_trace_init(static_cast<unsigned int>(strtoul(optarg, nullptr, 16))); break;
        default:
            isql_print_always(stdout, "Illegal option \n");
            return 0;
        }
    }
    // The first argument that is not an option names a data source; those
    // of --merge-reports are its files.
    if (merge) gLoadArguments.operands.assign(argv + optind, argv + argc);
    else if (optind < argc) {
        launch.dsn = argv[optind];
        launch.dsnGiven = true;
        if (optind + 1 < argc) launch.extraOperand = argv[optind + 1];
    }
    isql_set_launch(std::move(launch));
    return isql_commands_as_input(firstState) ? 1 : 0;
}

const LoadArguments& isql_load_arguments() { return gLoadArguments; }

// The built-in banner, or the "About" text of the settings file with each
// backslash-n turned into a line break.
int print_disclaimer() {
    char path[kIniPathBytes];
    if (!ZvGetOdbcisqlIniFile(path)) {
        isql_trace(gfpResFile, TRACE_NOTICE, "%s", kBuiltinBanner);
        return 1;
    }
    char about[kAboutBytes];
    isql_GetPrivateProfileString("Common", "About", kBuiltinBanner, about, sizeof about, path);
    std::string text;
    for (const char* p = about; *p != '\0'; ++p) {
        if (p[0] == '\\' && p[1] == 'n') {
            text += '\n';
            ++p;
        } else {
            text += *p;
        }
    }
    text += "\n\n";
    isql_trace(gfpResFile, TRACE_NOTICE, "%s", text.c_str());
    return 1;
}
