// The parent of a load run: one child process per job, the counters read
// from their pipes, the progress line at a terminal, the report; and
// --merge-reports, which combines the JSON reports of several runs.
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "isqlrun.h"
#include "isqltm.h"
#include "html.h"
#include "job.h"
#include "metrics.h"
#include "options.h"
#include "report.h"
#include "threshold.h"
#include "wire.h"
#include "workload.h"

namespace {
constexpr long long kProgressMicros = 1000000;  // one progress line a second
constexpr long long kProgressSlackMicros = 200000;  // --progress: its lines wait this for the jobs' reports
// A job still running this long after the end of the run (or after Ctrl-C)
// is asked to stop with SIGTERM, and killed this long after that.
constexpr long long kStopGraceMicros = 10 * kMicrosPerSecond;
constexpr long long kKillGraceMicros = 5 * kMicrosPerSecond;
constexpr size_t kReadBytes = 65536;
constexpr double kProgressPercentile = 95;
constexpr size_t kShownLineBytes = 200;  // of a malformed line in its message

volatile sig_atomic_t gStopSignal = 0;

void note_stop(int sig) { gStopSignal = sig; }

// One job as the parent sees it.
struct Child {
    pid_t pid = -1;
    int fd = -1;               // read end of its pipe; -1 once it ended
    std::string pending;       // bytes of an unfinished line
    std::vector<size_t> ids;   // its statement ids -> entries of the report
    bool ended = false;        // its Z line came
    bool connected = true;     // false when it ended for want of a connection
    bool outputLost = false;   // some of its output could not be written
    long long lines = 0;       // lines read from it, for messages that name one
    LoadJob totals;
    // From the run's start: when its first pass began (its end when none
    // did) and when it ended; -1 until known.
    long long firstPassMicros = -1, endMicros = -1;
    bool ready = false;  // --rate: waiting for the start of the schedules
    long long second = 0;  // of the run's clock, that its lines now read counted
};

class Watch;

class Run {
public:
    Watch* watch = nullptr;  // the series, thresholds and metrics file, when asked
    LoadReport report;
    LatencyHistogram window;   // latencies since the last progress line
    uint64_t windowStatements = 0;
    LatencyHistogram passWindow;  // --progress: pass latencies since the last line
    uint64_t windowPasses = 0;
    std::vector<Child> children;
    long long start = 0;  // the run's start on the monotonic clock
    int startFd = -1;     // --rate: closed once every job is ready, which starts them all

    // --rate: starts the schedules once no job is still connecting.
    void start_schedules() {
        for (const Child& c : children)
            if (!c.ready && c.fd >= 0) return;
        close(startFd);
        startFd = -1;
    }

