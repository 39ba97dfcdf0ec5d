// The command dispatcher: parses one line, runs the handler of its kind,
// watches for a lost connection and reports the elapsed time.
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <strings.h>
#include <unistd.h>
#include <utility>

#include "isql.h"
#include "isqlcmd.h"
#include "isqldriver.h"
#include "isqlexec.h"
#include "isqlloop.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "zvunicode.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

void isql_cmdhelp();

namespace {
long long gTimerStart = 0;  // TIMER START, microseconds
// The hooks of the command loop running the command now.
const CommandHooks* gHooks = nullptr;

constexpr long long kMaxRepeatCount = INT_MAX;

const char kNotConnected[] = "You are not connected to any database\n";

Outcome done_if(bool ok) { return ok ? Outcome::Done : Outcome::Failed; }

// The outcome of a database command with result (0 = success); marks the
// state not connected when the failure lost the connection.
Outcome check_connection_lost(ClientState* state, int result) {
    if (result == 0) return Outcome::Done;
    if (!isql_connection_lost()) return Outcome::Failed;
    isql_trace(gfpErrFile, TRACE_ERROR,
               "SQL: Connection to the database was lost.\nTerminating the session...\n");
    state->connected = 0;
    return Outcome::Failed;
}

// The outcome of a command that ran a statement and printed its results: a
// failure reported while they were read or printed fails the command too.
Outcome statement_outcome(ClientState* state, int result) {
    const bool fault = isql_take_result_fault();
    const Outcome outcome = check_connection_lost(state, result);
    return fault ? Outcome::Failed : outcome;
}

// Opens path ("wt") as the state's results or error stream, or goes back to
// the standard stream without a path. A file this source opened before is
// closed when it is replaced. False when the file could not be opened.
bool switch_stream(ClientState* state, const std::optional<std::string>& path, bool results) {
    FILE*& own = results ? state->resFile : state->errFile;
    FILE* fallback = results ? stdout : stderr;
    FILE* next = fallback;
    if (path) {
        next = fopen(path->c_str(), "w");
        if (next == nullptr) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not open the results file %s\n",
                       path->c_str());
            return false;
        }
        isql_name_stream(next, *path);
    }
    auto& states = gClientStateList.states;
    FILE* inherited = states.size() > 1 ? (results ? states[states.size() - 2]->resFile
                                                   : states[states.size() - 2]->errFile)
                                        : fallback;
    FILE* previous = own;
    own = next;
    if (!results) gClientStateList.testModeErrFile = nullptr;
    if (previous != inherited && previous != stdout && previous != stderr && previous != next)
        isql_close_stream(previous);
    return true;
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

Outcome cmd_cmdfile(ClientState* state, IsqlCommand& cmd) {
    const std::string& path = cmd.sPathOrDsn.value_or("");
    if (path.compare(0, 2, "o:") == 0) {
        const bool connected = state->connected != 0;
        return done_if(zvtests(state, path.c_str() + 2) == 0 && connected);
    }
    gCmdFile = 0;
    return done_if(isql_new_curstate(path.c_str(), 0) != 0);
}

Outcome cmd_ncmdfile(ClientState*, IsqlCommand& cmd) {
    gCmdFile = 1;
    return done_if(isql_new_curstate(cmd.sPathOrDsn.value_or("").c_str(), 1) != 0);
}

const wchar_t* opt_c_str(const std::optional<std::wstring>& s) { return s ? s->c_str() : nullptr; }

Outcome cmd_connect(ClientState* state, IsqlCommand& cmd) {
    const char* dsn = cmd.sPathOrDsn ? cmd.sPathOrDsn->c_str() : nullptr;
    if (isql_connect(state, dsn, nullptr, 1, opt_c_str(cmd.wsUser), opt_c_str(cmd.wsPassword)))
        return Outcome::Done;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_connect() failure \n");
    return Outcome::Failed;
}

Outcome cmd_customconnect(ClientState* state, IsqlCommand& cmd) {
    if (isql_connect(state, nullptr, opt_c_str(cmd.wsConnStr), 1, opt_c_str(cmd.wsUser),
                     opt_c_str(cmd.wsPassword)))
        return Outcome::Done;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_connect() failure \n");
    return Outcome::Failed;
}

