// One job of a load run, in a process of its own: a session on its own
// connection running the script pass after pass, its counters sent to the
// parent through a pipe about once a second and at its end.
//
// Lines on the pipe, fields separated by tabs (texts escaped by escape_field):
//   T id text                      a statement text met for the first time
//   S id count errors sum max b:n,b:n...   executions since the last report, with
//                                  the latency buckets of the successes
//   E count state message          failures of one SQLSTATE since the last report
//   J failed passes                failed commands and complete passes since then
//   C state message                a connection could not be made
//   L                              the connection was lost
//   Z micros end                   the job ended: its time and how it ended
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "isqlexec.h"
#include "isqllaunch.h"
#include "isqlload.h"
#include "isqlodbc.h"
#include "isqlrun.h"
#include "isqltm.h"
#include "zvunicode.h"

LoadJobSettings gLoadJob;

namespace {
constexpr long long kReportIntervalMicros = 1000000;
constexpr long long kMicrosPerSecond = 1000000;
constexpr long long kNanosPerMicro = 1000;
constexpr size_t kMessageBytes = 4096;  // messages cut to this for the report
constexpr int kJobExitStatus = 0;      // the parent learns how a job went from the pipe
// Set, statements are counted but not timed: the benchmark measures with it
// what timing them costs.
constexpr const char kUntimedVariable[] = "WSQL_LOAD_UNTIMED";

volatile sig_atomic_t gStop = 0;

struct Counter {
    bool announced = false;
    std::string text;
    uint64_t count = 0, errors = 0;
    LatencyHistogram latency;  // since the last report
};

struct FailureGroup {
    uint64_t count = 0;
    std::string message;
};

struct JobCounters {
    std::vector<Counter> statements;
    std::map<std::string, FailureGroup> failures;  // since the last report
    uint64_t failedCommands = 0, passes = 0;       // since the last report
    long long nextReport = 0;
    int fd = -1;
    bool parentGone = false;
    bool lost = false;          // the connection was lost
    CmdKind command = CmdKind::CMD_NONE;  // the command now running
    std::string diagState, diagMessage;   // first record since the last take
};
JobCounters gJob;

void stop_requested(int) { gStop = 1; }

std::string utf8(const wchar_t* text) {
    const size_t n = std::wcslen(text);
    std::string out(n * 4 + 1, '\0');
    const int got = wcstoutf8(text, static_cast<long>(n), reinterpret_cast<unsigned char*>(out.data()),
                              static_cast<int>(out.size()));
    out.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return out;
}

void keep_first_diagnostic(const wchar_t* state, const wchar_t* message) {
    if (!gJob.diagState.empty() || !gJob.diagMessage.empty()) return;
    gJob.diagState = utf8(state);
    gJob.diagMessage = utf8(message).substr(0, kMessageBytes);
}

// Tabs, line ends and backslashes escaped, so that a field stays one field.
std::string escape_field(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

// One line of fields for the parent, fields separated by tabs.
std::string line_of(std::initializer_list<std::string_view> fields) {
    std::string out;
    for (std::string_view f : fields) {
        if (!out.empty()) out += '\t';
        out += f;
    }
    out += '\n';
    return out;
}

// Writes the whole of text to the parent. A parent gone (EPIPE) stops the job.
void send(const std::string& text) {
    size_t done = 0;
    while (!gJob.parentGone && done < text.size()) {
        const ssize_t n = write(gJob.fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            gJob.parentGone = true;
            gStop = 1;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

// Sends what was counted since the last report.
void report_counts() {
    std::string out;
    for (size_t id = 0; id < gJob.statements.size(); ++id) {
        Counter& c = gJob.statements[id];
        if (!c.announced) {
            out += line_of({"T", std::to_string(id), escape_field(c.text)});
            c.announced = true;
        }
        if (c.count == 0) continue;
        std::string buckets;
        for (size_t b = 0; b < LatencyHistogram::kBuckets && c.latency.count() != 0; ++b) {
            if (c.latency.bucket(b) == 0) continue;
            if (!buckets.empty()) buckets += ',';
            buckets += std::to_string(b);
            buckets += ':';
            buckets += std::to_string(c.latency.bucket(b));
        }
        out += line_of({"S", std::to_string(id), std::to_string(c.count), std::to_string(c.errors),
                        std::to_string(c.latency.sum()), std::to_string(c.latency.max()), buckets});
        c.count = c.errors = 0;
        c.latency.clear();
    }
    for (const auto& [state, f] : gJob.failures)
        out += line_of({"E", std::to_string(f.count), escape_field(state), escape_field(f.message)});
    gJob.failures.clear();
    if (gJob.failedCommands != 0 || gJob.passes != 0)
        out += line_of({"J", std::to_string(gJob.failedCommands), std::to_string(gJob.passes)});
    gJob.failedCommands = gJob.passes = 0;
    send(out);
}

// Reports when the next interval of the run's clock has begun, so that the
// jobs report at about the same moments.
void report_if_due(long long now) {
    if (now < gJob.nextReport) return;
    report_counts();
    while (gJob.nextReport <= now) gJob.nextReport += kReportIntervalMicros;
}

// Points descriptor fd at path (created or emptied), or at /dev/null when
// path is empty. False when it cannot be opened.
bool redirect(int fd, const std::string& path, int flags) {
    const int got = open(path.empty() ? "/dev/null" : path.c_str(), flags, 0644);
    if (got < 0) return false;
    if (got != fd) {
        const bool moved = dup2(got, fd) == fd;
        close(got);
        return moved;
    }
    return true;
}

// Makes the script the first source's input: a file of the job's own, so
// that each pass can read it again from its start.
bool script_as_input(ClientState* first, const std::string& script) {
    FILE* input = std::tmpfile();
    if (input == nullptr) return false;
    if (std::fwrite(script.data(), 1, script.size(), input) != script.size() || std::fflush(input) != 0) {
        std::fclose(input);
        return false;
    }
    first->inFile = input;
    return true;
}

// Reads the script again from its start; the read-ahead buffer is kept.
bool rewind_script(ClientState* first) {
    if (lseek(fileno(first->inFile), 0, SEEK_SET) != 0) return false;
    std::unique_ptr<char[]> buffer = std::move(first->reader.buf);
    first->reader = LineReader{};
    first->reader.buf = std::move(buffer);
    return true;
}

// The end of the run has come: a stopping signal or the end of --duration.
// One look at the clock serves the report as well.
bool time_is_up(const LoadJobPlan& plan) {
    const long long now = isql_load_now_micros();
    report_if_due(now);
    return gStop != 0 || (plan.deadlineMicros != 0 && now >= plan.deadlineMicros);
}

// How the command just run went, for the counters; true when the job must
// end (its connection is gone).
bool count_outcome(Outcome outcome) {
    isql_count_command(outcome);
    if (outcome != Outcome::Failed && outcome != Outcome::FailedSilent) return false;
    ++gJob.failedCommands;
    const bool connecting = gJob.command == CmdKind::CMD_CONNECT || gJob.command == CmdKind::CMD_CUSTOMCONNECT;
    std::string state, message;
    isql_load_take_diagnostic(state, message);
    if (connecting) send(line_of({"C", escape_field(state), escape_field(message)}));
    return gJob.lost || isql_connection_lost();
}

enum class PassEnd { Complete, Stopped, Lost, OnErrorStop, Exit };

// Checks made before each command: the end of the run, --on-error=stop.
bool must_end(const LoadJobPlan& plan, PassEnd& why) {
    if (time_is_up(plan)) why = PassEnd::Stopped;
    else if (isql_run_must_stop()) why = PassEnd::OnErrorStop;
    else return false;
    return true;
}

// Runs one command line as the session's main loop would.
Outcome run_line(ClientState* state, std::wstring& line) {
    try {
        return isql_process_cmd(state, line);
    } catch (const std::bad_alloc&) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Out of memory; the command was not completed\n");
        return Outcome::Failed;
    }
}

// After a command: counts it; true (with why set) when the job must end.
bool after_command(Outcome outcome, PassEnd& why) {
    gJob.command = CmdKind::CMD_NONE;
    if (gClientStateList.states.empty()) why = PassEnd::Exit;  // EXIT or QUIT
    else if (count_outcome(outcome)) why = PassEnd::Lost;
    else return false;
    return true;
}

// Reads and runs commands as the session's main loop does: the whole of
// first's input, or with nestedOnly the command files opened above it, up to
// their end.
PassEnd run_input(ClientState* first, const LoadJobPlan& plan, bool nestedOnly) {
    std::wstring line;
    for (PassEnd why;;) {
        if (must_end(plan, why)) return why;
        ClientState* state = gClientStateList.last();
        if (nestedOnly && state == first) return PassEnd::Complete;
        if (!isql_get_nextcmd(state, line)) {
            const bool cutShort = state->reader.undecodable;
            if (state == first) {
                if (cutShort) count_outcome(Outcome::Failed);
                return PassEnd::Complete;
            }
            isql_load_forget_statements();  // the file's end may reconnect its parent
            isql_close_curstate(state);
            if (cutShort && count_outcome(Outcome::Failed)) return PassEnd::Lost;
            continue;
        }
        if (!line.empty() && line[0] == L'#') continue;
        if (after_command(run_line(state, line), why)) return why;
    }
}

// One command of the script, read once for every pass.
struct Step {
    std::wstring line;       // as the dispatcher takes it (a statement in its EXEC form)
    std::wstring statement;  // of an SQL line, gathered whole
    bool sql = false;
};

// Reads the script once into steps, its statements gathered whole, as a
// REPEAT block is read. False when it must be read at every pass instead:
// it has a REPEAT block or a DESCRIBE of a query, which read lines of their
// own, or a line that cannot be decoded.
bool read_steps(ClientState* first, std::vector<Step>& steps) {
    std::wstring line;
    while (isql_get_newcmd(first, line, "ISQL") == 1) {
        if (line.empty() || line[0] == L'#') continue;
        const IsqlCommand cmd = isql_parse_line(line.c_str());
        if (cmd.kind == CmdKind::CMD_EMPTY) continue;
        if (cmd.kind == CmdKind::CMD_REPEAT || cmd.kind == CmdKind::CMD_DESCRIBE_STMT) return false;
        Step step;
        if (cmd.kind == CmdKind::CMD_SQL) {
            if (isql_get_stmt(first, cmd.wsText, step.statement) != Gathered::Complete) return false;
            step.line = L"exec " + step.statement + L";";
            step.sql = true;
        } else {
            step.line = line;
        }
        steps.push_back(std::move(step));
    }
    return !first->reader.undecodable;
}

// Runs the steps once. A statement on the connection goes straight to the
// statement runner: with the output dropped, what the dispatcher adds around
// it (parsing, timing lines) is not wanted.
PassEnd run_steps(ClientState* first, const std::vector<Step>& steps, const LoadJobPlan& plan) {
    std::wstring line;
    for (const Step& step : steps) {
        PassEnd why;
        if (must_end(plan, why)) return why;
        Outcome outcome;
        if (step.sql && first->connected != 0) {
            isql_load_before_command(CmdKind::CMD_SQL);
            outcome = isql_load_exec(gClientStateList.hdbc, step.statement) == 0 ? Outcome::Done : Outcome::Failed;
        } else {
            line = step.line;
            outcome = run_line(first, line);
        }
        if (after_command(outcome, why)) return why;
        if (gClientStateList.last() != first && (why = run_input(first, plan, true)) != PassEnd::Complete)
            return why;
    }
    return PassEnd::Complete;
}

// Sets up the job's process: signals, standard streams, its input. An empty
// result when it is ready, else how the job ended.
std::string set_up(ClientState* first, const LoadJobPlan& plan) {
    struct sigaction stop {};
    stop.sa_handler = stop_requested;
    stop.sa_flags = SA_RESTART;  // drivers are not all ready for EINTR
    sigemptyset(&stop.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t unblock;
    sigemptyset(&unblock);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&unblock, sig);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);

    const std::string& dir = gLoadRequest.jobOutputDir;
    const std::string base = dir.empty() ? "" : dir + "/job-" + std::to_string(plan.number);
    if (!redirect(STDIN_FILENO, "", O_RDONLY) ||
        !redirect(STDOUT_FILENO, dir.empty() ? "" : base + ".out", O_WRONLY | O_CREAT | O_TRUNC) ||
        !redirect(STDERR_FILENO, dir.empty() ? "" : base + ".err", O_WRONLY | O_CREAT | O_TRUNC))
        return "its output files could not be opened";
    gLoadJob.keepOutput = !dir.empty();
    if (!gLoadJob.keepOutput) {
        isql_trace_init(0);  // nobody reads it
        gMaxRows = 0;        // every row is fetched, as with -b
    }
    if (!script_as_input(first, *plan.script)) return "its script could not be copied";
    if (!isql_init_odbc()) return "the ODBC environment could not be set up";
    isql_observe_diagnostics(keep_first_diagnostic);
    return "";
}
}  // namespace

long long isql_load_now_micros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * kMicrosPerSecond + ts.tv_nsec / kNanosPerMicro;
}

size_t isql_load_text_id(const std::string& text) {
    gJob.statements.emplace_back();
    gJob.statements.back().text = text;
    return gJob.statements.size() - 1;
}

void isql_load_note_success(size_t id, uint64_t micros) {
    Counter& c = gJob.statements[id];
    ++c.count;
    c.latency.record(micros);
}

void isql_load_note_failure(size_t id, const std::string& state, const std::string& message) {
    Counter& c = gJob.statements[id];
    ++c.count;
    ++c.errors;
    FailureGroup& f = gJob.failures[state];
    if (f.count++ == 0) f.message = message;
    if (state.starts_with("08")) gJob.lost = true;  // connection exceptions
}

void isql_load_take_diagnostic(std::string& state, std::string& message) {
    state = std::move(gJob.diagState);
    message = std::move(gJob.diagMessage);
    gJob.diagState.clear();
    gJob.diagMessage.clear();
}

void isql_load_before_command(CmdKind kind) {
    gJob.command = kind;
    gJob.diagState.clear();  // a failure of this command reports its own
    gJob.diagMessage.clear();
    // These may disconnect the shared connection, whose statements go with it.
    if (kind == CmdKind::CMD_CONNECT || kind == CmdKind::CMD_CUSTOMCONNECT || kind == CmdKind::CMD_DISCONNECT)
        isql_load_forget_statements();
}

void isql_load_run_job(ClientState* first, const LoadJobPlan& plan) {
    gLoadJob.active = true;
    gLoadJob.number = plan.number;
    gLoadJob.prepare = gLoadRequest.prepare;
    gLoadJob.timed = std::getenv(kUntimedVariable) == nullptr;
    gLoadJob.random.seed(static_cast<uint64_t>(isql_load_now_micros()) ^ static_cast<uint64_t>(plan.number));
    gJob.fd = plan.reportFd;
    gJob.nextReport = plan.startMicros + kReportIntervalMicros;

    std::string end = set_up(first, plan);
    const long long started = isql_load_now_micros();
    if (end.empty() && isql_connect_from_command_line(first) == Outcome::Failed) {
        std::string state, message;
        isql_load_take_diagnostic(state, message);
        send(line_of({"C", escape_field(state), escape_field(message)}));
        ++gJob.failedCommands;
        end = "could not connect";
    }
    // With the output dropped the script is read once; with --job-output at
    // every pass, so that each job's output is a session's.
    std::vector<Step> steps;
    const bool once = end.empty() && !gLoadJob.keepOutput && rewind_script(first) && read_steps(first, steps);
    for (long long pass = 1; end.empty(); ++pass) {
        if (plan.runs != 0 && pass > plan.runs) {
            end = "completed";
            break;
        }
        gLoadJob.pass = pass;
        if (!once && !rewind_script(first)) {
            end = "its script could not be read again";
            break;
        }
        switch (once ? run_steps(first, steps, plan) : run_input(first, plan, false)) {
        case PassEnd::Complete: ++gJob.passes; break;
        case PassEnd::Stopped: end = gStop != 0 ? "stopped" : "completed"; break;
        case PassEnd::Lost: end = "connection lost"; break;
        case PassEnd::OnErrorStop: end = "stopped by --on-error=stop"; break;
        case PassEnd::Exit: end = "ended by EXIT"; break;
        }
    }
    if (end == "connection lost") send(line_of({"L"}));
    isql_load_forget_statements();
    isql_exit();
    isql_term();
    isql_flush_all();
    report_counts();
    send(line_of({"Z", std::to_string(isql_load_now_micros() - started), escape_field(end)}));
    _exit(kJobExitStatus);
}
