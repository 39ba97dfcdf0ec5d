// The command clock and the print clock, on the monotonic clock.
#include <algorithm>
#include <ctime>

#include "isqlclock.h"

namespace {
constexpr long long kNanosPerMicro = 1000;

long long gCommandBegin = 0;
long long gPrintBegin = 0;
long long gPrinted = 0;  // microseconds spent printing in this command
}  // namespace

long long isql_now_us() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * kMicrosPerSecond + ts.tv_nsec / kNanosPerMicro;
}

void isql_command_clock_start() {
    gCommandBegin = isql_now_us();
    gPrinted = 0;
}

long long isql_command_clock_us() { return std::max(0LL, isql_now_us() - gCommandBegin - gPrinted); }

void isql_timer_print_start() { gPrintBegin = isql_now_us(); }

void isql_timer_print_stop() { gPrinted += isql_now_us() - gPrintBegin; }
