// One job of a load run (policy in job.h): its process set up, its passes
// through the session's command loop, its counters reported.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/prctl.h>
#include <utility>
#include <vector>
#include <unistd.h>

#include "counters.h"
#include "isqlexec.h"
#include "isqllaunch.h"
#include "isqlloop.h"
#include "isqlodbc.h"
#include "isqlrun.h"
#include "isqltm.h"
#include "job.h"
#include "job_exec.h"
#include "template.h"
#include "wire.h"
#include "zvunicode.h"

namespace {
constexpr long long kReportIntervalMicros = 1000000;
// A job waiting for the schedule looks at the stop this often.
constexpr long long kScheduleWaitMicros = 50000;
constexpr size_t kMessageBytes = 4096;  // messages cut to this for the report
constexpr int kJobExitStatus = 0;      // the parent learns how a job went from the pipe
// Set, statements are counted but not timed: the benchmark measures with it
// what timing them costs.
constexpr const char kUntimedVariable[] = "WSQL_LOAD_UNTIMED";

// The run is to end: a stopping signal, or the parent is gone. Lock-free,
// so the fallback handler below may set it too.
std::atomic<bool> gStop{false};

void stop_requested(int) { gStop.store(true); }

sigset_t stopping_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
    return set;
}

// Takes the stopping signals, which stay blocked in the job's own thread: it
// sets the stop and asks the statement under way to stop between two rows;
// one still running a second later (a long statement, a fetch waiting on
// the server) is sent SQLCancel then, which a signal handler cannot do
// (SQLCancel takes locks and talks to the server), and so on until the job
// ends. Not at once: the job's next statement is seldom far, and SQLite's
// driver frees the statement's result in SQLCancel, beside the job's own
// thread still using it.
void* stop_thread(void*) {
    const sigset_t set = stopping_signals();
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    gStop.store(true);
    isql_request_stop_running();
    for (;;) {
        const timespec second{1, 0};
        sigtimedwait(&set, nullptr, &second);
        isql_cancel_running_stmt();
    }
    return nullptr;
}

// The job of this process. One per process: the observer of diagnostics and
// the signal handler reach it from plain functions.
struct Job {
    explicit Job(const LoadJobPlan& p) : plan(p), statements(settings, counters) {}
    const LoadJobPlan& plan;
    JobSettings settings;
    JobCounters counters;
    JobStatements statements;
    long long nextReport = 0;
    bool parentGone = false;
    CmdKind command = CmdKind::CMD_NONE;  // the command now running
    bool endedLost = false;               // the loop ended because the connection is gone
    long long firstPass = 0;              // when its first pass began; 0 before

    // Sleeps until micros on the monotonic clock, reporting when due; false
    // when the run is to end first.
    bool wait_until(long long micros) {
        while (!time_is_up()) {
            const long long now = isql_now_us();
            if (now >= micros) return true;
            long long until = std::min({micros, nextReport, now + kScheduleWaitMicros});
            if (plan.deadlineMicros != 0) until = std::min(until, plan.deadlineMicros);
            const timespec at{static_cast<time_t>(until / kMicrosPerSecond),
                              static_cast<long>(until % kMicrosPerSecond * 1000)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        }
        return false;
    }

    // --rate: tells the parent the job is ready and waits for the start of
    // every job's schedule; false when the run is to end first.
    bool wait_for_start() {
        send(WireMessage{WireMessage::Kind::Ready});
        char byte;
        while (!time_is_up()) {
            pollfd p{plan.startFd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(kScheduleWaitMicros / kMicrosPerMs)) > 0 &&
                read(plan.startFd, &byte, 1) <= 0)
                return true;
        }
        return false;
    }

    // Writes the whole of text to the parent. A parent gone (EPIPE) stops the job.
    void send(const std::string& text) {
        size_t done = 0;
        while (!parentGone && done < text.size()) {
            const ssize_t n = write(plan.reportFd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                parentGone = true;
                gStop.store(true);
                return;
            }
            done += static_cast<size_t>(n);
        }
    }

