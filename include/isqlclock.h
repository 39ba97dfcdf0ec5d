// The one clock of the program: microseconds of the monotonic clock, which
// never steps back and is comparable between processes. Figures become
// milliseconds only where a line prints them.
#pragma once

constexpr long long kMicrosPerMs = 1000;
constexpr long long kMicrosPerSecond = 1000000;

long long isql_now_us();
inline long long isql_us_to_ms(long long micros) { return micros / kMicrosPerMs; }

// The command clock: started as a command begins, it leaves out the time
// spent writing results (the print clock), so that a slow reader of the
// output does not show as a slow statement.
void isql_command_clock_start();
// Microseconds since the command began, less the time spent printing; never
// negative, however the clock moved.
long long isql_command_clock_us();

// Print clock: bracket the writing of results so it is left out of elapsed
// times. Rows are timed only where they reach the descriptor
// (isql_write_timed), not while they are formatted in memory.
void isql_timer_print_start();
void isql_timer_print_stop();
// Holds the print clock for as long as it lives.
struct PrintClock {
    PrintClock() { isql_timer_print_start(); }
    ~PrintClock() { isql_timer_print_stop(); }
    PrintClock(const PrintClock&) = delete;
    PrintClock& operator=(const PrintClock&) = delete;
};
