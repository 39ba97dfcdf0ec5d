// The command loop shared by the session and the load jobs.
#include <new>

#include "isqlloop.h"
#include "isqlrun.h"
#include "isqltm.h"

namespace {
// Runs one command line; running out of memory fails that command only.
Outcome run_line(ClientState* state, std::wstring& line, const CommandHooks& hooks) {
    try {
        return isql_process_cmd(state, line, hooks);
    } catch (const std::bad_alloc&) {
        isql_flush_all();
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Out of memory; the command was not completed\n");
        return Outcome::Failed;
    }
}

bool count(const LoopPolicy& policy, Outcome outcome) {
    if (policy.counted) return policy.counted(outcome);
    isql_count_command(outcome);
    return false;
}
}  // namespace

LoopEnd isql_run_commands(const LoopPolicy& policy) {
    SourceLine next;
    for (;;) {
        if (policy.mustEnd && policy.mustEnd()) return LoopEnd::Ended;
        if (isql_run_must_stop()) return LoopEnd::Stopped;
        ClientState* state = gClientStateList.last();
        if (state == nullptr) return LoopEnd::InputEnded;
        next.statement = nullptr;
        const bool got = state == policy.base && policy.baseLines ? policy.baseLines(next)
                                                                   : isql_get_nextcmd(state, next.line) != 0;
        if (!got) {
            // A source cut short by a line it could not decode counts as failed.
            const bool cutShort = state->reader.undecodable;
            if (state == policy.base) {
                if (cutShort) count(policy, Outcome::Failed);
                return LoopEnd::InputEnded;
            }
            if (policy.sourceEnding) policy.sourceEnding();
            isql_close_curstate(state);
            if (cutShort && count(policy, Outcome::Failed)) return LoopEnd::Ended;
            continue;
        }
        const bool gathered = next.statement != nullptr && state->connected != 0;
        if (!gathered && !next.line.empty() && next.line[0] == L'#') continue;
        const Outcome outcome = gathered
                                    ? isql_run_gathered(state, *next.statement, policy.hooks)
                                    : run_line(state, next.line, policy.hooks);
        if (count(policy, outcome)) return LoopEnd::Ended;
        if (gClientStateList.states.empty()) return LoopEnd::Exit;
    }
}