    // Applies one line of child c; a line that is not a report line is
    // reported and counts as a failure of the job.
    void apply(Child& c, const std::string& line) {
        ++c.lines;
        WireMessage m;
        std::string why;
        if (!wire_decode(line, m, why)) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Job %ld sent a malformed line %lld (%s): %s\n", c.totals.number,
                       c.lines, why.c_str(), line.substr(0, kShownLineBytes).c_str());
            ++c.totals.failedCommands;
            c.totals.complete = false;  // what the line counted is not in the report
            return;
        }
        note_watched(c, m);
        using K = WireMessage::Kind;
        switch (m.kind) {
        case K::Text: {
            LoadStatement& s = report.statement(m.text);
            if (c.ids.size() <= m.id) c.ids.resize(m.id + 1, 0);
            c.ids[m.id] = static_cast<size_t>(&s - report.statements.data());
            break;
        }
        case K::Stats: {
            if (m.id >= c.ids.size()) break;
            LoadStatement& s = report.statements[c.ids[m.id]];
            s.count += m.count;
            s.errors += m.errors;
            c.totals.statements += m.count;
            windowStatements += m.count;
            // The buckets go straight into the statement's histogram and into
            // that of the progress line.
            for (const auto& [bucket, n] : m.buckets) {
                s.latency.add_bucket(bucket, n);
                window.add_bucket(bucket, n);
            }
            s.latency.add_totals(m.sum, m.max);
            window.add_totals(m.sum, m.max);
            break;
        }
        case K::Errors: report.add_error(m.state, m.message, m.count); break;
        case K::Job:
            c.totals.failedCommands += m.failed;
            c.totals.passes += m.passes;
            windowPasses += m.passes;
            report.latePasses += m.late;
            report.skippedPasses += m.skipped;
            break;
        case K::Passes:
        case K::Lag: {
            LatencyHistogram& h = m.kind == K::Passes ? report.passLatency : report.lag;
            for (const auto& [bucket, n] : m.buckets) {
                h.add_bucket(bucket, n);
                if (m.kind == K::Passes) passWindow.add_bucket(bucket, n);
            }
            h.add_totals(m.sum, m.max);
            if (m.kind == K::Passes) passWindow.add_totals(m.sum, m.max);
            break;
        }
        case K::ConnectFailed:
            ++report.connectFailures;
            report.add_error(m.state, m.message, 1);
            break;
        case K::Lost: ++report.connectionsLost; break;
        case K::Ready: c.ready = true; break;
        case K::Second:
            // Never past the parent's own clock: a second no interval can hold yet.
            c.second = std::min(static_cast<long long>(std::min<uint64_t>(m.id, LLONG_MAX)),
                                (isql_now_us() - start) / kMicrosPerSecond + 1);
            break;
        case K::End:
            c.endMicros = static_cast<long long>(m.micros);
            c.firstPassMicros = static_cast<long long>(m.firstPass);
            c.totals.end = job_end_text(m.end);
            if (m.outputLost) c.totals.end += ", output lost";
            c.connected = m.end != JobEnd::CouldNotConnect;
            c.outputLost = m.outputLost;
            c.ended = true;
            break;
        }
    }

    // Reads what child c wrote; at its end, reaps it.
    void read_child(Child& c) {
        char buf[kReadBytes];
        const ssize_t n = read(c.fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n > 0) {
            c.pending.append(buf, static_cast<size_t>(n));
            size_t start = 0;
            for (size_t nl; (nl = c.pending.find('\n', start)) != std::string::npos; start = nl + 1)
                apply(c, c.pending.substr(start, nl - start));
            c.pending.erase(0, start);
            return;
        }
        close(c.fd);
        c.fd = -1;
        int status = 0;
        while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (c.endMicros < 0) c.endMicros = isql_now_us() - start;  // it sent no end
        if (c.ended) return;
        c.totals.end = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                           : "ended without its report";
        ++c.totals.failedCommands;
        c.totals.complete = false;  // what it counted since its last report is lost
    }

    void note_watched(const Child& c, const WireMessage& m);

    void signal_live(int sig) {
        for (const Child& c : children)
            if (c.fd >= 0) kill(c.pid, sig);
    }

    size_t live() const {
        size_t n = 0;
        for (const Child& c : children) n += c.fd >= 0 ? 1 : 0;
        return n;
    }
};

// Takes every rate of the report over one span of the parent's clock: from
// the first pass of any job to the end of each job (the last one's for the
// run), so that the rates of jobs that ran to the end add up to the run's.
// The connections made before the first pass are not in it.
void take_spans(Run& run) {
    long long from = -1, to = -1;
    for (const Child& c : run.children) {
        const bool passed = c.firstPassMicros >= 0 && c.firstPassMicros < c.endMicros;
        if (passed && (from < 0 || c.firstPassMicros < from)) from = c.firstPassMicros;
        to = std::max(to, c.endMicros);
    }
    from = std::max(from, 0LL);
    if (to < 0) to = isql_now_us() - run.start;  // no job was started
    run.report.seconds = static_cast<double>(std::max(0LL, to - from)) / kMicrosPerSecond;
    for (Child& c : run.children)
        c.totals.seconds = static_cast<double>(std::max(0LL, c.endMicros - from)) / kMicrosPerSecond;
}

// The script's bytes, from the first source (-c, -n, --command or a pipe).
bool read_script(const LoadRequest& r, ClientState* first, std::string& script) {
    if (r.scriptUnreadable) return false;
    if (first->inFile == stdin && isatty(STDIN_FILENO)) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: A load run reads its script from -c, -n, --command or a pipe, not a terminal\n");
        return false;
    }
    char buf[kReadBytes];
    for (;;) {
        const ssize_t n = read(fileno(first->inFile), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not read the script %s: %s\n", first->inName.c_str(),
                       std::strerror(errno));
            return false;
        }
        if (n == 0) break;
        script.append(buf, static_cast<size_t>(n));
    }
    if (first->inFile != stdin) std::fclose(first->inFile);
    first->inFile = stdin;
    return true;
}

// What --rate and --latency-limit add to the plan: ", rate 100 passes/s",
// ", rate 10 to 200 passes/s", ", latency limit 50 ms"; empty without them.
std::string pacing_of(const LoadRequest& r) {
    char buf[128] = "";
    if (r.rateFrom == r.rateTo && r.rateFrom > 0)
        std::snprintf(buf, sizeof buf, ", rate %.10g passes/s", r.rateFrom);
    else if (r.rateFrom != r.rateTo)
        std::snprintf(buf, sizeof buf, ", rate %.10g to %.10g passes/s", r.rateFrom, r.rateTo);
    std::string out = buf;
    if (r.latencyLimitMs > 0) {
        std::snprintf(buf, sizeof buf, ", latency limit %.10g ms", r.latencyLimitMs);
        out += buf;
    }
    return out;
}

