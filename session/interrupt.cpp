// Ctrl-C at the terminal. SQLCancel may not be called from a signal handler
// (it takes locks and talks to the server), so while standard input is a
// terminal SIGINT is blocked in the session thread and taken by a thread of
// its own with sigwait. That thread cancels the running statement through
// isql_cancel_running_stmt, which holds the handle under a lock so it is never
// cancelled after being freed; with no statement running it wakes the line
// reader through a pipe, which drops the line being typed. While a command
// file runs, SIGINT goes to the session thread's flush-and-end handler as it
// always did.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "isqlexec.h"
#include "isqlterm.h"

namespace {
bool gPresent = false;                       // standard input is a terminal
int gWake[2] = {-1, -1};                     // Ctrl-C presses for the line reader
std::atomic<bool> gTerminalCurrent{false};   // the current source is the terminal
bool gSessionBlocksInt = false;              // SIGINT blocked in the session thread
pthread_t gSessionThread;

void set_sigint_blocked(bool blocked) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// Takes every SIGINT. A command file being current, it is handed to the
// session thread's handler; otherwise the running statement is cancelled or
// the waiting line reader woken. A full pipe already holds enough presses.
void* interrupt_thread(void*) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        if (!gTerminalCurrent.load()) {
            pthread_kill(gSessionThread, SIGINT);
            continue;
        }
        if (isql_cancel_running_stmt() != CancelResult::NoStatement) continue;
        const char press = 1;
        ssize_t written = write(gWake[1], &press, 1);
        static_cast<void>(written);
    }
    return nullptr;
}
}  // namespace

// The thread starts with every signal blocked, so that all other signals
// (the stop signals, SIGALRM of WAIT, job control) keep reaching the session
// thread as before.
bool isql_terminal_init() {
    if (!isatty(STDIN_FILENO)) return false;
    if (pipe2(gWake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    gSessionThread = pthread_self();
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    pthread_t thread;
    const int rc = pthread_create(&thread, nullptr, interrupt_thread, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (rc != 0) {
        close(gWake[0]);
        close(gWake[1]);
        return false;
    }
    pthread_detach(thread);
    gPresent = true;
    return true;
}

bool isql_terminal_present() { return gPresent; }

bool isql_terminal_source(const ClientState* state) { return gPresent && state->inFile == stdin; }

// Blocks SIGINT before claiming it for the terminal, and gives it back after
// letting go, so no press falls between the two handlers. One handed to the
// session thread just before it blocked is dropped rather than left to end
// the session later.
void isql_terminal_follow(const ClientState* current) {
    if (!gPresent) return;
    const bool terminal = current->inFile == stdin;
    if (terminal == gSessionBlocksInt) return;
    gSessionBlocksInt = terminal;
    if (terminal) {
        set_sigint_blocked(true);
        gTerminalCurrent.store(true);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        const timespec none{};
        while (sigtimedwait(&set, nullptr, &none) == SIGINT) {
        }
    } else {
        gTerminalCurrent.store(false);
        set_sigint_blocked(false);
    }
}

InputWait isql_terminal_wait(int fd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {gWake[0], POLLIN, 0}};
    for (;;) {
        const int n = poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) return InputWait::Signal;
            return InputWait::Ready;  // let the read report it
        }
        if (fds[1].revents & POLLIN) {
            isql_terminal_drain();
            return InputWait::Interrupted;
        }
        if (fds[0].revents != 0) return InputWait::Ready;
    }
}

void isql_terminal_drain() {
    if (!gPresent) return;
    char presses[64];
    while (read(gWake[0], presses, sizeof presses) > 0) {
    }
}
