// Filtered output writers. Every line of the session goes through these.
#pragma once

#include <cstdio>

extern unsigned int giTraceMask;

int isql_trace_init(unsigned int mask);
// printf-style write of one piece of output of the given class on stream.
int isql_trace(FILE* stream, int traceClass, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Writes one wide text converted to the locale's multibyte form (at most
// 1024 bytes); format is not interpreted.
int isql_tracew(FILE* stream, int traceClass, const char* format, const wchar_t* text);

const char* ZvGetProductVersion();
void versionInfo();
