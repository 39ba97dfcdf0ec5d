// wsql: interactive SQL client for ODBC data sources.
#include <clocale>
#include <csignal>
#include <string>
#include <strings.h>

#include "isql.h"
#include "isqlini.h"
#include "isqlexec.h"
#include "isqlodbc.h"
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

void init_failed() {
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Error initializing the Interactive SQL session\n");
}
}  // namespace

int main(int argc, char** argv) {
    isql_install_stop_handlers();
    select_locale();
    isql_trace_init(15);
    gfpResFile = stdout;
    gfpErrFile = stderr;
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
    if (first->largeColOutput && !isql_checkAndCreate_LargeColResultFolder(first->largeColFolder.c_str())) {
        isql_print_always(stdout, "Unexpected error while creating Large column result folder\n");
        isql_flush_all();
        return 0;
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

    std::wstring line;
    while (!gClientStateList.states.empty()) {
        ClientState* state = gClientStateList.last();
        if (!isql_get_nextcmd(state, line)) {
            isql_close_curstate(state);
            continue;
        }
        if (!line.empty() && line[0] == L'#') continue;
        isql_process_cmd(state, line);
    }

    isql_lineedit_end();
    isql_term();
    isql_trace(gfpResFile, TRACE_NOTICE, "*****************************************************\n");
    isql_trace(gfpResFile, TRACE_NOTICE, "* Interactive SQL session has finished successfully *\n");
    isql_trace(gfpResFile, TRACE_NOTICE, "*****************************************************\n");
    isql_flush_all();
    return 0;
}
