// COMMIT, ROLLBACK and AUTOCOMMIT on the shared connection handle. The client
// keeps no transaction state: the driver's mode is the only truth.
#include "isql.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "platform.h"

// Ends the transaction of the shared connection: type 0 commits, 1 rolls
// back. Returns 1 when done or when nothing is connected (with a notice), 0
// when the driver answered anything but SQL_SUCCESS.
int isql_transact(ClientState* state, int type) {
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "You are not connected to any database\nThere is no active transaction\n");
        return 1;
    }
    isql_trace(gfpResFile, TRACE_NOTICE,
               type == 0 ? "SQL: committing transaction\n" : "SQL: rolling back transaction\n");

    const SQLUSMALLINT completion = type == 0 ? SQL_COMMIT : SQL_ROLLBACK;
    const SQLRETURN rc = SQLTransact(gClientStateList.henv, gClientStateList.hdbc, completion);
    if (!isql_strict_passes(rc, "SQLTransact", gClientStateList.hdbc, SQL_NULL_HSTMT)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "Error ending transaction\n");
        print_err("SQLTransact", gClientStateList.hdbc, SQL_NULL_HSTMT);
        return 0;
    }
    return 1;
}

// Sets auto-commit on the shared handle, connected or not, so the mode stays
// across later connects. Returns 1 set, 0 when the driver answered anything
// but SQL_SUCCESS.
int isql_autocommit(ClientState* /*state*/, int on) {
    const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    const SQLRETURN rc = SQLSetConnectOption(gClientStateList.hdbc, SQL_AUTOCOMMIT, value);
    if (!isql_strict_passes(rc, "SQLSetConnectOption", gClientStateList.hdbc, SQL_NULL_HSTMT)) {
        isql_trace(gfpErrFile, TRACE_ERROR, "Error setting connection option\n");
        print_err("SQLSetConnectOption", gClientStateList.hdbc, SQL_NULL_HSTMT);
        return 0;
    }
    return 1;
}