    void send(const WireMessage& m) { send(wire_encode(m)); }

    // A connection that could not be made, with the first diagnostic record.
    void send_connect_failure() {
        WireMessage m{WireMessage::Kind::ConnectFailed};
        counters.take_diagnostic(m.state, m.message);
        send(m);
    }

    // Reports when the next interval of the run's clock has begun, so that
    // the jobs report at about the same moments.
    void report_if_due(long long now) {
        if (now < nextReport) return;
        send_report(nextReport - kReportIntervalMicros);
        while (nextReport <= now) nextReport += kReportIntervalMicros;
    }

    // Sends what was counted since the last report, as counted in the second
    // of the run's clock that holds micros: the parent's intervals are of
    // the time the job counted, not of the time the lines came.
    void send_report(long long micros) {
        WireMessage second{WireMessage::Kind::Second};
        second.id = static_cast<uint64_t>(std::max(0LL, micros - plan.startMicros) / kReportIntervalMicros);
        send(second);
        send(counters.take_report());
    }

    // The end of the run has come: a stopping signal or the end of
    // --duration. One look at the clock serves the report as well.
    bool time_is_up() {
        const long long now = isql_now_us();
        report_if_due(now);
        return gStop.load() || (plan.deadlineMicros != 0 && now >= plan.deadlineMicros);
    }

    void before_command(CmdKind kind) {
        command = kind;
        std::string state, message;
        counters.take_diagnostic(state, message);  // a failure of this command reports its own
        // These may disconnect the shared connection, whose statements go with it.
        if (kind == CmdKind::CMD_CONNECT || kind == CmdKind::CMD_CUSTOMCONNECT || kind == CmdKind::CMD_DISCONNECT)
            statements.forget();
    }

    // Counts the outcome of the command just run; true when the job must
    // end (its connection is gone).
    bool counted(Outcome outcome) {
        const CmdKind kind = std::exchange(command, CmdKind::CMD_NONE);
        isql_count_command(outcome);
        if (outcome != Outcome::Failed && outcome != Outcome::FailedSilent) return false;
        counters.note_failed_command();
        if (kind == CmdKind::CMD_CONNECT || kind == CmdKind::CMD_CUSTOMCONNECT) send_connect_failure();
        endedLost = counters.lost() || isql_connection_lost();
        return endedLost;
    }
};
Job* gJob = nullptr;

void keep_first_diagnostic(const wchar_t* state, const wchar_t* message) {
    if (gJob != nullptr) gJob->counters.keep_diagnostic(utf8_of(state), utf8_of(message).substr(0, kMessageBytes));
}

// One command of the script, read once for every pass.
struct Step {
    std::wstring line;       // as the dispatcher takes it (a statement in its EXEC form)
    std::wstring statement;  // of an SQL line, gathered whole
    bool sql = false;
};

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

// One command of a script as a job reads it.
struct ScriptCommand {
    IsqlCommand cmd;
    std::wstring line;
    long long lineNumber = 0;  // of its first line
    std::wstring statement;    // of SQL and DESCRIBE of a query, gathered whole
    Gathered gathered = Gathered::Complete;
};

// The next command of src: empty lines, comments and empty commands skipped,
// the statement of SQL and of DESCRIBE of a query gathered to its ";" as the
// dispatcher gathers it. False at the end of src.
bool next_script_command(ClientState* src, ScriptCommand& out) {
    for (;;) {
        out.lineNumber = src->reader.lines + 1;
        if (isql_get_newcmd(src, out.line, "ISQL") != 1) return false;
        if (out.line.empty() || out.line[0] == L'#') continue;
        out.cmd = isql_parse_line(out.line.c_str());
        if (out.cmd.kind == CmdKind::CMD_EMPTY) continue;
        out.statement.clear();
        out.gathered = Gathered::Complete;
        if (out.cmd.kind == CmdKind::CMD_SQL || out.cmd.kind == CmdKind::CMD_DESCRIBE_STMT)
            out.gathered = isql_get_stmt(src, out.cmd.wsText, out.statement);
        return true;
    }
}

