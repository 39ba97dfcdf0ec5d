// Each probe in a child process of its own: it connects anew (a child must
// never use the parent's connection, whose socket it shares), answers one line
// on a pipe and ends. A child that crashes or hangs loses only its probe.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "collect.h"
#include "probes.h"

namespace {
constexpr char kFieldSeparator = '\x1f';
constexpr size_t kMaxAnswerBytes = 64 * 1024;

std::string field(std::string s) {
    for (char& c : s)
        if (c == kFieldSeparator || c == '\n') c = ' ';
    return s;
}

void write_all(int fd, const std::string& s) {
    for (size_t done = 0; done < s.size();) {
        const ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

[[noreturn]] void child(const ReportSource& source, const ProbeDef& def, int fd) {
    ProbeResult r;
    {
        OwnConnection conn;
        std::string why;
        if (!conn.open(source, why)) {
            r = {def.name, "", "cannot connect: " + why, "cannot run"};
        } else {
            ProbeContext ctx{conn.dbc(), "wsql_" + std::string(def.name) + "_" + std::to_string(getpid()),
                             info_value(conn.dbc(), "SQL_DBMS_NAME")};
            r = def.run(ctx);
        }
    }
    write_all(fd, probe_wire(r));
    _exit(0);
}

// Reads the child's answer until end of file or the deadline; false on time-out.
bool read_answer(int fd, int seconds, std::string& answer) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return ready == 0 ? false : true;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        if (answer.size() < kMaxAnswerBytes) answer.append(buf, static_cast<size_t>(n));
    }
}

ProbeResult run_one(const ReportSource& source, const ProbeDef& def, int seconds) {
    int fds[2];
    if (pipe(fds) != 0) return {def.name, "", std::string("cannot make a pipe: ") + std::strerror(errno), "cannot run"};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]), close(fds[1]);
        return {def.name, "", std::string("cannot fork: ") + std::strerror(errno), "cannot run"};
    }
    if (pid == 0) {
        close(fds[0]);
        child(source, def, fds[1]);
    }
    close(fds[1]);
    std::string answer;
    const bool inTime = read_answer(fds[0], seconds, answer);
    close(fds[0]);
    if (!inTime) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ProbeResult r;
    // A killed probe could not drop its table: the name says whose it is.
    if (!inTime)
        return {def.name, def.checks, "no answer within " + std::to_string(seconds) + " s: its process was killed", "lost"};
    if (WIFSIGNALED(status))
        return {def.name, def.checks, "its process ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                                  strsignal(WTERMSIG(status)) + ")", "lost"};
    if (!probe_from_wire(answer, r)) return {def.name, def.checks, "its process ended without an answer", "lost"};
    return r;
}
}  // namespace

std::string probe_wire(const ProbeResult& r) {
    return field(r.name) + kFieldSeparator + field(r.claim) + kFieldSeparator + field(r.observed) + kFieldSeparator +
           field(r.verdict) + "\n";
}

bool probe_from_wire(const std::string& line, ProbeResult& r) {
    std::string parts[4];
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t end = line.find(i < 3 ? kFieldSeparator : '\n', at);
        if (end == std::string::npos) return false;
        parts[i] = line.substr(at, end - at);
        at = end + 1;
    }
    r = {parts[0], parts[1], parts[2], parts[3]};
    return !r.name.empty() && !r.verdict.empty();
}

std::vector<ProbeResult> run_probes(const ReportSource& source, int seconds) {
    std::vector<ProbeResult> out;
    for (const ProbeDef& def : probe_table()) out.push_back(run_one(source, def, seconds));
    return out;
}
