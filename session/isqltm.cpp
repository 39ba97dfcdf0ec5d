// Filtered, buffered output writers (policy in isqltm.h).
//
// Bytes are kept in one buffer per stream and written with write(2) on the
// stream's descriptor; the C library's own buffer of those streams is never
// used, so a signal handler can flush with async-signal-safe calls only.
#include "isqltm.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <atomic>
#include <cwchar>
#include <string>
#include <poll.h>
#include <unistd.h>

#include "isql.h"
#include "zvunicode.h"

unsigned int giTraceMask = 15;

namespace {
constexpr size_t kTraceWideBytes = 1024;  // multibyte bytes written per wide text
constexpr size_t kBufferBytes = 64 * 1024;
constexpr int kMaxStreams = 16;           // standard streams plus nested RESFILE/ERRFILE files

struct OutStream {
    FILE* file = nullptr;
    int fd = -1;
    bool writeThrough = false;   // a terminal: no buffering
    char data[kBufferBytes];
    volatile size_t len = 0;     // bytes held
    volatile size_t done = 0;    // bytes of data already written by a flush in progress
    // errno of the first failed write; what is written after it is dropped,
    // since the output has a hole already.
    volatile int error = 0;
    bool reported = false;       // the failure has been told on the error stream
    std::string name;            // file name for messages; empty for the standard streams
};

OutStream gStreams[kMaxStreams];
OutStream* gLast = nullptr;     // the stream written most recently

// Set when a write failed, so that the exit status tells it even when the
// failure could not be reported (the error stream itself failing).
volatile sig_atomic_t gOutputLost = 0;
volatile sig_atomic_t gResultsReaderGone = 0;  // EPIPE on a stream other than stderr
volatile sig_atomic_t gFailurePending = 0;     // a failure not yet reported

// Depth of writer calls under way. A stopping signal that arrives inside one
// waits for its end: flushing from the handler then would write again the
// bytes of a write(2) that it interrupted, and would cut the value being
// appended.
volatile sig_atomic_t gWriting = 0;
volatile sig_atomic_t gDeferredSignal = 0;

void stop_now(int sig);

struct WriterSection {
    WriterSection() {
        gWriting = gWriting + 1;
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    ~WriterSection() {
        std::atomic_signal_fence(std::memory_order_seq_cst);
        gWriting = gWriting - 1;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (gWriting == 0 && gDeferredSignal != 0) stop_now(gDeferredSignal);
    }
    WriterSection(const WriterSection&) = delete;
    WriterSection& operator=(const WriterSection&) = delete;
};

// Writes data[done, len) and empties the buffer. Async-signal-safe.
void flush_stream(OutStream& s) {
    while (s.error == 0 && s.done < s.len) {
        ssize_t n = ::write(s.fd, s.data + s.done, s.len - s.done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A descriptor left non-blocking by whoever started us: wait, not lose.
            pollfd p{s.fd, POLLOUT, 0};
            if (poll(&p, 1, -1) >= 0 || errno == EINTR) continue;
        }
        if (n <= 0) {
            s.error = n < 0 ? errno : EIO;
            gOutputLost = 1;
            gFailurePending = 1;
            if (s.error == EPIPE && s.fd != STDERR_FILENO) gResultsReaderGone = 1;
            break;
        }
        s.done = s.done + static_cast<size_t>(n);
    }
    s.len = 0;
    s.done = 0;
}

// The slot of stream, registered at its first write.
OutStream& slot_of(FILE* stream) {
    if (gLast != nullptr && gLast->file == stream) return *gLast;
    OutStream* freeSlot = nullptr;
    for (OutStream& s : gStreams) {
        if (s.file == stream) return s;
        if (s.file == nullptr && freeSlot == nullptr) freeSlot = &s;
    }
    if (freeSlot == nullptr) {
        // Too many open streams at once: reuse the least useful slot.
        freeSlot = &gStreams[kMaxStreams - 1];
        flush_stream(*freeSlot);
    }
    freeSlot->fd = fileno(stream);
    freeSlot->writeThrough = isatty(freeSlot->fd) != 0;
    freeSlot->len = 0;
    freeSlot->done = 0;
    freeSlot->error = 0;
    freeSlot->reported = false;
    freeSlot->name.clear();
    freeSlot->file = stream;
    return *freeSlot;
}

// Prepares stream for n more bytes: the other stream is flushed first so the
// two interleave in call order.
OutStream& begin_write(FILE* stream) {
    OutStream& s = slot_of(stream);
    if (gLast != nullptr && gLast != &s && gLast->len != 0) flush_stream(*gLast);
    gLast = &s;
    return s;
}

void append(OutStream& s, const char* p, size_t n) {
    while (n > 0) {
        if (s.len == kBufferBytes) flush_stream(s);
        size_t k = kBufferBytes - s.len;
        if (k > n) k = n;
        memcpy(s.data + s.len, p, k);
        s.len = s.len + k;
        p += k;
        n -= k;
    }
}

void report_failures();

void end_write(OutStream& s) {
    if (s.writeThrough) flush_stream(s);
    report_failures();
}

void vwrite(FILE* stream, const char* format, va_list args) {
    WriterSection writing;
    OutStream& s = begin_write(stream);
    va_list again;
    va_copy(again, args);
    size_t room = kBufferBytes - s.len;
    int n = vsnprintf(s.data + s.len, room, format, args);
    if (n >= 0 && static_cast<size_t>(n) < room) {
        s.len = s.len + static_cast<size_t>(n);
    } else if (n > 0) {
        std::string text(static_cast<size_t>(n) + 1, '\0');
        vsnprintf(text.data(), text.size(), format, again);
        append(s, text.data(), static_cast<size_t>(n));
    }
    va_end(again);
    end_write(s);
}

bool masked(int traceClass) { return (giTraceMask & static_cast<unsigned int>(traceClass)) == 0; }

// The stream a write for stream goes to: the error stream in place of the
// results stream while the format keeps that for rows.
FILE* routed(FILE* stream) {
    if (!isql_format_is_data_only(gSettings.format)) return stream;
    return stream == static_cast<FILE*>(gfpResFile) ? static_cast<FILE*>(gfpErrFile) : stream;
}

void write_bytes(FILE* stream, int traceClass, const char* data, size_t len) {
    WriterSection writing;
    if (masked(traceClass)) return;
    OutStream& s = begin_write(stream);
    append(s, data, len);
    end_write(s);
}

std::string display_name(const OutStream& s) {
    if (!s.name.empty()) return s.name;
    if (s.fd == STDOUT_FILENO) return "standard output";
    if (s.fd == STDERR_FILENO) return "standard error";
    return "an output file";
}

// Tells each failed stream once, on the error stream; when that is the
// failed stream, or has failed too, straight on standard error.
void report_failures() {
    static bool reporting = false;
    if (gFailurePending == 0 || reporting) return;
    reporting = true;
    while (gFailurePending != 0) {
        gFailurePending = 0;
        for (OutStream& s : gStreams) {
            if (s.file == nullptr || s.error == 0 || s.reported) continue;
            s.reported = true;
            if (masked(TRACE_ERROR)) continue;
            const std::string line =
                "SQL: Output to " + display_name(s) + " was lost: " + strerror(s.error) + "\n";
            OutStream& err = slot_of(gfpErrFile);
            if (&err == &s || err.error != 0) {
                if (::write(STDERR_FILENO, line.data(), line.size()) < 0) continue;
            } else {
                if (gLast != nullptr && gLast != &err && gLast->len != 0) flush_stream(*gLast);
                gLast = &err;
                append(err, line.data(), line.size());
                flush_stream(err);
            }
        }
    }
    reporting = false;
}

// Flushes every buffer and stops as the signal would have. The default action
// comes back first, so that a second signal ends a flush that blocks.
void stop_now(int sig) {
    signal(sig, SIG_DFL);
    for (OutStream& s : gStreams)
        if (s.file != nullptr) flush_stream(s);
    raise(sig);
}

void stop_handler(int sig) {
    if (gWriting != 0) {
        gDeferredSignal = sig;
        return;
    }
    stop_now(sig);
}
}  // namespace

int isql_trace_init(unsigned int mask) {
    giTraceMask = mask;
    return 0;
}

int isql_trace(FILE* stream, int traceClass, const char* format, ...) {
    if (masked(traceClass)) return 0;
    va_list args;
    va_start(args, format);
    vwrite(routed(stream), format, args);
    va_end(args);
    return 0;
}

void isql_print_always(FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vwrite(stream, format, args);
    va_end(args);
}

void isql_write(FILE* stream, int traceClass, const char* data, size_t len) {
    write_bytes(routed(stream), traceClass, data, len);
}

// write_bytes timed with the print clock. The clock is read only around a
// write that makes a system call: the bytes of one row are mostly a copy into
// the buffer, which costs less than reading the clock twice.
void write_bytes_timed(FILE* stream, int traceClass, const char* data, size_t len) {
    WriterSection writing;
    if (masked(traceClass)) return;
    OutStream& s = slot_of(stream);
    const bool callsWrite = s.writeThrough || s.len + len > kBufferBytes || gFailurePending != 0 ||
                            (gLast != nullptr && gLast != &s && gLast->len != 0);
    if (!callsWrite) {
        gLast = &s;
        memcpy(s.data + s.len, data, len);
        s.len = s.len + len;
        return;
    }
    PrintClock printing;
    OutStream& t = begin_write(stream);
    append(t, data, len);
    end_write(t);
}

void isql_write_timed(FILE* stream, int traceClass, const char* data, size_t len) {
    write_bytes_timed(routed(stream), traceClass, data, len);
}

void isql_write_rows(const char* data, size_t len) {
    write_bytes_timed(gfpResFile, TRACE_DATA, data, len);
}

// Converts text to the locale's multibyte form, cut at kTraceWideBytes bytes.
// A character the locale cannot represent ends the text there.
int isql_tracew(FILE* stream, int traceClass, const char* /*format*/, const wchar_t* text) {
    if (masked(traceClass) || text == nullptr) return 0;
    char out[kTraceWideBytes + 1];
    size_t n = zvwcstombs(out, text, kTraceWideBytes);
    if (n == static_cast<size_t>(-1)) {
        n = 0;
        mbstate_t st{};
        char one[MB_LEN_MAX];
        for (const wchar_t* p = text; *p != L'\0'; ++p) {
            size_t k = wcrtomb(one, *p, &st);
            if (k == static_cast<size_t>(-1) || n + k > kTraceWideBytes) break;
            memcpy(out + n, one, k);
            n += k;
        }
    }
    isql_write(stream, traceClass, out, n);
    return 0;
}

void isql_flush_all() {
    WriterSection writing;
    for (OutStream& s : gStreams)
        if (s.file != nullptr && s.len != 0) flush_stream(s);
    report_failures();
}

void isql_name_stream(FILE* stream, const std::string& name) { slot_of(stream).name = name; }

// A failed close counts as a failed write: the file may miss its end.
void isql_close_stream(FILE* stream) {
    WriterSection writing;
    const bool own = stream != stdout && stream != stderr && stream != stdin;
    OutStream& s = slot_of(stream);
    flush_stream(s);
    if (own && fclose(stream) != 0 && s.error == 0) {
        s.error = errno;
        gOutputLost = 1;
        gFailurePending = 1;
    }
    report_failures();
    s.file = nullptr;
    if (gLast == &s) gLast = nullptr;
}

bool isql_output_lost() { return gOutputLost != 0; }

char* isql_rows_window(size_t want, char** limit) {
    WriterSection writing;
    if (masked(TRACE_DATA) || want > kBufferBytes) return nullptr;
    OutStream& s = slot_of(gfpResFile);
    if (s.len + want > kBufferBytes) {
        PrintClock printing;
        flush_stream(s);
        report_failures();
    }
    // Bytes of another stream go first, and a terminal shows each row.
    if (s.writeThrough || gFailurePending != 0 || (gLast != nullptr && gLast != &s && gLast->len != 0))
        return nullptr;
    gLast = &s;
    *limit = s.data + kBufferBytes;
    return s.data + s.len;
}

void isql_rows_commit(const char* end) {
    OutStream& s = slot_of(gfpResFile);
    s.len = static_cast<size_t>(end - s.data);
}

bool isql_results_reader_gone() { return gResultsReaderGone != 0; }

void isql_note_output_lost() { gOutputLost = 1; }

void isql_install_stop_handlers() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) signal(sig, stop_handler);
}