// Checks the options of a load run; false (reported) when it cannot start.
bool check_request(const LoadRequest& r) {
    std::string why = r.problem;
    const bool paced = r.rateFrom + r.rateTo > 0;
    if (why.empty() && r.jobs == 0 && (paced || r.latencyLimitMs > 0 || r.progressSeconds > 0))
        why = "--rate, --latency-limit and --progress need --jobs";
    if (why.empty() && r.rateFrom != r.rateTo && r.durationSeconds == 0)
        why = "--rate=FROM:TO needs --duration, over which the rate goes from FROM to TO";
    if (why.empty() && r.jobs == 0) why = "--duration, --runs, --prepare, --job-output and --report need --jobs";
    if (why.empty() && (r.durationSeconds == 0) == (r.runs == 0)) why = "--jobs needs either --duration or --runs";
    struct stat folder {};
    if (why.empty() && !r.jobOutputDir.empty() && mkdir(r.jobOutputDir.c_str(), 0755) != 0 &&
        (errno != EEXIST || stat(r.jobOutputDir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)))
        why = "the folder " + r.jobOutputDir + " of --job-output cannot be made: " +
              std::strerror(errno == EEXIST || errno == 0 ? ENOTDIR : errno);
    if (why.empty()) return true;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: %s; the load run did not start\n", why.c_str());
    return false;
}

// Opens the JSON report file now, so that a run whose report could not be
// written does not run. Null when --report was not given or it failed
// (reported: failed is then set).
FILE* open_report(const LoadRequest& r, bool& failed) {
    failed = false;
    if (r.reportFile.empty()) return nullptr;
    FILE* f = std::fopen(r.reportFile.c_str(), "w");
    if (f == nullptr) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not open the report file %s: %s\n",
                   r.reportFile.c_str(), std::strerror(errno));
        failed = true;
    }
    return f;
}

// Writes the report: text on standard output, JSON into json when open.
// False when the JSON could not be written whole (reported).
bool write_report(const LoadRequest& r, const LoadReport& report, FILE* json) {
    const std::string text = load_report_text(report) + load_thresholds_text(report);
    isql_write(stdout, TRACE_DATA, text.data(), text.size());
    if (json == nullptr) return true;
    const std::string body = load_report_json(report);
    const bool written = std::fwrite(body.data(), 1, body.size(), json) == body.size();
    const int closed = std::fclose(json);
    if (written && closed == 0) return true;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Output to %s was lost: %s\n", r.reportFile.c_str(),
               std::strerror(errno));
    return false;
}

// ---- interval series, thresholds during the run, metrics file ------------

// The jobs report at whole seconds of the run's clock what they counted in
// the second before, and say which second it was; an interval is logged, and
// the thresholds are checked, this long after its end, once the jobs'
// reports of it have come.
constexpr long long kReportLeadMicros = kMicrosPerSecond / 2;
constexpr long kPictureIntervalSeconds = 1;  // the series kept without --interval

// What a run keeps beside its report for --interval, --interval-log,
// --threshold with --abort-on-threshold and --metrics-file.
class Watch {
public:
    Watch(const LoadRequest& r, const std::vector<LoadThresholdRule>& rules) : r_(r), rules_(rules) {
        const bool series = r.intervalSeconds != 0 || !r.intervalLog.empty() || !r.htmlFile.empty();
        intervalMicros_ = series ? (r.intervalSeconds != 0 ? r.intervalSeconds : kPictureIntervalSeconds) *
                                       kMicrosPerSecond
                                 : 0;
        tickMicros_ = r.intervalSeconds != 0 && !r.metricsFile.empty() ? r.intervalSeconds * kMicrosPerSecond
                                                                       : kMicrosPerSecond;
    }

    // The run's start on the monotonic clock: where its intervals count from.
    void set_start(long long start) {
        start_ = start;
        startEpoch_ = static_cast<double>(std::time(nullptr));
        // Just after the jobs' reports, which they make at whole seconds.
        nextTick_ = start + tickMicros_ + kReportLeadMicros;
        nextCheck_ = start + kMicrosPerSecond + kReportLeadMicros;
    }

    bool needed() const {
        return intervalMicros_ != 0 || !r_.metricsFile.empty() || (r_.abortOnThreshold && !rules_.empty());
    }

