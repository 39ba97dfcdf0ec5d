// The command dispatcher: parses one line, runs the handler of its kind,
// watches for a lost connection and reports the elapsed time.
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/time.h>
#include <unistd.h>

#include "isql.h"
#include "isqlcmd.h"
#include "isqlexec.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "zvunicode.h"

void isql_cmdhelp();

namespace {
// Command clock and print clock, in milliseconds of the wall clock.
long long lBeginMs = 0;
long long lTotalpntTime = 0;   // ms spent printing results in this command
long long lpntBeginMs = 0;
timeval Start{};               // TIMER START

constexpr long long kMaxRepeatCount = INT_MAX;

// What a handler asks of the dispatcher after it ran: the elapsed-time
// lines, or nothing more (a failed RESDIR; a command dropped by Ctrl-C).
enum class After { Report, Silent };

const char kNotConnected[] = "You are not connected to any database\n";
const wchar_t kSqlState08003[] = L"08003";

// Marks the state not connected when the failed command lost the connection.
void check_connection_lost(ClientState* state, int result) {
    if (result == 0) return;
    if (zvwcscmp(gwsLastSqlError, kSqlState08003) != 0) return;
    isql_trace(gfpErrFile, TRACE_ERROR,
               "SQL: Connection to the database was lost.\nTerminating the session...\n");
    state->connected = 0;
}

// Opens path ("wt") as the state's results or error stream, or goes back to
// the standard stream without a path. A file this source opened before is
// closed when it is replaced.
void switch_stream(ClientState* state, const std::optional<std::string>& path, bool results) {
    FILE*& own = results ? state->resFile : state->errFile;
    FILE*& global = results ? gfpResFile : gfpErrFile;
    FILE* fallback = results ? stdout : stderr;
    FILE* next = fallback;
    if (path) {
        next = fopen(path->c_str(), "w");
        if (next == nullptr) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not open the results file %s\n",
                       path->c_str());
            return;
        }
    }
    auto& states = gClientStateList.states;
    FILE* inherited = states.size() > 1 ? (results ? states[states.size() - 2]->resFile
                                                   : states[states.size() - 2]->errFile)
                                        : fallback;
    FILE* previous = own;
    own = next;
    global = next;
    if (previous != inherited && previous != stdout && previous != stderr && previous != next)
        isql_close_stream(previous);
}

// Sleeps for seconds; 0 returns at once. The alarm is blocked until the
// process waits for it, so it cannot be lost before the wait starts.
void isql_wait(long long seconds) {
    if (seconds <= 0) return;
    isql_flush_all();
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGALRM);
    sigprocmask(SIG_BLOCK, &block, &old);
    alarm(static_cast<unsigned int>(seconds));
    sigset_t wait = old;
    sigdelset(&wait, SIGALRM);
    sigsuspend(&wait);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

ClientState* first_state() { return gClientStateList.first(); }
SQLHENV henv() { return gClientStateList.henv; }
SQLHDBC hdbc() { return gClientStateList.hdbc; }

// ---- handlers, one per kind ------------------------------------------------

After cmd_cmdfile(ClientState* state, IsqlCommand& cmd) {
    const std::string& path = cmd.sPathOrDsn.value_or("");
    if (path.compare(0, 2, "o:") == 0) {
        zvtests(state, path.c_str() + 2);
        return After::Report;
    }
    gCmdFile = 0;
    isql_new_curstate(path.c_str(), 0);
    return After::Report;
}

After cmd_ncmdfile(ClientState*, IsqlCommand& cmd) {
    gCmdFile = 1;
    isql_new_curstate(cmd.sPathOrDsn.value_or("").c_str(), 1);
    return After::Report;
}

const wchar_t* opt_c_str(const std::optional<std::wstring>& s) { return s ? s->c_str() : nullptr; }

After cmd_connect(ClientState* state, IsqlCommand& cmd) {
    const char* dsn = cmd.sPathOrDsn ? cmd.sPathOrDsn->c_str() : nullptr;
    if (!isql_connect(state, dsn, nullptr, 1, opt_c_str(cmd.wsUser), opt_c_str(cmd.wsPassword)))
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_connect() failure \n");
    return After::Report;
}

After cmd_customconnect(ClientState* state, IsqlCommand& cmd) {
    if (!isql_connect(state, nullptr, opt_c_str(cmd.wsConnStr), 1, opt_c_str(cmd.wsUser),
                      opt_c_str(cmd.wsPassword)))
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_connect() failure \n");
    return After::Report;
}

After cmd_disconnect(ClientState* state, IsqlCommand&) {
    if (!isql_disconnect(state, 1))
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_disconnect() failure \n");
    return After::Report;
}

After cmd_echo(ClientState*, IsqlCommand& cmd) {
    isql_tracew(gfpResFile, TRACE_DATA, "%s", cmd.wsText);
    isql_trace(gfpResFile, TRACE_DATA, "\n");
    return After::Report;
}

After cmd_exit(ClientState*, IsqlCommand&) {
    isql_exit();
    return After::Report;
}

After cmd_help(ClientState*, IsqlCommand&) {
    isql_cmdhelp();
    return After::Report;
}

