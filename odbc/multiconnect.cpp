// MULTICONNECT and MULTIDISCONNECT: a set of extra connections to one data
// source, held open without statements, for load tests.
#include <string>
#include <vector>

#include "isql.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "platform.h"

std::vector<SQLHDBC> gMultiConnectHDBC;

int isql_multi_connect_count() { return static_cast<int>(gMultiConnectHDBC.size()); }

namespace {
// Disconnects and frees the newest handle of the set. On a refused disconnect
// writes the failure and its diagnostics and returns false, leaving the handle
// in the set.
bool closeNewest() {
    SQLHDBC h = gMultiConnectHDBC.back();
    const SQLRETURN rc = SQLDisconnect(h);
    if (!SQL_SUCCEEDED(rc)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Error is disconnect\n");
        print_err("SQLDisConnect", h, SQL_NULL_HSTMT);
        return false;
    }
    const SQLRETURN freeRc = SQLFreeHandle(SQL_HANDLE_DBC, h);
    static_cast<void>(freeRc);  // a disconnected handle frees; nothing to report
    gMultiConnectHDBC.pop_back();
    return true;
}

// A second MULTICONNECT replaces the set: the earlier connections are closed
// first, without counter lines. One that refuses to disconnect is reported
// and abandoned, so the new set always starts empty.
void releaseEarlierSet() {
    while (!gMultiConnectHDBC.empty())
        if (!closeNewest()) gMultiConnectHDBC.pop_back();
}
}  // namespace

// Opens count further connections to dsn with SQLConnectW, each on its own
// handle, writing a counter line before each. Stops at the first failure,
// whose handle is freed. The set then holds the connections made.
// Returns 1 when all were made, 0 when it stopped early or refused the input.
int isql_multi_connect(ClientState* /*state*/, int count, const wchar_t* user,
                       const wchar_t* password, const char* dsn) {
    std::wstring wideDsn;
    if (!isql_check_identity(dsn, nullptr, user, password, wideDsn)) return 0;
    const std::wstring userCopy = user != nullptr ? user : L"";
    const std::wstring passwordCopy = password != nullptr ? password : L"";
    const char* dsnText = dsn != nullptr ? dsn : "";

    releaseEarlierSet();

    for (int k = 1; k <= count; ++k) {
        isql_trace(gfpResFile, TRACE_NOTICE, "Connection Counter = %d\n", k);

        SQLHDBC h = SQL_NULL_HDBC;
        SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, gClientStateList.henv, &h);
        if (rc != SQL_SUCCESS) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Can't allocate connection handle\n");
            if (SQL_SUCCEEDED(rc)) SQLFreeHandle(SQL_HANDLE_DBC, h);
            return 0;
        }

        rc = static_cast<SQLRETURN>(
            isql_call_sqlconnectw(h, wideDsn.c_str(), userCopy.c_str(), passwordCopy.c_str()));
        if (!SQL_SUCCEEDED(rc)) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: Can't connect to database %s\n", dsnText);
            print_err("SQLConnect", h, SQL_NULL_HSTMT);
            const SQLRETURN freeRc = SQLFreeHandle(SQL_HANDLE_DBC, h);
            static_cast<void>(freeRc);  // never connected, so it frees
            return 0;
        }
        gMultiConnectHDBC.push_back(h);
    }
    return 1;
}

// Closes the set newest first, writing a counter line (counting down) before
// each. Stops at the first refused disconnect, leaving the rest open.
// Returns 1 when the set is gone, 0 when it stopped early.
int isql_multi_disconnect(ClientState* /*state*/) {
    while (!gMultiConnectHDBC.empty()) {
        isql_trace(gfpResFile, TRACE_NOTICE, "Connection Counter = %d\n", isql_multi_connect_count());
        if (!closeNewest()) return 0;
    }
    gMultiConnectHDBC.shrink_to_fit();
    return 1;
}