    // Opens the interval log and writes its header, and sees that the
    // metrics file can be written; false (said) when either cannot.
    bool open() {
        std::string why;
        if (!r_.metricsFile.empty() && !load_metrics_writable(r_.metricsFile, why)) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not write the metrics file %s: %s\n",
                       r_.metricsFile.c_str(), why.c_str());
            return false;
        }
        if (r_.intervalLog.empty()) return true;
        log_ = std::fopen(r_.intervalLog.c_str(), "w");
        if (log_ == nullptr) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not open the interval log %s: %s\n",
                       r_.intervalLog.c_str(), std::strerror(errno));
            return false;
        }
        logOk_ = std::fputs("start_epoch,elapsed_s,seconds,statements,failures,passes,p50_ms,p95_ms,p99_ms,max_ms\n",
                            log_) >= 0;
        return true;
    }

    // Adds a statistics or job line of a job, just read, to its interval.
    void note(const Child& c, const WireMessage& m, LoadReport& report) {
        using K = WireMessage::Kind;
        if (intervalMicros_ == 0 || (m.kind != K::Stats && m.kind != K::Job)) return;
        if (m.kind == K::Stats && m.id >= c.ids.size()) return;  // not counted in the report either
        LoadInterval& v = interval(report, c.second * kMicrosPerSecond / intervalMicros_);
        if (m.kind == K::Job) {
            v.failures += m.failed;
            v.passes += m.passes;
            return;
        }
        v.statements += m.count;
        for (const auto& [bucket, n] : m.buckets) v.latency.add_bucket(bucket, n);
        v.latency.add_totals(m.sum, m.max);
    }

    // Logs the intervals that nothing can reach any more, writes the metrics
    // file when due, and checks the thresholds every second with
    // --abort-on-threshold (a crossed one stops the run). Returns when it
    // wants to be called again.
    long long tick(long long now, Run& run) {
        if (intervalMicros_ != 0) {
            while (now - start_ >= (logged_ + 1) * intervalMicros_ + kReportLeadMicros) {
                interval(run.report, logged_);
                log_interval(run.report, logged_++);
            }
        }
        if (!r_.metricsFile.empty() && now >= nextTick_) {
            write_metrics(snapshot(run, now));
            while (nextTick_ <= now) nextTick_ += tickMicros_;
        }
        if (r_.abortOnThreshold && !rules_.empty() && now >= nextCheck_ && !crossed) {
            LoadReport so = snapshot(run, now);
            if (!evaluate_load_thresholds(rules_, so, true)) {
                crossed = true;
                for (const LoadThreshold& t : so.thresholds)
                    if (!t.passed)
                        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Threshold %s crossed after %.1f s (measured %s); "
                                   "the run stops\n", t.expression.c_str(), so.seconds, t.measured.c_str());
                gStopSignal = SIGTERM;
            }
            while (nextCheck_ <= now) nextCheck_ += kMicrosPerSecond;
        }
        long long wake = nextCheck_;
        if (!r_.metricsFile.empty()) wake = std::min(wake, nextTick_);
        if (intervalMicros_ != 0) wake = std::min(wake, start_ + (logged_ + 1) * intervalMicros_ + kReportLeadMicros);
        return wake;
    }

    // At the run's end (report.seconds and jobs set): the series made to
    // cover the run, the intervals left logged, the last metrics written.
    // False when the log or the metrics file could not be written (said).
    bool finish(LoadReport& report) {
        if (intervalMicros_ != 0) {
            report.intervalSeconds = static_cast<double>(intervalMicros_) / kMicrosPerSecond;
            const long long end = static_cast<long long>(report.seconds * kMicrosPerSecond);
            interval(report, std::max(0LL, end - kReportLeadMicros) / intervalMicros_);
            LoadInterval& last = report.intervals.back();
            last.seconds = report.seconds - last.start;  // it holds what came up to the end
            while (logged_ < static_cast<long long>(report.intervals.size())) log_interval(report, logged_++);
        }
        if (log_ != nullptr && (std::fclose(log_) != 0 || !logOk_)) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Output to %s was lost: %s\n", r_.intervalLog.c_str(),
                       std::strerror(errno));
            return false;
        }
        return r_.metricsFile.empty() || write_metrics(report);
    }

    bool crossed = false;  // a threshold stopped the run