After cmd_repeat(ClientState* state, IsqlCommand& cmd) {
    long long count = cmd.lNumber;
    if (count > kMaxRepeatCount) {
        // Read the block all the same so its lines are not run as commands.
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Repeat count %lld is larger than %lld\n", count,
                   kMaxRepeatCount);
        isql_get_repeatlist(state);
        isql_close_repeatlist(state);
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_repeat() failure \n");
        return After::Report;
    }
    if (!isql_repeat(state, count)) {
        if (isql_input_interrupted(state)) return After::Silent;  // Ctrl-C while typing it
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_repeat() failure \n");
    }
    return After::Report;
}

After cmd_resfile(ClientState* state, IsqlCommand& cmd) {
    switch_stream(state, cmd.sPathOrDsn, true);
    return After::Report;
}

After cmd_errfile(ClientState* state, IsqlCommand& cmd) {
    switch_stream(state, cmd.sPathOrDsn, false);
    return After::Report;
}

After cmd_timer_start(ClientState*, IsqlCommand&) {
    isql_trace(gfpResFile, TRACE_TIMER, "*** Starting the timer\n");
    gettimeofday(&Start, nullptr);
    return After::Report;
}

After cmd_timer_stop(ClientState*, IsqlCommand&) {
    timeval End{};
    gettimeofday(&End, nullptr);
    double seconds = static_cast<double>(End.tv_sec - Start.tv_sec) +
                     static_cast<double>(End.tv_usec - Start.tv_usec) * 0.000001;
    isql_trace(gfpResFile, TRACE_TIMER, "*** Time taken = %lf sec(s)\n", seconds);
    return After::Report;
}

After cmd_wait(ClientState*, IsqlCommand& cmd) {
    isql_wait(cmd.lNumber);
    return After::Report;
}

After cmd_fetch(ClientState*, IsqlCommand& cmd) {
    if (!isql_fetchBlock(henv(), hdbc(), nullptr, static_cast<int>(cmd.lNumber)))
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_fetchBlock() failure \n");
    return After::Report;
}

After cmd_commit(ClientState* state, IsqlCommand&) {
    if (!isql_transact(state, 0)) isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_transact() failure \n");
    return After::Report;
}

After cmd_rollback(ClientState* state, IsqlCommand&) {
    if (!isql_transact(state, 1)) isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_transact() failure \n");
    return After::Report;
}

After cmd_autocommit(ClientState* state, IsqlCommand& cmd) {
    if (!isql_autocommit(state, static_cast<int>(cmd.lNumber)))
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_autocommit() failure \n");
    return After::Report;
}

After cmd_querytimeout(ClientState*, IsqlCommand& cmd) {
    gQueryTimeout = static_cast<int>(cmd.lNumber);
    return After::Report;
}

After cmd_maxrows(ClientState*, IsqlCommand& cmd) {
    gMaxRows = cmd.lNumber;
    return After::Report;
}

After cmd_multiconnect(ClientState* state, IsqlCommand& cmd) {
    const char* dsn = cmd.sPathOrDsn ? cmd.sPathOrDsn->c_str() : nullptr;
    int ok = isql_multi_connect(state, static_cast<int>(cmd.lNumber), opt_c_str(cmd.wsUser),
                                opt_c_str(cmd.wsPassword), dsn);
    if (ok == 0 && giMultiConnectCount == 0)
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_multi_connect() failure \n");
    if (giMultiConnectCount > 0)
        isql_trace(gfpResFile, TRACE_NOTICE, "SQL: %d connections have been successful.\n",
                   giMultiConnectCount);
    return After::Report;
}

After cmd_multidisconnect(ClientState* state, IsqlCommand&) {
    int before = giMultiConnectCount;
    int ok = isql_multi_disconnect(state);
    if (ok == 0 && giMultiConnectCount != 0)
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_multi_disconnect() failure \n");
    if (before - giMultiConnectCount > 0)
        isql_trace(gfpResFile, TRACE_NOTICE, "SQL: %d disconnections have been successful.\n",
                   before - giMultiConnectCount);
    return After::Report;
}

After cmd_resdir(ClientState*, IsqlCommand& cmd) {
    if (!cmd.sPathOrDsn) return After::Report;
    ClientState* first = first_state();
    if (!isql_set_largecol_folder(first, cmd.sPathOrDsn->c_str())) return After::Report;
    if (first->largeColOutput &&
        !isql_checkAndCreate_LargeColResultFolder(first->largeColFolder.c_str())) {
        isql_print_always(stdout, "Unexpected error while creating Large column result folder\n");
        return After::Silent;
    }
    return After::Report;
}

After cmd_describe_table(ClientState* state, IsqlCommand& cmd) {
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%sCannot execute the DESCRIBE table command\n",
                   kNotConnected);
        return After::Report;
    }
    int rc = isql_describe_table(hdbc(), opt_c_str(cmd.wsCatalog), opt_c_str(cmd.wsOwner),
                                 opt_c_str(cmd.wsTable));
    check_connection_lost(state, rc);
    return After::Report;
}

