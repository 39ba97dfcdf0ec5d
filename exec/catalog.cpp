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

// Prints the result of a catalog call on stmt when the call was accepted
// (only SQL_SUCCESS), then drops the handle. 0, or 1 after the diagnostics of
// the call, the result loop or the drop.
int print_catalog_result(StmtHandle& stmt, SQLRETURN rc, const char* label) {
    // Reported so that the SQLSTATE is recorded for the lost-connection test.
    if (!isql_check(rc, Accept::Success, label, stmt.connection(), stmt.get())) return 1;
    const int res = isql_util_print_results(stmt.connection(), stmt.get());
    if (res != 0) return res;
    return stmt.drop() ? 0 : 1;
}

}  // namespace

// Lists the tables matching the patterns (null = any), all table types.
// 0 when listed; nonzero after a failure whose diagnostics were printed.
int isql_show_tables(SQLHDBC hdbc, const wchar_t* catalog, const wchar_t* owner,
                     const wchar_t* table) {
    StmtHandle stmt(hdbc);
    int res = isql_create_stmt_handle(stmt);
    if (res != 0) return res;

    SQLRETURN rc;
    {
        CatalogPatterns p(catalog, owner, table);
        rc = SQLTablesW(stmt.get(), p.text[0], p.length[0], p.text[1], p.length[1], p.text[2],
                        p.length[2], nullptr, 0);
    }
    res = print_catalog_result(stmt, rc, "SQLTablesW");
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

    StmtHandle columns(hdbc);
    int res = isql_create_stmt_handle(columns);
    if (res != 0) return res;
    SQLRETURN rc = SQLColumnsW(columns.get(), p.text[0], p.length[0], p.text[1], p.length[1],
                               p.text[2], p.length[2], nullptr, 0);
    res = print_catalog_result(columns, rc, "SQLColumnsW");
    if (res != 0) return res;

    isql_trace(gfpResFile, TRACE_DATA, "\nStatistics Information: \n");
    StmtHandle statistics(hdbc);
    res = isql_create_stmt_handle(statistics);
    if (res != 0) return res;
    rc = SQLStatisticsW(statistics.get(), p.text[0], p.length[0], p.text[1], p.length[1],
                        p.text[2], p.length[2], SQL_INDEX_UNIQUE, SQL_QUICK);
    return print_catalog_result(statistics, rc, "SQLStatisticsW");
}