private:
    // Interval k of report, made with those before it when new.
    LoadInterval& interval(LoadReport& report, long long k) {
        const double length = static_cast<double>(intervalMicros_) / kMicrosPerSecond;
        while (static_cast<long long>(report.intervals.size()) <= k) {
            LoadInterval& v = report.intervals.emplace_back();
            v.start = length * static_cast<double>(report.intervals.size() - 1);
            v.seconds = length;
        }
        return report.intervals[static_cast<size_t>(k)];
    }

    void log_interval(const LoadReport& report, long long k) {
        if (log_ == nullptr) return;
        const LoadInterval& v = report.intervals[static_cast<size_t>(k)];
        const LatencyHistogram& h = v.latency;
        const auto ms = [](uint64_t micros) { return static_cast<double>(micros) / kMicrosPerMs; };
        logOk_ = std::fprintf(log_, "%.0f,%.3f,%.3f,%llu,%llu,%llu,%.3f,%.3f,%.3f,%.3f\n", startEpoch_ + v.start,
                              v.start, v.seconds, static_cast<unsigned long long>(v.statements),
                              static_cast<unsigned long long>(v.failures), static_cast<unsigned long long>(v.passes),
                              ms(h.percentile(50)), ms(h.percentile(95)), ms(h.percentile(99)), ms(h.max())) > 0 &&
                 std::fflush(log_) == 0 && logOk_;
    }

    // The report as it stands, the jobs' counts so far in it.
    LoadReport snapshot(const Run& run, long long now) const {
        LoadReport so;
        so.runIds = run.report.runIds;
        so.statements = run.report.statements;
        so.passLatency = run.report.passLatency;
        for (const Child& c : run.children) so.jobs.push_back(c.totals);
        so.seconds = static_cast<double>(now - start_) / kMicrosPerSecond;
        return so;
    }

    // Said once, as the run goes on without it.
    bool write_metrics(const LoadReport& report) {
        std::string why;
        if (load_write_metrics(r_.metricsFile, load_metrics_text(report, r_.jobs), why)) return true;
        if (!metricsFailed_)
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not write the metrics file %s: %s\n",
                       r_.metricsFile.c_str(), why.c_str());
        metricsFailed_ = true;
        return false;
    }

    const LoadRequest& r_;
    const std::vector<LoadThresholdRule>& rules_;
    long long start_ = 0;
    double startEpoch_ = 0;
    long long intervalMicros_ = 0;  // 0: no series
    long long tickMicros_;          // of the metrics file
    long long nextTick_ = 0, nextCheck_ = 0;
    long long logged_ = 0;          // intervals logged (and closed)
    FILE* log_ = nullptr;
    bool logOk_ = true;
    bool metricsFailed_ = false;
};

void Run::note_watched(const Child& c, const WireMessage& m) {
    if (watch != nullptr) watch->note(c, m, report);
}

// Parses the thresholds and checks the options of the series, metrics and
// HTML report: false (said) when the run or merge cannot start. texts: the
// statements that thresholds may name.
bool check_watch_options(const LoadRequest& r, const std::vector<std::string>& texts,
                         std::vector<LoadThresholdRule>& rules) {
    std::string why;
    if (r.merge && (r.intervalSeconds != 0 || !r.intervalLog.empty() || r.abortOnThreshold || !r.metricsFile.empty()))
        why = "--interval, --interval-log, --abort-on-threshold and --metrics-file are of a run, not of --merge-reports";
    if (why.empty() && r.abortOnThreshold && r.thresholds.empty()) why = "--abort-on-threshold needs a --threshold";
    for (const std::string& t : r.thresholds) {
        LoadThresholdRule rule;
        std::string error;
        if (why.empty() && (!parse_load_threshold(t, rule, error) || !load_threshold_names_known(rule, texts, error)))
            why = "--threshold=" + t + ": " + error;
        rules.push_back(std::move(rule));
    }
    if (why.empty()) return true;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: %s; the %s did not start\n", why.c_str(),
               r.merge ? "merge" : "load run");
    return false;
}

// Opens the HTML report file now, as open_report does the JSON one.
FILE* open_html(const LoadRequest& r, bool& failed) {
    LoadRequest html;
    html.reportFile = r.htmlFile;
    return open_report(html, failed);
}

// Writes the HTML page of report into html when open; false when it could
// not be written whole (said).
bool write_html(const LoadRequest& r, const LoadReport& report, FILE* html) {
    if (html == nullptr) return true;
    const std::string page = load_report_html(report);
    const bool written = std::fwrite(page.data(), 1, page.size(), html) == page.size();
    if (std::fclose(html) == 0 && written) return true;
    isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Output to %s was lost: %s\n", r.htmlFile.c_str(), std::strerror(errno));
    return false;
}

std::string format_seconds(double s) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%g s", s);
    return buf;
}

// The exit status of a load run or merge whose report was written, once
// the thresholds are checked: kExitLoadThreshold when one was crossed,
// else status.
int threshold_status(const std::vector<LoadThresholdRule>& rules, const LoadReport& report, int status) {
    if (rules.empty() || status == kExitLoadNotStarted) return status;
    for (const LoadThreshold& t : report.thresholds)
        if (!t.passed) return kExitLoadThreshold;
    return status;
}

