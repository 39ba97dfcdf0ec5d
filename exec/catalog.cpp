// Catalog commands: SHOW/LIST TABLES through SQLTablesW, DESCRIBE of a table
// through SQLColumnsW and SQLStatisticsW. Their result sets are printed by the
// same result loop as queries.
#include "isqlexec.h"
#include "isqlodbc.h"
#include "isqltm.h"

namespace {

// The catalog, owner and table patterns as the driver manager takes them:
// UTF-16 copies with gUnicodeEnc, the wide texts themselves otherwise; an
// absent pattern is a null pointer of length 0. The copies live as long as
// this object, so they are released on every path.
struct CatalogPatterns {
    std::vector<zvutf16> copies[3];
    SQLWCHAR* text[3] = {};
    SQLSMALLINT length[3] = {};

    CatalogPatterns(const wchar_t* catalog, const wchar_t* owner, const wchar_t* table) {
        const wchar_t* parts[3] = {catalog, owner, table};
        for (int i = 0; i < 3; ++i) {
            if (parts[i] == nullptr) continue;
            if (gUnicodeEnc) {
                isql_util_wcstoutf16(parts[i], copies[i]);
                text[i] = reinterpret_cast<SQLWCHAR*>(copies[i].data());
            } else {
                text[i] = reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(parts[i]));
            }
            length[i] = SQL_NTS;
        }
    }
};

// Drops a handle whose command already failed; a failing drop is reported.
void drop_after_failure(SQLHDBC hdbc, SQLHSTMT hstmt) {
    if (SQLFreeStmt(hstmt, SQL_DROP) != SQL_SUCCESS) print_err("SQLFreeStmt", hdbc, hstmt);
}

// Prints the result of a catalog call that succeeded on hstmt and drops the
// handle. 0, or the failure result of the result loop or the drop.
int print_and_drop(SQLHDBC hdbc, SQLHSTMT hstmt) {
    int res = isql_util_print_results(hdbc, hstmt);
    if (res != 0) {
        drop_after_failure(hdbc, hstmt);
        return res;
    }
    if (SQLFreeStmt(hstmt, SQL_DROP) != SQL_SUCCESS) return print_err("SQLFreeStmt", hdbc, hstmt);
    return 0;
}

}  // namespace

// Lists the tables matching the patterns (null = any), all table types.
// 0 when listed; nonzero after a failure whose diagnostics were printed.
int isql_show_tables(SQLHDBC hdbc, const wchar_t* catalog, const wchar_t* owner,
                     const wchar_t* table) {
    SQLHSTMT hstmt = SQL_NULL_HSTMT;
    int res = isql_create_stmt_handle(hdbc, &hstmt);
    if (res != 0) return res;

    SQLRETURN rc;
    {
        CatalogPatterns p(catalog, owner, table);
        rc = SQLTablesW(hstmt, p.text[0], p.length[0], p.text[1], p.length[1], p.text[2],
                        p.length[2], nullptr, 0);
    }
    if (rc != SQL_SUCCESS) {
        // Reported so that the SQLSTATE is recorded for the lost-connection test.
        res = print_err("SQLTablesW", hdbc, hstmt);
        drop_after_failure(hdbc, hstmt);
        return res;
    }
    res = print_and_drop(hdbc, hstmt);
    if (res != 0) return res;
    isql_trace(gfpResFile, TRACE_NOTICE, "SQL: Operation successful.\n");
    return 0;
}

// Prints the columns of the table, then its unique indexes, each with its own
// statement handle. 0 when both parts were printed; nonzero after a failure
// whose diagnostics were printed (a failed column query leaves out the rest).
int isql_describe_table(SQLHDBC hdbc, const wchar_t* catalog, const wchar_t* owner,
                        const wchar_t* table) {
    CatalogPatterns p(catalog, owner, table);
    isql_trace(gfpResFile, TRACE_DATA, "Column Information: \n");

    SQLHSTMT hstmt = SQL_NULL_HSTMT;
    int res = isql_create_stmt_handle(hdbc, &hstmt);
    if (res != 0) return res;
    SQLRETURN rc = SQLColumnsW(hstmt, p.text[0], p.length[0], p.text[1], p.length[1], p.text[2],
                               p.length[2], nullptr, 0);
    if (rc != SQL_SUCCESS) {
        res = print_err("SQLColumnsW", hdbc, hstmt);
        drop_after_failure(hdbc, hstmt);
        return res;
    }
    res = print_and_drop(hdbc, hstmt);
    if (res != 0) return res;

    isql_trace(gfpResFile, TRACE_DATA, "\nStatistics Information: \n");
    res = isql_create_stmt_handle(hdbc, &hstmt);
    if (res != 0) return res;
    rc = SQLStatisticsW(hstmt, p.text[0], p.length[0], p.text[1], p.length[1], p.text[2],
                        p.length[2], SQL_INDEX_UNIQUE, SQL_QUICK);
    if (rc != SQL_SUCCESS) {
        res = print_err("SQLStatisticsW", hdbc, hstmt);
        drop_after_failure(hdbc, hstmt);
        return res;
    }
    return print_and_drop(hdbc, hstmt);
}
