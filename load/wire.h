// The lines a job sends its parent through its pipe: one message a line,
// fields separated by tabs, texts escaped so that a field stays one field.
//   T id text                    a statement text met for the first time
//   S id count errors sum max b:n,b:n...  executions since the last report,
//                                with the latency buckets of the successes
//   E count state message        failures of one SQLSTATE since the last report
//   J failed passes late skipped failed commands, complete passes, passes later
//                                than --latency-limit and passes skipped since then
//   P sum max b:n,...            latencies of the complete passes since then
//   G sum max b:n,...            --rate: how late passes started against their schedule
//   R                            --rate: connected, waiting for the others to start
//   I second                     the lines after it, up to the next I, were counted
//                                in that second of the run's clock (from 0)
//   C state message              a connection could not be made
//   L                            the connection was lost
//   Z micros end lost first      the job ended: when its passes ended (from the
//                                run's start), how, 1 when some of its output
//                                could not be written, and when its first pass
//                                began (when its passes ended if none did)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How a job ended, as its last line tells the parent.
enum class JobEnd {
    Completed,        // its runs or its duration
    Stopped,          // a stopping signal
    ConnectionLost,
    OnErrorStop,      // --on-error=stop after a failure
    Exit,             // EXIT or QUIT in the script
    CouldNotConnect,
    OutputUnopened,   // --job-output files could not be opened
    ScriptUncopied,   // its copy of the script could not be made
    NoEnvironment,    // the ODBC environment could not be set up
    ScriptUnreadable,  // the script could not be read again for a pass
};
// The words of the report for end.
const char* job_end_text(JobEnd end);

struct WireMessage {
    enum class Kind : char {
        Text = 'T', Stats = 'S', Errors = 'E', Job = 'J', ConnectFailed = 'C', Lost = 'L', End = 'Z',
        Passes = 'P', Lag = 'G', Ready = 'R', Second = 'I'
    };
    explicit WireMessage(Kind k = Kind::Lost) : kind(k) {}
    Kind kind;
    uint64_t id = 0;      // T, S; I: the second
    uint64_t count = 0;   // S, E
    uint64_t errors = 0;  // S
    uint64_t sum = 0, max = 0;  // S, P, G: microseconds
    std::vector<std::pair<uint64_t, uint64_t>> buckets;  // S, P, G: index, count
    uint64_t failed = 0, passes = 0, late = 0, skipped = 0;  // J
    uint64_t micros = 0, firstPass = 0;  // Z: from the run's start
    JobEnd end = JobEnd::Completed;   // Z
    bool outputLost = false;          // Z
    std::string text;     // T
    std::string state;    // E, C
    std::string message;  // E, C

    bool operator==(const WireMessage&) const = default;
};

// The line of m, its line end included.
std::string wire_encode(const WireMessage& m);
// Reads one line (without its line end) into m. False with a reason for a
// line that is not one of the messages above.
bool wire_decode(std::string_view line, WireMessage& m, std::string& why);