// Reports of other interval lengths cannot be merged exactly: false (said)
// when path's report has other intervals than those merged before.
bool same_intervals(const std::string& path, const LoadReport& merged, const LoadReport& one) {
    if (one.intervalSeconds == merged.intervalSeconds) return true;
    const auto series = [](double s) { return s == 0 ? std::string("no series") : format_seconds(s); };
    isql_trace(gfpErrFile, TRACE_ERROR,
               "SQL: Could not merge the report %s: its intervals (%s) are not those of the reports before it (%s)\n",
               path.c_str(), series(one.intervalSeconds).c_str(), series(merged.intervalSeconds).c_str());
    return false;
}

// Starts the jobs, each with the write end of a pipe of its own. Stopping
// signals are blocked meanwhile, so that a job takes none before it has its
// own handlers. False when one could not be started (those started are
// stopped again).
bool start_jobs(const LoadRequest& r, ClientState* first, Run& run, const std::string& script, long long start) {
    // Under --rate every job's schedule starts when the last one is ready,
    // not each at its own connection (which would lose their first passes).
    int startPipe[2] = {-1, -1};
    if (r.rateFrom + r.rateTo > 0 && pipe(startPipe) != 0) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not start the jobs: %s\n", std::strerror(errno));
        return false;
    }
    run.startFd = startPipe[1];
    struct ReadEnd {  // the jobs' end, closed in the parent once they are forked
        int fd;
        ~ReadEnd() {
            if (fd >= 0) close(fd);
        }
    } startRead{startPipe[0]};
    for (long j = 1; j <= r.jobs; ++j) {
        int fds[2];
        if (pipe(fds) != 0) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not start job %ld: %s\n", j, std::strerror(errno));
            return false;
        }
        isql_flush_all();  // nothing buffered is written twice
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            for (const Child& c : run.children) close(c.fd);
            if (run.startFd >= 0) close(run.startFd);
            LoadJobPlan plan;
            plan.startFd = startPipe[0];
            plan.number = j;
            plan.script = &script;
            plan.startMicros = start;
            plan.deadlineMicros = r.durationSeconds != 0 ? start + r.durationSeconds * kMicrosPerSecond : 0;
            plan.runs = r.runs;
            plan.reportFd = fds[1];
            plan.prepare = r.prepare;
            plan.jobOutputDir = r.jobOutputDir;
            plan.rateFrom = r.rateFrom / static_cast<double>(r.jobs);
            plan.rateTo = r.rateTo / static_cast<double>(r.jobs);
            if (r.latencyLimitMs > 0)  // a limit below a microsecond is one, not none
                plan.latencyLimitMicros = std::max(1LL, std::llround(r.latencyLimitMs * kMicrosPerMs));
            load_run_job(first, plan);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not start job %ld: %s\n", j, std::strerror(errno));
            return false;
        }
        Child c;
        c.pid = pid;
        c.fd = fds[0];
        c.totals.number = j;
        run.children.push_back(std::move(c));
    }
    return true;
}

// The line of --progress for the period from `from` to `to` (from the run's
// start): what the jobs reported in it, and the failures so far.
void print_period(const Run& run, long long from, long long to) {
    uint64_t failed = 0;
    for (const Child& c : run.children) failed += c.totals.failedCommands;
    const double seconds = static_cast<double>(std::max(1LL, to - from)) / kMicrosPerSecond;
    isql_print_always(stderr, "progress: %.1f s, %.1f passes/s, %.1f statements/s, pass p50 %.3f ms, p99 %.3f ms, "
                      "%llu failed\n", static_cast<double>(to) / kMicrosPerSecond,
                      static_cast<double>(run.windowPasses) / seconds,
                      static_cast<double>(run.windowStatements) / seconds,
                      static_cast<double>(run.passWindow.percentile(50)) / kMicrosPerMs,
                      static_cast<double>(run.passWindow.percentile(99)) / kMicrosPerMs,
                      static_cast<unsigned long long>(failed));
}

