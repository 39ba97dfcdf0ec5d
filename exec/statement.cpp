// Statement handles, prepare and execute, and the loop over the results of
// one executed statement. Every statement is prepared, then executed, on a
// handle that lives for one command.
#include <new>

#include "isqlexec.h"
#include "isqlodbc.h"
#include "isqltm.h"

long long lPrepareTime = 0;
long long lExecTime = 0;

void isql_note_statement_times(long long prepareMicros, long long executeMicros) {
    lPrepareTime = prepareMicros;
    lExecTime = executeMicros;
}

namespace {

// The notice of a statement that ran, after its handle was dropped. 0, or 1
// when the drop was refused (reported).
int drop_and_report(StmtHandle& stmt) {
    if (!stmt.drop()) return 1;
    isql_trace(gfpResFile, TRACE_NOTICE, "SQL: Operation successful.\n");
    return 0;
}

// Creates the handle and prepares text, timing the prepare into
// the prepare time whatever its outcome. 0 with stmt ready, or the failure result.
int create_and_prepare(StmtHandle& stmt, const wchar_t* text, long long* prepared) {
    int rc = isql_create_stmt_handle(stmt);
    if (rc != 0) return rc;
    const long long start = isql_now_us();
    rc = isql_prepare_stmt(stmt.connection(), stmt.get(), text);
    *prepared = isql_now_us();
    isql_note_statement_times(*prepared - start, 0);
    return rc;
}

}  // namespace

// Allocates a statement handle with the row limit and, when one is set, the
// query time-out. 0 with stmt holding it; otherwise 1 after the diagnostics,
// with no handle held.
int isql_create_stmt_handle(StmtHandle& stmt) {
    if (!stmt.allocate()) return 1;
    const SQLHDBC hdbc = stmt.connection();
    // A driver that rewrites statement text with the limit gets none in lenient
    // mode: the fetch loop keeps MAXROWS there.
    SQLRETURN rc = SQL_SUCCESS;
    if (!(gSettings.lenient && isql_driver_quirks().rewritesMaxRows))
        rc = SQLSetStmtAttrW(stmt.get(), SQL_ATTR_MAX_ROWS,
                             reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(gMaxRows)), 0);
    if (!isql_strict_passes(rc, "SQLSetStmtAttr", hdbc, stmt.get())) {
        isql_trace(gfpErrFile, TRACE_ERROR, "Error setting Statement Attr (MAX_ROWS)\n");
        print_err("SQLSetStmtAttr", hdbc, stmt.get());
        stmt.drop();
        return 1;
    }
    if (gQueryTimeout != -1) {
        rc = SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                            reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(gQueryTimeout)), 0);
        if (!isql_strict_passes(rc, "SQLSetStmtAttr", hdbc, stmt.get())) {
            isql_trace(gfpErrFile, TRACE_ERROR,
                       "Error setting Statement Attr (SQL_ATTR_QUERY_TIMEOUT)\n");
            print_err("SQLSetStmtAttr", hdbc, stmt.get());
            stmt.drop();
            return 1;
        }
    }
    return 0;
}

// Prepares the wide text on hstmt (as UTF-16 with gUnicodeEnc). 0, or 1 after
// the diagnostics; SQL_SUCCESS_WITH_INFO counts as a failure.
int isql_prepare_stmt(SQLHDBC hdbc, SQLHSTMT hstmt, const wchar_t* text) {
    SQLRETURN rc;
    if (gUnicodeEnc) {
        std::vector<zvutf16> copy;
        try {
            isql_util_wcstoutf16(text, copy);
        } catch (const std::bad_alloc&) {
            isql_trace(gfpErrFile, TRACE_ERROR,
                       "SQL: Out of memory: the statement is too large to convert; it was not run\n");
            return 1;
        }
        rc = SQLPrepareW(hstmt, reinterpret_cast<SQLWCHAR*>(copy.data()), SQL_NTS);
    } else {
        rc = SQLPrepareW(hstmt, reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(text)), SQL_NTS);
    }
    if (isql_strict_passes(rc, "SQLPrepareW", hdbc, hstmt)) return 0;
    return print_err("SQLPrepareW", hdbc, hstmt);
}

