// Handle owners and the return-code rules (policy in isqlhandle.h).
#include "isqlhandle.h"

#include "isql.h"
#include "isqlodbc.h"

namespace {
bool accepted(SQLRETURN rc, Accept rule) {
    return rule == Accept::Success ? rc == SQL_SUCCESS : SQL_SUCCEEDED(rc);
}
}  // namespace

bool isql_strict_passes(SQLRETURN rc, const char* label, SQLHDBC hdbc, SQLHSTMT hstmt) {
    if (rc == SQL_SUCCESS) return true;
    if (rc != SQL_SUCCESS_WITH_INFO || !gSettings.lenient) return false;
    print_diagnostics(label, hdbc, hstmt, TRACE_NOTICE);
    return true;
}

bool isql_check(SQLRETURN rc, Accept rule, const char* label, SQLHDBC hdbc, SQLHSTMT hstmt) {
    if (accepted(rc, rule)) return true;
    print_err(label, hdbc, hstmt);
    return false;
}

// The diagnostics of a refused allocation sit on the connection. A handle
// that came with a warning is dropped again: only SQL_SUCCESS counts.
bool StmtHandle::allocate() {
    drop();
    SQLHSTMT h = SQL_NULL_HSTMT;
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, hdbc_, &h);
    if (isql_check(rc, Accept::Success, "SQLAllocStmt", hdbc_, SQL_NULL_HSTMT)) {
        h_ = h;
        return true;
    }
    if (rc == SQL_SUCCESS_WITH_INFO) {
        h_ = h;
        drop();
    }
    return false;
}

bool StmtHandle::drop() {
    if (h_ == SQL_NULL_HSTMT) return true;
    const SQLHSTMT h = h_;
    h_ = SQL_NULL_HSTMT;
    return isql_check(SQLFreeStmt(h, SQL_DROP), Accept::Success, "SQLFreeStmt", hdbc_, h);
}

