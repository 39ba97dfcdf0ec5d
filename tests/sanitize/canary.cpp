// sanitize_canary: one known fault on demand, so that scripts/sanitize can
// make sure the sanitizers of its build report faults where it looks for
// them before it takes a run without reports as clean.
//
// Usage: sanitize_canary leak|overflow|undefined
// Exit status: whatever the sanitizer makes of the fault; 0 would mean the
// fault went unnoticed.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Kept out of the optimiser's sight, so that every fault really happens.
volatile int gSink = 0;
void* volatile gLost = nullptr;

int leak() {
    gLost = std::malloc(64);
    gLost = nullptr;
    return 0;
}

int overflow() {
    // A size unknown at compile time, so that AddressSanitizer, not the
    // object-size check, sees the write.
    char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(8 + gSink)));
    const int index = 8 + gSink;
    buffer[index] = 'x';
    gSink = buffer[index];
    std::free(buffer);
    return 0;
}

int undefined() {
    int value = INT_MAX - gSink;
    value += 1 + gSink;
    gSink = value;
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "leak") == 0) return leak();
    if (argc == 2 && std::strcmp(argv[1], "overflow") == 0) return overflow();
    if (argc == 2 && std::strcmp(argv[1], "undefined") == 0) return undefined();
    std::fprintf(stderr, "usage: sanitize_canary leak|overflow|undefined\n");
    return 2;
}
