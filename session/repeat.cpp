// REPEAT blocks: the block is read whole when REPEAT is met and then handed
// out pass after pass by isql_get_nextcmd.
#include <string>

#include "isql.h"
#include "isqlcmd.h"
#include "isqltm.h"

using enum CmdKind;  // the kinds by their plain CMD_ names

// Reads the lines of a block up to END into the state's list without running
// them. 1 when END was read, 0 when the input ended (or Ctrl-C came) first.
int isql_get_repeatlist(ClientState* state) {
    if (state->inFile == stdin) {
        isql_trace(gfpResFile, TRACE_NOTICE,
                   "Enter the commands to be repeated. Terminate with END command\n");
    }
    state->repeatList.clear();
    std::wstring line;
    for (int n = 1;; ++n) {
        const std::string prompt = "CMD #" + std::to_string(n);
        if (isql_get_newcmd(state, line, prompt.c_str()) != 1) return 0;
        IsqlCommand cmd = isql_parse_line(line.c_str());
        switch (cmd.kind) {
        case CMD_END:
            return 1;
        case CMD_EMPTY:
            break;
        case CMD_REPEAT:
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Nested repeat loops are not supported\n");
            break;
        case CMD_SQL: {
            // Stored in the EXEC form with its own ";" so a replay reads no
            // continuation line.
            std::wstring stmt;
            if (isql_get_stmt(state, cmd.wsText, stmt) != Gathered::Complete) return 0;
            state->repeatList.push_back(L"exec " + stmt + L";");
            break;
        }
        default:
            state->repeatList.push_back(line);
            break;
        }
    }
}

// Reads and arms a block of count passes. 0 (reported) when the input ended
// before END, or (quietly) when Ctrl-C dropped it; nothing of the block runs.
int isql_repeat(ClientState* state, long long count) {
    if (!isql_get_repeatlist(state)) {
        // Ctrl-C at the terminal drops the block without a word.
        if (!isql_input_interrupted(state))
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Error in processing the repeat loop\n");
        isql_close_repeatlist(state);
        return 0;
    }
    state->repeatCount = static_cast<int>(count);
    state->repeatCursor = 0;
    return 1;
}

int isql_close_repeatlist(ClientState* state) {
    state->repeatList.clear();
    state->repeatList.shrink_to_fit();
    state->repeatCursor = 0;
    return 1;
}