// Reads the script once into steps, as a REPEAT block is read. False when it
// must be read at every pass instead: it has a REPEAT block or a DESCRIBE of
// a query, which read lines of their own, a statement without its ";", or a
// line that cannot be decoded.
bool read_steps(ClientState* first, std::vector<Step>& steps) {
    ScriptCommand c;
    while (next_script_command(first, c)) {
        if (c.cmd.kind == CmdKind::CMD_REPEAT || c.cmd.kind == CmdKind::CMD_DESCRIBE_STMT) return false;
        if (c.gathered != Gathered::Complete) return false;
        Step step;
        step.sql = c.cmd.kind == CmdKind::CMD_SQL;
        step.line = step.sql ? L"exec " + c.statement + L";" : c.line;
        step.statement = std::move(c.statement);
        steps.push_back(std::move(step));
    }
    return !first->reader.undecodable;
}

// Sets up the job's process: signals, standard streams, its input. Empty
// when it is ready, else how the job ended.
std::optional<JobEnd> set_up(Job& job, ClientState* first) {
    // The parent blocked the stopping signals across the fork; they stay
    // blocked here for the thread that takes them. Without that thread, a
    // handler only sets the stop, and a statement under way runs to its end.
    struct sigaction stop {};
    stop.sa_handler = stop_requested;
    stop.sa_flags = SA_RESTART;  // drivers are not all ready for EINTR
    sigemptyset(&stop.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const sigset_t stopping = stopping_signals();
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
    pthread_t taker;
    if (pthread_create(&taker, nullptr, stop_thread, nullptr) == 0) pthread_detach(taker);
    else pthread_sigmask(SIG_UNBLOCK, &stopping, nullptr);
    job.settings.stop = &gStop;

    const std::string& dir = job.plan.jobOutputDir;
    const std::string base = dir.empty() ? "" : dir + "/job-" + std::to_string(job.plan.number);
    if (!redirect(STDIN_FILENO, "", O_RDONLY) ||
        !redirect(STDOUT_FILENO, dir.empty() ? "" : base + ".out", O_WRONLY | O_CREAT | O_TRUNC) ||
        !redirect(STDERR_FILENO, dir.empty() ? "" : base + ".err", O_WRONLY | O_CREAT | O_TRUNC))
        return JobEnd::OutputUnopened;
    job.settings.keepOutput = !dir.empty();
    if (!job.settings.keepOutput) {
        isql_trace_init(0);  // nobody reads it
        gMaxRows = 0;        // every row is fetched, as with -b
    }
    if (!script_as_input(first, *job.plan.script)) return JobEnd::ScriptUncopied;
    if (!isql_init_odbc()) return JobEnd::NoEnvironment;
    isql_observe_diagnostics(keep_first_diagnostic);
    return std::nullopt;
}

// The scheduled starts of a job's passes under --rate: Poisson arrivals (as
// of independent clients) whose rate goes linearly from the plan's rateFrom
// at the run's start to rateTo at its deadline. Each gap inverts the
// integral of the rate over it: an exponential draw E of mean 1 gives the
// gap g with r*g + slope*g*g/2 = E, r the rate where the last one was.
class Schedule {
public:
    Schedule(const LoadJobPlan& plan, uint64_t seed) : start_(plan.startMicros), from_(plan.rateFrom), rng_(seed) {
        const long long span = plan.deadlineMicros - plan.startMicros;
        if (plan.deadlineMicros != 0 && span > 0) slope_ = (plan.rateTo - plan.rateFrom) * kMicrosPerSecond / span;
    }
    // The arrivals begin at micros (the job is ready), on the monotonic clock.
    void begin_at(long long micros) { at_ = static_cast<double>(micros - start_) / kMicrosPerSecond; }
    // The next scheduled start; LLONG_MAX when a ramp down to 0 has none left.
    long long next() {
        const double e = exponential_(rng_);
        const double rate = from_ + slope_ * at_;
        const double root = rate * rate + 2 * slope_ * e;
        const double denominator = rate + std::sqrt(std::max(root, 0.0));
        if (root < 0 || denominator <= 0) return LLONG_MAX;
        at_ += 2 * e / denominator;  // the root of the quadratic, stable as slope goes to 0
        return start_ + std::llround(at_ * kMicrosPerSecond);
    }

private:
    long long start_;    // the run's start
    double from_;        // passes per second at the start
    double slope_ = 0;   // passes per second gained each second
    double at_ = 0;      // seconds from the start to the last arrival
    std::mt19937_64 rng_;
    std::exponential_distribution<double> exponential_{1.0};
};

// Runs the passes of the script until the run ends; how the job ended.
JobEnd run_passes(Job& job, ClientState* first) {
    // With the output dropped the script is read once; with --job-output at
    // every pass, so that each job's output is a session's.
    std::vector<Step> steps;
    const bool once = !job.settings.keepOutput && rewind_script(first) && read_steps(first, steps);
    size_t nextStep = 0;
    LoopPolicy policy;
    policy.base = first;
    policy.hooks.runStatement = [&job](SQLHDBC hdbc, const std::wstring& text) {
        return job.statements.exec(hdbc, text);
    };
    policy.hooks.beforeCommand = [&job](CmdKind kind) { job.before_command(kind); };
    policy.mustEnd = [&job] { return job.time_is_up(); };
    policy.counted = [&job](Outcome outcome) { return job.counted(outcome); };
    // The end of a file may reconnect its parent.
    policy.sourceEnding = [&job] { job.statements.forget(); };
    if (once) {
        policy.baseLines = [&](SourceLine& next) {
            if (nextStep == steps.size()) return false;
            const Step& step = steps[nextStep++];
            next.statement = step.sql ? &step.statement : nullptr;
            // A statement on the connection skips the dispatcher: no line to copy.
            if (next.statement == nullptr || first->connected == 0) next.line = step.line;
            return true;
        };
    }
    // A skipped pass counts towards --runs: the run is of its scheduled passes.
    const bool paced = job.plan.rateFrom + job.plan.rateTo > 0;
    const long long limit = job.plan.latencyLimitMicros;
    const bool timed = paced || job.settings.timed;
    Schedule schedule(job.plan, job.settings.random());
#ifdef PR_SET_TIMERSLACK
    // The kernel may wake a sleeper up to 50 us late to batch timers: lag
    // that the schedule would count against the server.
    if (paced) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    if (paced && job.plan.startFd >= 0 && !job.wait_for_start())
        return gStop.load() ? JobEnd::Stopped : JobEnd::Completed;
    schedule.begin_at(isql_now_us());
    for (long long pass = 1;; ++pass) {
        if (job.plan.runs != 0 && pass > job.plan.runs) return JobEnd::Completed;
        long long began = timed ? isql_now_us() : 0;
        if (paced) {
            const long long due = schedule.next();
            if (!job.wait_until(due)) return gStop.load() ? JobEnd::Stopped : JobEnd::Completed;
            began = isql_now_us();
            if (limit != 0 && began - due > limit) {
                job.counters.note_skipped();
                continue;
            }
            job.counters.note_lag(static_cast<uint64_t>(began - due));
            began = due;  // what a client arriving then would wait for counts
        }
        if (job.firstPass == 0) job.firstPass = timed ? began : isql_now_us();
        job.settings.pass = pass;
        nextStep = 0;
        if (!once && !rewind_script(first)) return JobEnd::ScriptUnreadable;
        switch (isql_run_commands(policy)) {
        case LoopEnd::InputEnded: {
            const long long took = timed ? std::max(0LL, isql_now_us() - began) : 0;
            job.counters.note_pass(static_cast<uint64_t>(took), limit != 0 && took > limit);
            break;
        }
        case LoopEnd::Ended:
            if (job.endedLost) return JobEnd::ConnectionLost;
            return gStop.load() ? JobEnd::Stopped : JobEnd::Completed;
        case LoopEnd::Stopped: return JobEnd::OnErrorStop;
        case LoopEnd::Exit: return JobEnd::Exit;
        }
    }
}
}  // namespace

