// The process machinery of a test run: fork per task, the time limit, and
// the output of each child kept in a memory file of its own. A file rather
// than a pipe: a session flushes after every command, and a pipe would wake
// the parent for each of them, which cost more than the run itself.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "children.h"
#include "isqlclock.h"

namespace {
constexpr long long kStopGraceMicros = 2 * 1000000LL;  // SIGTERM, then SIGKILL after this
constexpr size_t kReadChunk = 64 * 1024;

std::atomic<int> gStopSignal{0};
void stop_requested(int sig) { gStopSignal.store(sig); }

struct Running {
    size_t task = 0;
    pid_t pid = -1;
    int fd = -1;      // the output file
    int pidfd = -1;   // readable once the child has ended
    long long started = 0;
    long long killAt = 0;  // when SIGKILL follows the SIGTERM of the time limit; 0: none sent
    ChildResult result;
};

// Starts task i; false when no process or output file could be had.
bool start(const ChildTask& task, size_t i, Running& r) {
    const int out = memfd_create("wsql-test-output", MFD_CLOEXEC);
    if (out < 0) return false;
    const pid_t pid = fork();
    if (pid < 0) {
        close(out);
        return false;
    }
    if (pid == 0) {
        // Its own process group, so that the time limit stops what it started too.
        setpgid(0, 0);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // Output past the cap ends the child with SIGXFSZ.
        const rlimit cap{kMaxCapturedBytes, kMaxCapturedBytes};
        setrlimit(RLIMIT_FSIZE, &cap);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        _exit(task(out));
    }
    setpgid(pid, pid);
    r = Running{};
    r.task = i;
    r.pid = pid;
    r.fd = out;
    r.pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    r.started = isql_now_us();
    return true;
}

// Waits for the child and reads what it wrote.
void finish(Running& r) {
    int status = 0;
    while (waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (r.pidfd >= 0) close(r.pidfd);
    r.result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.result.cut = WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ;
    r.result.seconds = static_cast<double>(isql_now_us() - r.started) / 1e6;
    char buf[kReadChunk];
    for (off_t at = 0;;) {
        const ssize_t n = pread(r.fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        r.result.output.append(buf, static_cast<size_t>(n));
        at += n;
    }
    close(r.fd);
}

// Whether the child has ended, without reaping it.
bool ended(const Running& r) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(r.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == r.pid;
}
}  // namespace

int run_children(const std::vector<ChildTask>& tasks, int jobs, long timeoutSeconds,
                 const std::function<void(size_t, ChildResult&&)>& done) {
    struct sigaction stop {};
    stop.sa_handler = stop_requested;
    sigemptyset(&stop.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const long long limit = static_cast<long long>(timeoutSeconds) * 1000000LL;
    std::vector<Running> running;
    size_t next = 0;
    while (next < tasks.size() || !running.empty()) {
        if (gStopSignal.load() != 0) {
            for (Running& r : running) kill(-r.pid, SIGKILL);
            for (Running& r : running) finish(r);
            return gStopSignal.load();
        }
        while (next < tasks.size() && running.size() < static_cast<size_t>(jobs)) {
            Running r;
            if (!start(tasks[next], next, r)) {
                ChildResult failed;
                failed.output = "wsql: the test process could not be started\n";
                failed.status = 127;
                done(next++, std::move(failed));
                continue;
            }
            running.push_back(std::move(r));
            ++next;
        }
        if (running.empty()) continue;
        // Each child's pidfd wakes the loop when it ends; without one (an old
        // kernel) the loop looks every tenth of a second.
        std::vector<pollfd> fds;
        long long now = isql_now_us();
        long long wake = now + 1000000LL;
        for (Running& r : running) {
            fds.push_back({r.pidfd, POLLIN, 0});
            if (r.pidfd < 0) wake = std::min(wake, now + 100000LL);
            wake = std::min(wake, r.killAt != 0 ? r.killAt : r.started + limit);
        }
        const int waitMs = static_cast<int>(std::max(0LL, (wake - now + 999) / 1000));
        if (poll(fds.data(), fds.size(), waitMs) < 0 && errno != EINTR) return SIGABRT;
        now = isql_now_us();
        for (size_t k = running.size(); k-- > 0;) {
            Running& r = running[k];
            if (!ended(r)) {
                if (r.killAt == 0 && now >= r.started + limit) {
                    r.result.timedOut = true;
                    kill(-r.pid, SIGTERM);
                    r.killAt = now + kStopGraceMicros;
                } else if (r.killAt != 0 && now >= r.killAt) {
                    kill(-r.pid, SIGKILL);
                    r.killAt = now + kStopGraceMicros;
                }
                continue;
            }
            finish(r);
            const size_t task = r.task;
            ChildResult result = std::move(r.result);
            running.erase(running.begin() + static_cast<long>(k));
            done(task, std::move(result));
        }
    }
    return 0;
}