Outcome cmd_disconnect(ClientState* state, IsqlCommand&) {
    if (isql_disconnect(state, 1)) return Outcome::Done;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_disconnect() failure \n");
    return Outcome::Failed;
}

Outcome cmd_echo(ClientState*, IsqlCommand& cmd) {
    isql_tracew(gfpResFile, TRACE_DATA, "%s", cmd.wsText);
    isql_trace(gfpResFile, TRACE_DATA, "\n");
    return Outcome::Done;
}

Outcome cmd_exit(ClientState*, IsqlCommand&) {
    isql_exit();
    return Outcome::Done;
}

Outcome cmd_help(ClientState*, IsqlCommand&) {
    isql_cmdhelp();
    return Outcome::Done;
}

Outcome cmd_repeat(ClientState* state, IsqlCommand& cmd) {
    long long count = cmd.lNumber;
    if (count > kMaxRepeatCount) {
        // Read the block all the same so its lines are not run as commands.
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Repeat count %lld is larger than %lld\n", count,
                   kMaxRepeatCount);
        isql_get_repeatlist(state);
        isql_close_repeatlist(state);
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_repeat() failure \n");
        return Outcome::Failed;
    }
    if (isql_repeat(state, count)) return Outcome::Done;
    if (isql_input_interrupted(state)) return Outcome::Dropped;  // Ctrl-C while typing it
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_repeat() failure \n");
    return Outcome::Failed;
}

Outcome cmd_resfile(ClientState* state, IsqlCommand& cmd) {
    return done_if(switch_stream(state, cmd.sPathOrDsn, true));
}

Outcome cmd_errfile(ClientState* state, IsqlCommand& cmd) {
    return done_if(switch_stream(state, cmd.sPathOrDsn, false));
}

Outcome cmd_timer_start(ClientState*, IsqlCommand&) {
    isql_trace(gfpResFile, TRACE_TIMER, "*** Starting the timer\n");
    gTimerStart = isql_now_us();
    return Outcome::Done;
}

Outcome cmd_timer_stop(ClientState*, IsqlCommand&) {
    const double seconds = static_cast<double>(isql_now_us() - gTimerStart) / kMicrosPerSecond;
    isql_trace(gfpResFile, TRACE_TIMER, "*** Time taken = %lf sec(s)\n", seconds);
    return Outcome::Done;
}

Outcome cmd_wait(ClientState*, IsqlCommand& cmd) {
    isql_wait(cmd.lNumber);
    return Outcome::Done;
}

Outcome cmd_fetch(ClientState*, IsqlCommand& cmd) {
    if (isql_fetchBlock(henv(), hdbc(), nullptr, static_cast<int>(cmd.lNumber))) return Outcome::Done;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_fetchBlock() failure \n");
    return Outcome::Failed;
}

Outcome transact(ClientState* state, int type) {
    if (isql_transact(state, type)) return Outcome::Done;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_transact() failure \n");
    return Outcome::Failed;
}

Outcome cmd_commit(ClientState* state, IsqlCommand&) { return transact(state, 0); }
Outcome cmd_rollback(ClientState* state, IsqlCommand&) { return transact(state, 1); }

Outcome cmd_autocommit(ClientState* state, IsqlCommand& cmd) {
    if (isql_autocommit(state, static_cast<int>(cmd.lNumber))) return Outcome::Done;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_autocommit() failure \n");
    return Outcome::Failed;
}

Outcome cmd_querytimeout(ClientState*, IsqlCommand& cmd) {
    gQueryTimeout = static_cast<int>(cmd.lNumber);
    return Outcome::Done;
}

Outcome cmd_maxrows(ClientState*, IsqlCommand& cmd) {
    gMaxRows = cmd.lNumber;
    return Outcome::Done;
}

Outcome cmd_multiconnect(ClientState* state, IsqlCommand& cmd) {
    const char* dsn = cmd.sPathOrDsn ? cmd.sPathOrDsn->c_str() : nullptr;
    int ok = isql_multi_connect(state, static_cast<int>(cmd.lNumber), opt_c_str(cmd.wsUser),
                                opt_c_str(cmd.wsPassword), dsn);
    const int made = isql_multi_connect_count();
    if (ok == 0 && made == 0)
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_multi_connect() failure \n");
    if (made > 0)
        isql_trace(gfpResFile, TRACE_NOTICE, "SQL: %d connections have been successful.\n", made);
    return done_if(ok != 0);
}