bool load_check_script(const ClientState& first, const std::string& script, std::vector<std::string>* texts) {
    ClientState copy;
    copy.inName = first.inName;
    if (!script_as_input(&copy, script) || !rewind_script(&copy)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not copy the script to check it: %s\n", std::strerror(errno));
        if (copy.inFile != nullptr) std::fclose(copy.inFile);
        return false;
    }
    std::string why;
    ScriptCommand c;
    bool commands = false;
    // -f dumps each line read: the jobs' business, not the parent's.
    const int hexDisplay = std::exchange(gHexDisplay, 0);
    // The lines of a REPEAT block are read on as commands of their own.
    while (why.empty() && next_script_command(&copy, c)) {
        commands = true;
        std::wstring fault;
        LoadTemplate tmpl;
        if (c.gathered == Gathered::InputEnded) why = "the statement has no closing \";\"";
        else if (c.gathered == Gathered::OutOfMemory) why = "the statement is too large to hold";
        else if (c.cmd.kind == CmdKind::CMD_SQL && !parse_load_template(c.statement, tmpl, fault)) why = utf8_of(fault);
        if (texts != nullptr && c.cmd.kind == CmdKind::CMD_SQL) texts->push_back(utf8_of(c.statement));
    }
    gHexDisplay = hexDisplay;
    const bool undecodable = copy.reader.undecodable;  // said by the reader
    std::fclose(copy.inFile);
    if (!why.empty()) why = "Line " + std::to_string(c.lineNumber) + " of " + first.inName + ": " + why;
    else if (undecodable) why = first.inName + " cannot be read whole";
    else if (!commands) why = "Nothing to run: " + first.inName + " holds only empty lines and comments";
    else return true;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: %s; the load run did not start\n", why.c_str());
    return false;
}

