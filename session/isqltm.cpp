// Filtered output writers: every line of the session passes through here, so
// the trace mask of -q and -x decides in one place what is written.
#include "isqltm.h"

#include <cstdarg>
#include <cstring>

#include "isql.h"
#include "zvunicode.h"

unsigned int giTraceMask = 15;

namespace {
constexpr size_t kTraceWideBytes = 1024;  // multibyte bytes written per wide text
}

int isql_trace_init(unsigned int mask) {
    giTraceMask = mask;
    return 0;
}

int isql_trace(FILE* stream, int traceClass, const char* format, ...) {
    if ((giTraceMask & static_cast<unsigned int>(traceClass)) == 0) return 0;
    va_list args;
    va_start(args, format);
    vfprintf(stream, format, args);
    va_end(args);
    fflush(stream);
    return 0;
}

// Converts text to the locale's multibyte form, cut at kTraceWideBytes bytes.
// A character the locale cannot represent ends the text there.
int isql_tracew(FILE* stream, int traceClass, const char* /*format*/, const wchar_t* text) {
    if ((giTraceMask & static_cast<unsigned int>(traceClass)) == 0) return 0;
    if (text == nullptr) return 0;
    char out[kTraceWideBytes + 1];
    size_t n = zvwcstombs(out, text, kTraceWideBytes);
    if (n == static_cast<size_t>(-1)) {
        // Write what converts, up to the first character that does not.
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
    out[n] = '\0';
    fputs(out, stream);
    fflush(stream);
    return 0;
}