Outcome cmd_multidisconnect(ClientState* state, IsqlCommand&) {
    const int before = isql_multi_connect_count();
    int ok = isql_multi_disconnect(state);
    const int left = isql_multi_connect_count();
    if (ok == 0 && left != 0)
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: isql_multi_disconnect() failure \n");
    if (before - left > 0)
        isql_trace(gfpResFile, TRACE_NOTICE, "SQL: %d disconnections have been successful.\n",
                   before - left);
    return done_if(ok != 0);
}

Outcome cmd_resdir(ClientState*, IsqlCommand& cmd) {
    if (!cmd.sPathOrDsn) return Outcome::Done;
    ClientState* first = first_state();
    if (!isql_set_largecol_folder(first, cmd.sPathOrDsn->c_str())) return Outcome::Failed;
    if (first->largeColOutput &&
        !isql_checkAndCreate_LargeColResultFolder(first->largeColFolder.c_str())) {
        isql_print_always(stdout, "Unexpected error while creating Large column result folder\n");
        return Outcome::FailedSilent;
    }
    return Outcome::Done;
}

Outcome cmd_describe_table(ClientState* state, IsqlCommand& cmd) {
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%sCannot execute the DESCRIBE table command\n",
                   kNotConnected);
        return Outcome::Failed;
    }
    int rc = isql_describe_table(hdbc(), opt_c_str(cmd.wsCatalog), opt_c_str(cmd.wsOwner),
                                 opt_c_str(cmd.wsTable));
    return statement_outcome(state, rc);
}

Outcome cmd_show_tables(ClientState* state, IsqlCommand& cmd) {
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%sCannot execute the SHOW/LIST tables command\n",
                   kNotConnected);
        return Outcome::Failed;
    }
    int rc = isql_show_tables(hdbc(), opt_c_str(cmd.wsCatalog), opt_c_str(cmd.wsOwner),
                              opt_c_str(cmd.wsTable));
    return statement_outcome(state, rc);
}

// Runs a gathered SQL statement where hooks send it (isql_exec unless they
// say otherwise).
Outcome run_sql(ClientState* state, const std::wstring& stmt, const CommandHooks& hooks) {
    const int rc = hooks.runStatement ? hooks.runStatement(hdbc(), stmt) : isql_exec(henv(), hdbc(), stmt.c_str());
    return statement_outcome(state, rc);
}

// SQL statements and DESCRIBE of a query: the statement is gathered to its
// ";" first, and the clock restarts after the typing. A statement that does
// not run has no prepare or execute time.
Outcome run_statement(ClientState* state, IsqlCommand& cmd, bool describe) {
    isql_note_statement_times(0, 0);
    std::wstring stmt;
    switch (isql_get_stmt(state, cmd.wsText, stmt)) {
    case Gathered::Complete:
        break;
    case Gathered::InputEnded:
        if (isql_input_interrupted(state)) return Outcome::Dropped;  // Ctrl-C while typing it
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Input ended before the closing \";\" of the statement; it was not run\n");
        return Outcome::Failed;
    case Gathered::OutOfMemory:
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Out of memory: the statement is too large to hold; it was not run\n");
        return Outcome::Failed;
    }
    isql_command_clock_start();
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%sCannot execute the %s\n", kNotConnected,
                   describe ? "DESCRIBE statement command" : "SQL statement");
        return Outcome::Failed;
    }
    if (describe) return statement_outcome(state, isql_describe_stmt(henv(), hdbc(), stmt.c_str()));
    return run_sql(state, stmt, *gHooks);
}

Outcome cmd_sql(ClientState* state, IsqlCommand& cmd) { return run_statement(state, cmd, false); }
Outcome cmd_describe_stmt(ClientState* state, IsqlCommand& cmd) { return run_statement(state, cmd, true); }
Outcome cmd_empty(ClientState*, IsqlCommand&) { return Outcome::Empty; }

