// The process machinery of a test run: fork per task, a pipe each, poll,
// and the time limit.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
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
    int fd = -1;
    long long started = 0;
    long long killAt = 0;  // when SIGKILL follows the SIGTERM of the time limit; 0: none sent
    ChildResult result;
};

// Starts task i; false when no process or pipe could be had.
bool start(const ChildTask& task, size_t i, Running& r) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        // Its own process group, so that the time limit stops what it started too.
        setpgid(0, 0);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        close(fds[0]);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        _exit(task.run(fds[1]));
    }
    setpgid(pid, pid);
    close(fds[1]);
    r = Running{};
    r.task = i;
    r.pid = pid;
    r.fd = fds[0];
    r.started = isql_now_us();
    return true;
}

// Reads what the child has written; false at the end of its output.
bool drain(Running& r) {
    char buf[kReadChunk];
    const ssize_t n = read(r.fd, buf, sizeof buf);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false;
    const size_t room = kMaxCapturedBytes - r.result.output.size();
    if (static_cast<size_t>(n) > room) r.result.cut = true;
    r.result.output.append(buf, std::min(room, static_cast<size_t>(n)));
    return true;
}

void finish(Running& r) {
    close(r.fd);
    int status = 0;
    while (waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.result.seconds = static_cast<double>(isql_now_us() - r.started) / 1e6;
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
        std::vector<pollfd> fds;
        long long now = isql_now_us();
        long long wake = now + 1000000LL;
        for (Running& r : running) {
            fds.push_back({r.fd, POLLIN, 0});
            const long long due = r.killAt != 0 ? r.killAt : r.started + limit;
            wake = std::min(wake, due);
        }
        const int waitMs = static_cast<int>(std::max(0LL, (wake - now + 999) / 1000));
        if (poll(fds.data(), fds.size(), waitMs) < 0 && errno != EINTR) return SIGABRT;
        now = isql_now_us();
        for (size_t k = running.size(); k-- > 0;) {
            Running& r = running[k];
            bool open = true;
            if ((fds[k].revents & (POLLIN | POLLHUP | POLLERR)) != 0) open = drain(r);
            if (open && r.killAt == 0 && now >= r.started + limit) {
                r.result.timedOut = true;
                kill(-r.pid, SIGTERM);
                r.killAt = now + kStopGraceMicros;
            } else if (open && r.killAt != 0 && now >= r.killAt) {
                kill(-r.pid, SIGKILL);
                r.killAt = now + limit;  // the pipe closes now; nothing more to send
            }
            if (open) continue;
            finish(r);
            const size_t task = r.task;
            ChildResult result = std::move(r.result);
            running.erase(running.begin() + static_cast<long>(k));
            done(task, std::move(result));
        }
    }
    return 0;
}