After cmd_show_tables(ClientState* state, IsqlCommand& cmd) {
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%sCannot execute the SHOW/LIST tables command\n",
                   kNotConnected);
        return After::Report;
    }
    int rc = isql_show_tables(hdbc(), opt_c_str(cmd.wsCatalog), opt_c_str(cmd.wsOwner),
                              opt_c_str(cmd.wsTable));
    check_connection_lost(state, rc);
    return After::Report;
}

// SQL statements and DESCRIBE of a query: the statement is gathered to its
// ";" first, and the clock restarts after the typing.
After run_statement(ClientState* state, IsqlCommand& cmd, bool describe) {
    std::wstring stmt;
    if (!isql_get_stmt(state, cmd.wsText, stmt)) {
        if (isql_input_interrupted(state)) return After::Silent;  // Ctrl-C while typing it
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Input ended before the closing \";\" of the statement; it was not run\n");
        return After::Report;
    }
    lBeginMs = isql_now_ms();
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%sCannot execute the %s\n", kNotConnected,
                   describe ? "DESCRIBE statement command" : "SQL statement");
        return After::Report;
    }
    int rc = describe ? isql_describe_stmt(henv(), hdbc(), stmt.c_str())
                      : isql_exec(henv(), hdbc(), stmt.c_str());
    check_connection_lost(state, rc);
    return After::Report;
}

After cmd_sql(ClientState* state, IsqlCommand& cmd) { return run_statement(state, cmd, false); }
After cmd_describe_stmt(ClientState* state, IsqlCommand& cmd) { return run_statement(state, cmd, true); }
After cmd_empty(ClientState*, IsqlCommand&) { return After::Report; }

using Handler = After (*)(ClientState*, IsqlCommand&);

// The handler of each command kind; null for kinds that have none.
Handler handler_for(int kind) {
    switch (static_cast<CmdKind>(kind)) {
    case CMD_EMPTY: return cmd_empty;
    case CMD_CMDFILE: return cmd_cmdfile;
    case CMD_CONNECT: return cmd_connect;
    case CMD_DISCONNECT: return cmd_disconnect;
    case CMD_ECHO: return cmd_echo;
    case CMD_SQL: return cmd_sql;
    case CMD_EXIT: return cmd_exit;
    case CMD_HELP: return cmd_help;
    case CMD_REPEAT: return cmd_repeat;
    case CMD_RESFILE: return cmd_resfile;
    case CMD_TIMER_START: return cmd_timer_start;
    case CMD_TIMER_STOP: return cmd_timer_stop;
    case CMD_WAIT: return cmd_wait;
    case CMD_FETCH: return cmd_fetch;
    case CMD_ERRFILE: return cmd_errfile;
    case CMD_COMMIT: return cmd_commit;
    case CMD_ROLLBACK: return cmd_rollback;
    case CMD_AUTOCOMMIT: return cmd_autocommit;
    case CMD_CUSTOMCONNECT: return cmd_customconnect;
    case CMD_NCMDFILE: return cmd_ncmdfile;
    case CMD_QUERYTIMEOUT: return cmd_querytimeout;
    case CMD_MAXROWS: return cmd_maxrows;
    case CMD_MULTICONNECT: return cmd_multiconnect;
    case CMD_MULTIDISCONNECT: return cmd_multidisconnect;
    case CMD_RESDIR: return cmd_resdir;
    case CMD_DESCRIBE_TABLE: return cmd_describe_table;
    case CMD_DESCRIBE_STMT: return cmd_describe_stmt;
    case CMD_SHOW_TABLES: return cmd_show_tables;
    case CMD_NONE:
    case CMD_END:
        return nullptr;
    }
    return nullptr;
}
}  // namespace

long long isql_now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void isql_timer_print_start() { lpntBeginMs = isql_now_ms(); }

void isql_timer_print_stop() { lTotalpntTime += isql_now_ms() - lpntBeginMs; }

// Runs one command line of state. Returns 1; 0 when the command ended
// without its elapsed-time lines: RESDIR could not create its folder, or
// Ctrl-C at the terminal dropped the statement or block being typed.
int isql_process_cmd(ClientState* state, std::wstring& line) {
    IsqlCommand cmd = isql_parse_line(line.c_str());
    lBeginMs = isql_now_ms();
    lTotalpntTime = 0;

    Handler handler = handler_for(cmd.kind);
    if (handler == nullptr) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Invalid CMD type:%d\n", cmd.kind);
    } else if (handler(state, cmd) == After::Silent) {
        return 0;
    }

    long long elapsed = isql_now_ms() - lBeginMs - lTotalpntTime;
    isql_trace(gfpResFile, TRACE_NOTICE, "Elapsed time %ld ms.\n", static_cast<long>(elapsed));
    if (cmd.kind == CMD_SQL) {
        isql_trace(gfpResFile, TRACE_NOTICE,
                   "Elapsed time: Prepare %ld ms.\t Execute %ld ms.\t Fetch results %ld ms.\n",
                   static_cast<long>(lPrepareTime), static_cast<long>(lExecTime),
                   static_cast<long>(elapsed - lPrepareTime - lExecTime));
    }
    isql_flush_all();
    return 1;
}
