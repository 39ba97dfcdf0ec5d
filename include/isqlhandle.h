// Owners of ODBC handles, and the one place that applies a call's rule of
// which return codes count as success.
//
// Failures are never thrown: a refused call prints its diagnostics (print_err)
// and the caller goes on with a plain false. Handle owners release their
// handle when they go out of scope, so no path of a command leaks one.
#pragma once

#include <sql.h>
#include <sqlext.h>

// Which return codes of a call count as success. Each call site names its rule.
enum class Accept {
    Success,            // only SQL_SUCCESS: a warning counts as a failure
    Succeeded,          // SQL_SUCCESS or SQL_SUCCESS_WITH_INFO
};

// For the calls held to SQL_SUCCESS (prepare, execute, statement attributes,
// SQLTransact, SQLSetConnectOption): true on SQL_SUCCESS, and in lenient mode
// also on SQL_SUCCESS_WITH_INFO, whose diagnostics are then written as a
// notice. False otherwise, with nothing written: the caller reports.
bool isql_strict_passes(SQLRETURN rc, const char* label, SQLHDBC hdbc, SQLHSTMT hstmt);
// True when rc passes rule; otherwise prints the diagnostics of the call under
// label (recording its SQLSTATE) and returns false.
bool isql_check(SQLRETURN rc, Accept rule, const char* label, SQLHDBC hdbc, SQLHSTMT hstmt);

// A statement handle that lives for one command. Going out of scope drops it;
// a refused drop is reported, since it may tell why the command failed.
class StmtHandle {
public:
    explicit StmtHandle(SQLHDBC hdbc) : hdbc_(hdbc) {}
    ~StmtHandle() { drop(); }
    StmtHandle(const StmtHandle&) = delete;
    StmtHandle& operator=(const StmtHandle&) = delete;

    // Allocates the handle on the connection (only SQL_SUCCESS counts; the
    // diagnostics of a refusal are printed). False leaves no handle.
    bool allocate();
    SQLHSTMT get() const { return h_; }
    SQLHDBC connection() const { return hdbc_; }
    // Drops the handle now. False when the driver refused (reported).
    bool drop();

private:
    SQLHDBC hdbc_;
    SQLHSTMT h_ = SQL_NULL_HSTMT;
};

// The environment and shared connection handles of the session, freed in
// that order (connection first) when released or destroyed.
class OdbcHandles {
public:
    OdbcHandles() = default;
    ~OdbcHandles() { release(); }
    OdbcHandles(const OdbcHandles&) = delete;
    OdbcHandles& operator=(const OdbcHandles&) = delete;

    SQLHENV henv = SQL_NULL_HENV;
    SQLHDBC hdbc = SQL_NULL_HDBC;
    void release() {
        if (hdbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        if (henv != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, henv);
        hdbc = SQL_NULL_HDBC;
        henv = SQL_NULL_HENV;
    }
};
