// The on-error policy and the exit status of a session.
#include "isqlrun.h"

#include <strings.h>

#include "isqltm.h"

namespace {
struct RunCount {
    OnError policy = OnError::Ignore;
    long long commands = 0;  // commands run, empty lines and comments not counted
    long long failed = 0;
};
RunCount gRun;
}  // namespace

bool isql_parse_on_error(const char* text, OnError& policy) {
    if (strcasecmp(text, "ignore") == 0) {
        policy = OnError::Ignore;
    } else if (strcasecmp(text, "continue") == 0) {
        policy = OnError::Continue;
    } else if (strcasecmp(text, "stop") == 0) {
        policy = OnError::Stop;
    } else {
        return false;
    }
    return true;
}

void isql_set_on_error(OnError policy) { gRun.policy = policy; }

void isql_count_command(Outcome outcome) {
    if (outcome == Outcome::Empty || outcome == Outcome::Dropped) return;
    ++gRun.commands;
    if (outcome != Outcome::Failed && outcome != Outcome::FailedSilent) return;
    ++gRun.failed;
    if (gRun.policy == OnError::Stop && gRun.failed == 1)
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Stopping the session after a failed command\n");
}

bool isql_run_must_stop() {
    return (gRun.policy == OnError::Stop && gRun.failed > 0) || isql_results_reader_gone();
}

void isql_write_run_summary() {
    if (gRun.policy != OnError::Continue) return;
    // With failures it is the reason for the exit status: an error, which -q keeps.
    if (gRun.failed > 0)
        isql_trace(gfpErrFile, TRACE_ERROR, "%lld of %lld commands failed\n", gRun.failed, gRun.commands);
    else
        isql_trace(gfpResFile, TRACE_NOTICE, "%lld of %lld commands failed\n", gRun.failed, gRun.commands);
}

int isql_exit_status() {
    isql_flush_all();
    if (isql_results_reader_gone()) return kExitReaderGone;
    if (isql_output_lost()) return kExitOutputLost;
    if (gRun.failed > 0 && gRun.policy == OnError::Stop) return kExitStopped;
    if (gRun.failed > 0 && gRun.policy == OnError::Continue) return kExitCommandsFailed;
    return kExitOk;
}