void load_run_job(ClientState* first, const LoadJobPlan& plan) {
    Job job(plan);
    gJob = &job;
    job.settings.number = plan.number;
    job.settings.prepare = plan.prepare;
    job.settings.timed = std::getenv(kUntimedVariable) == nullptr;
    job.settings.random.seed(static_cast<uint64_t>(isql_now_us()) ^ static_cast<uint64_t>(plan.number));
    job.nextReport = plan.startMicros + kReportIntervalMicros;

    std::optional<JobEnd> end = set_up(job, first);
    if (!end && isql_connect_from_command_line(first) == Outcome::Failed) {
        job.send_connect_failure();
        job.counters.note_failed_command();
        end = JobEnd::CouldNotConnect;
    }
    if (!end) end = run_passes(job, first);
    // The end of its passes, before the disconnection, which a loaded
    // machine may draw out: the rates are those of the passes.
    const long long ended = isql_now_us();
    if (*end == JobEnd::ConnectionLost) job.send(WireMessage{WireMessage::Kind::Lost});
    job.statements.forget();
    isql_exit();
    isql_term();
    isql_flush_all();
    job.send_report(isql_now_us());
    WireMessage last{WireMessage::Kind::End};
    // Both from the run's start on the parent's clock: the report's rates
    // are all taken over one span.
    last.micros = static_cast<uint64_t>(std::max(0LL, ended - plan.startMicros));
    const long long firstPass = job.firstPass != 0 ? job.firstPass : ended;
    last.firstPass = static_cast<uint64_t>(std::max(0LL, firstPass - plan.startMicros));
    last.end = *end;
    last.outputLost = isql_output_lost();
    job.send(last);
    _exit(kJobExitStatus);
}
