// Test files run in child processes, a few at a time, each stopped when it
// runs too long.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

constexpr size_t kMaxCapturedBytes = 256u << 20;  // in memory: a file per running child  // a child's output beyond this is cut

// What one child left behind.
struct ChildResult {
    std::string output;     // all it wrote to its output file, up to kMaxCapturedBytes
    bool cut = false;       // it wrote more than that, and was stopped
    bool timedOut = false;  // stopped at the time limit
    int status = 0;         // exit status, or 128 + the signal that ended it
    double seconds = 0;
};

// What runs in a child, with its standard input /dev/null and fd the file
// its output goes to; returns the exit status (or does not return: exec).
using ChildTask = std::function<int(int fd)>;

// Runs the tasks at most jobs at a time; done(i, result) is called in the
// parent as task i ends, in the order they end. A stopping signal (SIGINT,
// SIGTERM, SIGHUP) stops every child; the return is that signal, 0 when all
// ran.
int run_children(const std::vector<ChildTask>& tasks, int jobs, long timeoutSeconds,
                 const std::function<void(size_t, ChildResult&&)>& done);