// Waits for every job, reading their pipes, writing the progress line (at a
// terminal each second; with --progress every progressSeconds, wherever
// standard error goes), and stopping them on a stopping signal or when they
// overstay.
void follow_jobs(Run& run, long long start, long long deadline, long progressSeconds) {
    const bool periodic = progressSeconds > 0;
    const bool progress = periodic || isatty(STDERR_FILENO) != 0;
    // A line of --progress comes a little after its period's end, so that
    // the jobs' reports of that moment (one a second each) are in it.
    const long long period = periodic ? progressSeconds * kMicrosPerSecond : kProgressMicros;
    const long long slack = periodic ? kProgressSlackMicros : 0;
    long long lastTick = 0;  // the end of the period of the last line, from the start
    long long nextProgress = start + period + slack;
    long long termAt = deadline != 0 ? deadline + kStopGraceMicros : 0;
    long long killAt = 0;
    bool stopping = false;
    std::vector<pollfd> fds;
    std::vector<Child*> owners;
    while (run.live() > 0) {
        const long long now = isql_now_us();
        const long long watchWake = run.watch != nullptr ? run.watch->tick(now, run) : now + kProgressMicros;
        if (gStopSignal != 0 && !stopping) {
            stopping = true;
            run.signal_live(SIGTERM);
            termAt = 0;
            killAt = now + kStopGraceMicros;
        }
        if (termAt != 0 && now >= termAt) {
            run.signal_live(SIGTERM);
            termAt = 0;
            killAt = now + kKillGraceMicros;
        }
        if (killAt != 0 && now >= killAt) {
            run.signal_live(SIGKILL);
            killAt = 0;
        }
        if (periodic && now >= nextProgress) {
            const long long tick = (now - slack - start) / period * period;
            print_period(run, lastTick, tick);
            lastTick = tick;
        } else if (progress && now >= nextProgress) {
            uint64_t failed = 0;
            for (const Child& c : run.children) failed += c.totals.failedCommands;
            isql_print_always(stderr, "progress: %.1f s, %.1f statements/s, p95 %.3f ms, %llu failed\n",
                              static_cast<double>(now - start) / kMicrosPerSecond,
                              static_cast<double>(run.windowStatements) * kMicrosPerSecond /
                                  static_cast<double>(kProgressMicros),
                              static_cast<double>(run.window.percentile(kProgressPercentile)) / kMicrosPerMs,
                              static_cast<unsigned long long>(failed));
        }
        if (progress && now >= nextProgress) {
            isql_flush_all();
            run.window.clear();
            run.passWindow.clear();
            run.windowStatements = run.windowPasses = 0;
            while (nextProgress <= now) nextProgress += period;
        }
        long long wake = std::min(progress ? nextProgress : now + kProgressMicros, watchWake);
        for (long long t : {termAt, killAt})
            if (t != 0) wake = std::min(wake, t);
        fds.clear();
        owners.clear();
        for (Child& c : run.children) {
            if (c.fd < 0) continue;
            fds.push_back({c.fd, POLLIN, 0});
            owners.push_back(&c);
        }
        const int timeout = static_cast<int>(std::max(0LL, (wake - now + kMicrosPerMs - 1) / kMicrosPerMs));
        if (poll(fds.data(), fds.size(), timeout) <= 0) continue;  // time, or a signal
        for (size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents != 0) run.read_child(*owners[i]);
        if (run.startFd >= 0) run.start_schedules();
    }
}

int merge_reports(const LoadRequest& r) {
    if (r.jobs != 0 || r.mergeFiles.empty()) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: --merge-reports takes report files and no --jobs\n");
        return kExitLoadNotStarted;
    }
    LoadReport merged;
    bool first = true;
    for (const std::string& path : r.mergeFiles) {
        std::string json;
        FILE* f = std::fopen(path.c_str(), "rb");
        char buf[kReadBytes];
        for (size_t n; f != nullptr && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) json.append(buf, n);
        const bool readOk = f != nullptr && std::ferror(f) == 0;
        if (f != nullptr) std::fclose(f);
        LoadReport one;
        std::string why;
        if (!readOk) why = std::strerror(errno);
        else load_report_from_json(json, one, why);
        if (!why.empty()) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Could not read the report %s: %s\n", path.c_str(), why.c_str());
            return kExitLoadNotStarted;
        }
        for (const std::string& id : one.runIds) {
            if (std::find(merged.runIds.begin(), merged.runIds.end(), id) == merged.runIds.end()) continue;
            isql_trace(gfpErrFile, TRACE_ERROR,
                       "SQL: Warning: %s holds run %s, which is merged already; its counts are counted twice\n",
                       path.c_str(), id.c_str());
            break;
        }
        if (first) {
            merged = std::move(one);
        } else if (!same_intervals(path, merged, one)) {
            return kExitLoadNotStarted;
        } else if (!merged.merge(one)) {
            isql_trace(gfpErrFile, TRACE_ERROR,
                       "SQL: Could not merge the report %s: the merged counts would pass 18446744073709551615\n",
                       path.c_str());
            return kExitLoadNotStarted;
        }
        first = false;
    }
    std::vector<std::string> texts;
    for (const LoadStatement& s : merged.statements) texts.push_back(s.text);
    std::vector<LoadThresholdRule> rules;
    if (!check_watch_options(r, texts, rules)) return kExitLoadNotStarted;
    if (!rules.empty()) evaluate_load_thresholds(rules, merged);
    bool failed = false;
    FILE* json = open_report(r, failed);
    if (failed) return kExitLoadNotStarted;
    FILE* html = open_html(r, failed);
    if (failed) return kExitLoadNotStarted;
    if (!write_report(r, merged, json) || !write_html(r, merged, html) || (isql_flush_all(), isql_output_lost()))
        return kExitOutputLost;
    const bool anyFailed = merged.total_failures() != 0 || merged.connectFailures != 0 || !merged.errors.empty();
    return threshold_status(rules, merged, anyFailed ? kExitLoadFailures : kExitOk);
}
}  // namespace