// \format [NAME]: switches the layout of result sets, or names the one in force.
Outcome cmd_format(ClientState*, IsqlCommand& cmd) {
    const std::string name = cmd.sPathOrDsn.value_or("");
    if (!name.empty()) {
        const std::optional<OutputFormat> format = isql_format_by_name(name);
        if (!format) {
            isql_trace(gfpErrFile, TRACE_ERROR,
                       "SQL: Unknown output format %s. Use tsv, csv, json, aligned or expanded\n",
                       name.c_str());
            return Outcome::Failed;
        }
        gSettings.format = *format;
    }
    isql_trace(gfpResFile, TRACE_NOTICE, "Output format is %s\n", isql_format_name(gSettings.format));
    return Outcome::Done;
}

// \driver [full]: the current connection's driver in a few lines, or the
// whole driver report, whose probes connect anew with the same credentials.
Outcome cmd_driver(ClientState* state, IsqlCommand& cmd) {
    const std::string operand = cmd.sPathOrDsn.value_or("");
    if (!operand.empty() && strcasecmp(operand.c_str(), "full") != 0) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: \\driver takes nothing or full, not %s\n", operand.c_str());
        return Outcome::Failed;
    }
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%sCannot report on the driver\n", kNotConnected);
        return Outcome::Failed;
    }
    std::string text = isql_driver_summary(hdbc());
    if (!operand.empty()) {
        std::string why;
        isql_flush_all();  // the probes' children must not inherit unwritten output
        if (!isql_driver_full_report(henv(), hdbc(), state->dsn, utf8_of(state->connectString), utf8_of(state->userName),
                                     utf8_of(state->password), text, why)) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: The probes cannot connect: %s\n", why.c_str());
            return Outcome::Failed;
        }
    }
    isql_write(gfpResFile, TRACE_DATA, text.data(), text.size());
    return Outcome::Done;
}

using Handler = Outcome (*)(ClientState*, IsqlCommand&);

// The handler of each command kind; null for kinds that have none.
Handler handler_for(CmdKind kind) {
    switch (kind) {
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
    case CMD_FORMAT: return cmd_format;
    case CMD_DRIVER: return cmd_driver;
    case CMD_NONE:
    case CMD_END:
        return nullptr;
    }
    return nullptr;
}
}  // namespace

Outcome isql_run_gathered(ClientState* state, const std::wstring& statement, const CommandHooks& hooks) {
    if (hooks.beforeCommand) hooks.beforeCommand(CMD_SQL);
    return run_sql(state, statement, hooks);
}

// Runs one command line of state and writes its elapsed time. No figure is
// negative, however the clock moved.
Outcome isql_process_cmd(ClientState* state, std::wstring& line, const CommandHooks& hooks) {
    IsqlCommand cmd = isql_parse_line(line.c_str());
    if (hooks.beforeCommand) hooks.beforeCommand(cmd.kind);
    struct Using {  // the hooks for this command, the outer ones again after it
        const CommandHooks* outer;
        ~Using() { gHooks = outer; }
    } using_hooks{std::exchange(gHooks, &hooks)};
    isql_command_clock_start();

    Outcome outcome = Outcome::Failed;
    Handler handler = handler_for(cmd.kind);
    if (handler == nullptr) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Invalid CMD type:%d\n",
                   static_cast<int>(cmd.kind));
    } else {
        outcome = handler(state, cmd);
    }
    if (outcome == Outcome::Dropped || outcome == Outcome::FailedSilent) return outcome;

    const long long elapsed = isql_command_clock_us();
    isql_trace(gfpResFile, TRACE_NOTICE, "Elapsed time %ld ms.\n", static_cast<long>(isql_us_to_ms(elapsed)));
    if (cmd.kind == CMD_SQL) {
        isql_trace(gfpResFile, TRACE_NOTICE,
                   "Elapsed time: Prepare %ld ms.\t Execute %ld ms.\t Fetch results %ld ms.\n",
                   static_cast<long>(isql_us_to_ms(lPrepareTime)), static_cast<long>(isql_us_to_ms(lExecTime)),
                   static_cast<long>(isql_us_to_ms(std::max(0LL, elapsed - lPrepareTime - lExecTime))));
    }
    isql_flush_all();
    return outcome;
}
