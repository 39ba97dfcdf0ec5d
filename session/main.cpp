// wsql: interactive SQL client for ODBC data sources.
#include <cerrno>
#include <clocale>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <unistd.h>

#include "isql.h"
#include "isqldriver.h"
#include "isqlini.h"
#include "isqllaunch.h"
#include "isqlloop.h"
#include "isqlexec.h"
#include "isqlload.h"
#include "isqltest.h"
#include "isqlodbc.h"
#include "isqlrun.h"
#include "isqlterm.h"
#include "isqltm.h"

namespace {
constexpr int kExitFailure = 255;
constexpr size_t kLocaleBytes = 512;

void alarmHandler(int) { signal(SIGALRM, alarmHandler); }

// Selects the locale named by "SetLocale" of the settings file; "None" keeps "C".
void select_locale() {
    char path[kIniPathBytes];
    ZvGetOdbcisqlIniFile(path);
    char locale[kLocaleBytes];
    isql_GetPrivateProfileString("Common", "SetLocale", "", locale, sizeof locale, path);
    if (isql_stricmp(locale, "None") != 0) setlocale(LC_ALL, locale);
}

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, before
// anything else is opened: the next file or socket would take its number, and
// prompts and results written to it would reach a database connection.
void open_missing_std_descriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int got = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (got != fd && got >= 0) close(got);  // a lower descriptor was free: cannot happen
    }
}

// The value of key in section [Common] of the settings file; empty when absent.
std::string common_setting(const char* key) {
    char path[kIniPathBytes];
    ZvGetOdbcisqlIniFile(path);
    char value[kSettingBytes];
    isql_GetPrivateProfileString("Common", key, "", value, sizeof value, path);
    return value;
}

// The keys OnError, Lenient and Format of the settings file; the long options, read
// later, win over them. A value that means nothing is reported and ignored.
void read_extension_settings() {
    const std::string onError = common_setting("OnError");
    OnError policy;
    if (isql_parse_on_error(onError.c_str(), policy))
        isql_set_on_error(policy);
    else if (!onError.empty())
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: OnError in odbcisql.ini must be ignore, continue or stop; it was ignored\n");
    const std::string lenient = common_setting("Lenient");
    if (lenient == "1" || lenient == "0")
        gSettings.lenient = lenient == "1";
    else if (!lenient.empty())
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Lenient in odbcisql.ini must be 1 or 0; it was ignored\n");
    const std::string format = common_setting("Format");
    if (const std::optional<OutputFormat> f = isql_format_by_name(format))
        gSettings.format = *f;
    else if (!format.empty())
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Format in odbcisql.ini must be tsv, csv, json, aligned or expanded; it was "
                   "ignored\n");
}

void init_failed() {
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Error initializing the Interactive SQL session\n");
}
}  // namespace

int main(int argc, char** argv) {
    open_missing_std_descriptors();
    isql_install_stop_handlers();
    select_locale();
    isql_trace_init(15);
    read_extension_settings();
    if (isql_test_requested(argc, argv)) return isql_test_main(argc, argv);
    if (isql_driver_requested(argc, argv)) return isql_driver_main(argc, argv);
    if (!isql_init()) {
        init_failed();
        isql_flush_all();
        return kExitFailure;
    }
    ClientState* first = gClientStateList.first();
    if (!isql_parse_arg(first, argc, argv)) {
        print_usage();
        isql_flush_all();
        return kExitFailure;
    }
    if (const std::string why = isql_launch_problem(); !why.empty()) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: %s; nothing was run\n", why.c_str());
        isql_flush_all();
        return kExitNotRun;
    }
    if (first->largeColOutput && !isql_checkAndCreate_LargeColResultFolder(first->largeColFolder.c_str())) {
        isql_print_always(stdout, "Unexpected error while creating Large column result folder\n");
        isql_flush_all();
        return 0;
    }
    if (!isql_load_arguments().options.empty()) {
        const int status = isql_load_main(first, isql_load_arguments());
        isql_flush_all();
        return status;
    }
    if (!isql_init_odbc()) {
        init_failed();
        isql_flush_all();
        return kExitFailure;
    }
    print_disclaimer();
    isql_trace(gfpResFile, TRACE_NOTICE, "Program Locale:%s\n", setlocale(LC_ALL, nullptr));
    signal(SIGALRM, alarmHandler);
    if (isql_terminal_init()) isql_lineedit_init();
    // A connection the command line names is what the commands are for:
    // without it none of them runs.
    const Outcome connected = isql_connect_from_command_line(first);
    if (connected == Outcome::Failed) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: The connection the command line asks for could not be made; no command was run\n");
        isql_lineedit_end();
        isql_exit();
        isql_term();
        isql_flush_all();
        return kExitNotRun;
    }
    isql_count_command(connected);

    if (isql_run_commands(LoopPolicy{}) == LoopEnd::Stopped) isql_exit();

    isql_lineedit_end();
    isql_term();
    isql_write_run_summary();
    isql_trace(gfpResFile, TRACE_NOTICE, "*****************************************************\n");
    isql_trace(gfpResFile, TRACE_NOTICE, "* Interactive SQL session has finished successfully *\n");
    isql_trace(gfpResFile, TRACE_NOTICE, "*****************************************************\n");
    return isql_exit_status();
}
