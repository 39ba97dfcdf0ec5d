// How the session ends: the on-error policy, the count of failed commands and
// the process exit status that follows from them and from lost output.
#pragma once

#include "isql.h"

// What a failed command does to the session (--on-error, key OnError).
enum class OnError {
    Ignore,    // nothing: the exit status stays 0
    Continue,  // the session goes on; a summary line at the end, exit status 1
    Stop,      // the session ends after the failed command, exit status 3
};

// Exit statuses of a session that started; start-up failures exit with 255.
constexpr int kExitOk = 0;
constexpr int kExitCommandsFailed = 1;   // --on-error=continue and a command failed
constexpr int kExitNotRun = 2;           // the command line asked what cannot be done: nothing ran
constexpr int kExitStopped = 3;          // --on-error=stop and a command failed
constexpr int kExitOutputLost = 4;       // a write failed: output was lost
constexpr int kExitReaderGone = 141;     // the results reader went away (128 + SIGPIPE)

// Reads "ignore", "continue" or "stop" in any case; false for anything else.
bool isql_parse_on_error(const char* text, OnError& policy);
void isql_set_on_error(OnError policy);

// Counts one command with its outcome; in stop mode the first failure says
// that the session stops.
void isql_count_command(Outcome outcome);
// True when the session must end now: stop mode after a failure, or nobody
// reads the results any more.
bool isql_run_must_stop();
// The summary line of continue mode, written before the closing lines.
void isql_write_run_summary();
// The exit status of the session as it ended.
int isql_exit_status();