int isql_load_main(ClientState* first, const LoadArguments& args) {
    const LoadRequest r = load_request_of(args);
    if (r.merge) {
        std::setlocale(LC_NUMERIC, "C");  // JSON numbers have a decimal point
        return merge_reports(r);
    }
    // The script: a built-in workload's or the one given; --init before the run.
    if (r.initAlone) return load_init_main(r, first);
    std::string script;
    std::vector<std::string> texts;
    std::vector<LoadThresholdRule> rules;
    if (!check_request(r) ||
        !(r.workload != LoadWorkload::None ? load_workload_script(r, *first, script) : read_script(r, first, script)) ||
        !load_check_script(*first, script, &texts) || !check_watch_options(r, texts, rules))
        return kExitLoadNotStarted;
    bool failed = false;
    FILE* json = open_report(r, failed);
    if (failed) return kExitLoadNotStarted;
    FILE* html = open_html(r, failed);
    Watch watch(r, rules);
    if (failed || !watch.open() || (r.init && load_init_tables(first, r.scale) != kExitOk)) {
        for (FILE* f : {json, html})
            if (f != nullptr) std::fclose(f);
        return kExitLoadNotStarted;
    }

    struct sigaction stop {};
    stop.sa_handler = note_stop;
    sigemptyset(&stop.sa_mask);
    sigset_t stopping, before;
    sigemptyset(&stopping);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &stop, nullptr);
        sigaddset(&stopping, sig);
    }
    sigprocmask(SIG_BLOCK, &stopping, &before);
    Run run;
    run.report.runIds.push_back(load_run_id());
    const long long start = isql_now_us();
    watch.set_start(start);
    if (watch.needed()) run.watch = &watch;
    run.start = start;
    const bool started = start_jobs(r, first, run, script, start);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (!started) gStopSignal = SIGTERM;
    std::setlocale(LC_NUMERIC, "C");  // the report's numbers; the jobs keep the session's locale

    follow_jobs(run, start, r.durationSeconds != 0 ? start + r.durationSeconds * kMicrosPerSecond : 0,
                r.progressSeconds);
    const int stoppedBy = gStopSignal;  // one after the jobs ended stopped nothing
    take_spans(run);
    run.report.plan = r.durationSeconds != 0 ? "duration " + std::to_string(r.durationSeconds) + " s"
                                             : "runs " + std::to_string(r.runs);
    if (r.prepare == LoadPrepare::Always) run.report.plan += ", prepared at every execution";
    run.report.plan += pacing_of(r);
    bool anyConnected = false;
    bool jobOutputLost = false;
    for (const Child& c : run.children) {
        run.report.jobs.push_back(c.totals);
        anyConnected = anyConnected || c.connected;
        if (!c.outputLost) continue;
        // The job named the stream on its own error stream, which may be lost too.
        const std::string files = r.jobOutputDir.empty() ? "a file it opened"
                                                         : r.jobOutputDir + "/job-" + std::to_string(c.totals.number) +
                                                               ".out, .err or a file it opened";
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Output of job %ld was lost: %s is not whole\n", c.totals.number,
                   files.c_str());
        jobOutputLost = true;
    }
    const bool watchWritten = !watch.needed() || watch.finish(run.report);
    if (!rules.empty()) evaluate_load_thresholds(rules, run.report);
    if (!started) return kExitLoadNotStarted;
    if (!write_report(r, run.report, json) || !write_html(r, run.report, html) || !watchWritten ||
        (isql_flush_all(), isql_output_lost()) || jobOutputLost)
        return kExitOutputLost;
    if (watch.crossed) return kExitLoadThreshold;  // it stopped the run
    if (stoppedBy != 0) return kExitLoadSignalBase + stoppedBy;
    if (!anyConnected) return kExitLoadNotStarted;
    const bool anyFailed = run.report.total_failures() != 0 || run.report.connectFailures != 0 ||
                           run.report.connectionsLost != 0;
    return threshold_status(rules, run.report, anyFailed ? kExitLoadFailures : kExitOk);
}