// Runs one SQL statement: prepare, execute, print every result, drop.
// 0 on success; nonzero after a failure whose diagnostics were printed.
int isql_exec(SQLHENV /*henv*/, SQLHDBC hdbc, const wchar_t* text) {
    StmtHandle stmt(hdbc);
    long long executeStart = 0;
    int res = create_and_prepare(stmt, text, &executeStart);
    if (res != 0) return res;

    isql_flush_all();  // the execution may take long: show what came before
    try {
        RunningStatement running(stmt.get());
        SQLRETURN rc = SQLExecute(stmt.get());
        isql_note_statement_times(lPrepareTime, isql_now_us() - executeStart);
        // SQL_NO_DATA: a searched UPDATE or DELETE that touched no row.
        if (rc != SQL_NO_DATA && !isql_strict_passes(rc, "SQLExecute", hdbc, stmt.get()))
            return print_err("SQLExecute", hdbc, stmt.get());
        res = isql_util_print_results(hdbc, stmt.get());
    } catch (const std::bad_alloc&) {
        // A value or result too large to hold: this statement stops, the
        // session goes on.
        isql_flush_all();
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "SQL: Out of memory while reading the results; the rest was not read\n");
        return 1;
    }
    if (res != 0) return res;
    return drop_and_report(stmt);
}

// Prints the column description of a prepared query without executing it.
int isql_describe_stmt(SQLHENV /*henv*/, SQLHDBC hdbc, const wchar_t* text) {
    StmtHandle stmt(hdbc);
    long long prepared = 0;
    int res = create_and_prepare(stmt, text, &prepared);
    if (res != 0) return res;
    res = isql_print_resColumns_desc(hdbc, stmt.get());
    if (res != 0) return res;
    return drop_and_report(stmt);
}

// Prints each result of an executed statement in turn: a result set, or the
// count of affected rows. 0 when the results ran out normally; print_err's
// result when the column or row count could not be read.
int isql_util_print_results(SQLHDBC hdbc, SQLHSTMT hstmt) {
    isql_take_result_fault();  // the faults of these results only
    for (;;) {
        SQLSMALLINT ncols = 0;
        if (SQLNumResultCols(hstmt, &ncols) != SQL_SUCCESS)
            return print_err("SQLNumResultCols", hdbc, hstmt);
        SQLLEN count = 0;
        if (SQLRowCount(hstmt, &count) != SQL_SUCCESS) return print_err("SQLRowCount", hdbc, hstmt);
        if (ncols != 0) {
            // Failures inside the printing are reported there and do not end
            // the loop.
            isql_print_results(hdbc, hstmt);
            if (isql_stop_requested()) return 0;  // Ctrl-C: no further results
        } else {
            isql_trace(gfpResFile, TRACE_DATA, "Rows affected = %ld\n", static_cast<long>(count));
        }

        SQLUSMALLINT supported = 0;
        SQLRETURN rc = SQLGetFunctions(hdbc, SQL_API_SQLMORERESULTS, &supported);
        if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || supported != SQL_TRUE) return 0;
        // Anything but a next result (no more results, a warning in strict
        // mode, an error) ends the loop quietly; what is left unread fails the
        // command.
        rc = SQLMoreResults(hstmt);
        if (rc == SQL_NO_DATA) return 0;
        if (!isql_strict_passes(rc, "SQLMoreResults", hdbc, hstmt)) {
            isql_note_result_fault();
            return 0;
        }
    }
}

// FETCH block_size is accepted and has no effect.
int isql_fetchBlock(SQLHENV /*henv*/, SQLHDBC /*hdbc*/, void* /*unused*/, int /*blockSize*/) {
    return 1;
}
