// The command loop: reads the lines of the sources on the stack and runs
// them one by one. The interactive session, a load job and the test runner
// run the same loop; a small policy says where its statements go, what
// ends it and how each outcome counts.
#pragma once

#include <functional>
#include <string>

#include "isql.h"

// What a loop does around the commands the dispatcher runs.
struct CommandHooks {
    // Runs a gathered SQL statement on the connection, with isql_exec's
    // result (0 success, nonzero after its diagnostics). Empty: isql_exec.
    std::function<int(SQLHDBC, const std::wstring&)> runStatement;
    // Called with the kind of each command before it runs.
    std::function<void(CmdKind)> beforeCommand;
};

// Runs one command line with hooks and writes its elapsed time.
Outcome isql_process_cmd(ClientState* state, std::wstring& line, const CommandHooks& hooks);
// Runs a statement gathered beforehand as the dispatcher runs SQL, without
// its parsing and elapsed-time lines; state is connected.
Outcome isql_run_gathered(ClientState* state, const std::wstring& statement, const CommandHooks& hooks);

// One line of the base source when the policy supplies them.
struct SourceLine {
    std::wstring line;  // may be left as it was when statement is run instead
    // A statement gathered whole beforehand: it goes to runStatement as it
    // is, without the dispatcher (parsing, elapsed-time lines), while the
    // base source is connected.
    const std::wstring* statement = nullptr;
};

struct LoopPolicy {
    CommandHooks hooks;
    // The source whose end ends the loop and which the loop leaves open (a
    // load job reads it again at its next pass). Null: every source, each
    // closed at its end.
    ClientState* base = nullptr;
    // The lines of base instead of its input; false at their end.
    std::function<bool(SourceLine&)> baseLines;
    // Checked before each command: true ends the loop.
    std::function<bool()> mustEnd;
    // Counts each outcome (the session's count when empty); true ends the loop.
    std::function<bool(Outcome)> counted;
    // Called before a source above base is closed at its end.
    std::function<void()> sourceEnding;
};

// How a loop ended.
enum class LoopEnd {
    InputEnded,  // the input ran out (of base, or of every source)
    Stopped,     // --on-error=stop after a failure, or the results reader went away
    Exit,        // EXIT or QUIT closed every source
    Ended,       // the policy ended it: mustEnd or counted said so
};

// Runs commands until the loop ends. A command that runs out of memory fails
// alone; the loop goes on.
LoopEnd isql_run_commands(const LoopPolicy& policy);
