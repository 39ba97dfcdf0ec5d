// Printing of ODBC diagnostic records: one fixed block per record on the error
// stream, and the SQLSTATE of the last one kept for the lost-connection check.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cwchar>
#include <cwctype>

#include "isql.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "platform.h"
#include "zvunicode.h"


namespace {
constexpr SQLSMALLINT kMessageChars = 2048;   // buffer length given to SQLErrorW
constexpr int kMessageKeep = kMessageChars - 1;  // longest message printed
constexpr size_t kStateChars = 6;             // five-character SQLSTATE and terminator
constexpr wchar_t kConnectionNotOpen[] = L"08003";
DiagnosticObserver gObserver = nullptr;

// Value of the decimal number at s: leading blanks and a sign allowed,
// reading stops at the first non-digit, no digits give 0. Wraps like a
// 32-bit integer instead of overflowing.
SQLINTEGER parseNative(const wchar_t* s) {
    while (std::iswspace(static_cast<wint_t>(*s))) ++s;
    bool negative = false;
    if (*s == L'+' || *s == L'-') negative = *s++ == L'-';
    uint32_t value = 0;
    for (; *s >= L'0' && *s <= L'9'; ++s) value = value * 10u + static_cast<uint32_t>(*s - L'0');
    if (negative) value = 0u - value;
    return static_cast<SQLINTEGER>(value);
}

// Writes the five-line block of one record at the output class given.
void printBlock(int cls, const char* label, const wchar_t* state, SQLINTEGER native,
                const wchar_t* message) {
    isql_trace(gfpErrFile, cls, "The following error information describes the failure\n");
    isql_trace(gfpErrFile, cls, "ODBC Call     = %s()\n", label);
    isql_tracew(gfpErrFile, cls, "%s", L"SQL State     = ");
    isql_tracew(gfpErrFile, cls, "%s", state);
    isql_trace(gfpErrFile, cls, "\n");
    isql_trace(gfpErrFile, cls, "Native error  = %d(%X)\n", static_cast<int>(native),
               static_cast<unsigned int>(native));
    isql_tracew(gfpErrFile, cls, "%s", L"Error Message = ");
    isql_tracew(gfpErrFile, cls, "%s", message);
    isql_trace(gfpErrFile, cls, "\n");
}
}  // namespace

void isql_observe_diagnostics(DiagnosticObserver observer) { gObserver = observer; }

// Drains the pending diagnostic records of hstmt, else hdbc, else the
// environment, printing each as a block under label. A trailing bracketed
// number in a message is taken as its native code and cut off. When the
// records are those of the shared connection (or a statement on it), the last
// one's SQLSTATE tells whether that connection still exists (08003: it does
// not). Always returns 1, so that statement-level callers can return it as
// their failure code.
int print_err(const char* label, SQLHDBC hdbc, SQLHSTMT hstmt) {
    return print_diagnostics(label, hdbc, hstmt, TRACE_ERROR);
}

int print_diagnostics(const char* label, SQLHDBC hdbc, SQLHSTMT hstmt, int cls) {
    const bool shared = hdbc == gClientStateList.hdbc;
    for (;;) {
        std::array<wchar_t, kStateChars> state{};
        // Room for the message and a terminator; with -u 0 the driver manager
        // writes 2-byte units here, which take half of it.
        std::array<wchar_t, kMessageChars + 1> message{};
        SQLINTEGER native = 0;
        SQLSMALLINT textLength = 0;
        SQLRETURN rc;

        if (gUnicodeEnc != 0) {
            std::array<SQLWCHAR, kStateChars> state16{};
            std::array<SQLWCHAR, kMessageChars + 1> message16{};
            rc = SQLErrorW(gClientStateList.henv, hdbc, hstmt, state16.data(), &native,
                           message16.data(), kMessageChars, &textLength);
            if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
                utf16towcs(state16.data(), static_cast<int>(kStateChars), state.data(),
                           static_cast<int>(kStateChars));
                // Only what the buffer holds is widened, whatever length the
                // driver manager reports for the whole message.
                int units = textLength;
                if (units == SQL_NTS) {
                    units = static_cast<int>(std::find(message16.begin(), message16.end() - 1,
                                                       SQLWCHAR{0}) -
                                             message16.begin());
                }
                units = std::clamp(units, 0, static_cast<int>(kMessageKeep));
                utf16towcs(message16.data(), units, message.data(), kMessageChars + 1);
                message[static_cast<size_t>(units)] = L'\0';
            }
        } else {
            rc = SQLErrorW(gClientStateList.henv, hdbc, hstmt,
                           reinterpret_cast<SQLWCHAR*>(state.data()), &native,
                           reinterpret_cast<SQLWCHAR*>(message.data()), kMessageChars,
                           &textLength);
        }

        if (rc == SQL_NO_DATA) return 1;
        if (shared) gClientStateList.hdbcLost = false;
        if (rc == SQL_ERROR) {
            isql_trace(gfpErrFile, TRACE_ERROR, "print_err: Can't get error information\n");
            return 1;
        }
        if (rc == SQL_INVALID_HANDLE) {
            isql_trace(gfpErrFile, TRACE_ERROR,
                       "Can't get error information, connection/statement handle is invalid\n");
            return 1;
        }
        // Any other code is not a record; stop rather than risk looping.
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return 1;

        state[kStateChars - 1] = L'\0';
        if (shared) gClientStateList.hdbcLost = wcscmp(state.data(), kConnectionNotOpen) == 0;

        int n = textLength;
        if (n == SQL_NTS) n = static_cast<int>(wcsnlen(message.data(), kMessageChars));
        n = std::clamp(n, 0, kMessageKeep);

        size_t cut = static_cast<size_t>(n);
        if (n >= 2 && message[static_cast<size_t>(n) - 1] == L']') {
            for (int i = n - 2; i >= 1; --i) {
                if (message[static_cast<size_t>(i)] == L'[') {
                    native = parseNative(&message[static_cast<size_t>(i) + 1]);
                    cut = static_cast<size_t>(i);
                    break;
                }
            }
        }
        message[cut] = L'\0';

        if (gObserver != nullptr) gObserver(state.data(), message.data());
        printBlock(cls, label, state.data(), native, message.data());
    }
}
