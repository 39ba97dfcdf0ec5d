// Output writers. Every byte the session writes on its results and error
// streams goes through here, so the trace mask of -q and -x is applied in one
// place and the buffering policy below holds for every caller.
//
// A stream on a terminal is written through at once. Any other stream is
// buffered and flushed when the other stream is about to be written, when the
// buffer fills, before input is read, before WAIT and calls that may block,
// at the end of every command, and when the process is stopped by SIGINT,
// SIGTERM, SIGHUP or SIGQUIT. So results and errors keep the order of the
// calls and nothing written is lost, at the cost of one system call per
// buffer rather than per value.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

extern unsigned int giTraceMask;

int isql_trace_init(unsigned int mask);
// printf-style write of one piece of output of the given class on stream.
int isql_trace(FILE* stream, int traceClass, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Writes one wide text converted to the locale's multibyte form (at most
// 1024 bytes); format is not interpreted.
int isql_tracew(FILE* stream, int traceClass, const char* format, const wchar_t* text);
// Writes len bytes of the given class as they are.
void isql_write(FILE* stream, int traceClass, const char* data, size_t len);
// isql_write for result text, timed with the print clock (isql.h) only when
// it writes to the descriptor, which is the time kept out of elapsed times.
void isql_write_timed(FILE* stream, int traceClass, const char* data, size_t len);
// Writes len bytes of result rows on the results stream in force, timed as
// isql_write_timed. The other writers send what is meant for the results
// stream to the error stream while the output format keeps that stream for
// rows alone (CSV, JSON).
void isql_write_rows(const char* data, size_t len);
// Rows written straight into the results stream's buffer: where at least
// want bytes may be written after what it holds (flushed first when they
// would not fit), up to *limit; nullptr where rows go through
// isql_write_rows instead (a terminal, bytes of another stream waiting, a
// failure to report, the stream masked, more than the buffer holds).
// isql_rows_commit(end) adds the bytes written before end; nothing else may
// write to a stream in between. A stopping signal keeps what was committed.
char* isql_rows_window(size_t want, char** limit);
void isql_rows_commit(const char* end);
// printf-style write that no trace mask suppresses (prompts, usage, version).
void isql_print_always(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes out everything buffered, for every stream.
void isql_flush_all();
// Flushes and closes a stream opened by the session (RESFILE, ERRFILE).
void isql_close_stream(FILE* stream);
// Names a stream the session opened, for the message of a failed write.
void isql_name_stream(FILE* stream, const std::string& name);

// A write that fails is told once per stream on the error stream ("SQL: Output
// to NAME was lost: REASON"), and what is written to that stream afterwards
// is dropped. These tell the session about it afterwards.
bool isql_output_lost();            // some write failed, in any stream
bool isql_results_reader_gone();    // a stream other than stderr met EPIPE
void isql_note_output_lost();       // a write outside these writers failed
// Flushes the buffers when a stopping signal arrives, then stops as it would.
void isql_install_stop_handlers();

const char* ZvGetProductVersion();
void versionInfo();
