// Table and view names of the connection, for completion at the terminal:
// one SQLTablesW call, its TABLE_NAME column read as UTF-16 whatever -u says,
// since the names are only offered back to the user as text.
#include "isqlexec.h"
#include "isqlodbc.h"

namespace {
constexpr SQLUSMALLINT kTableNameColumn = 3;
constexpr SQLLEN kNameUnits = 1024;  // UTF-16 units read per name; longer names are cut

// Reads TABLE_NAME of every row of the executed catalog call on hstmt.
// False after a failure, reported by print_err.
bool read_names(SQLHDBC hdbc, SQLHSTMT hstmt, std::vector<std::wstring>& names) {
    std::vector<zvutf16> unit(kNameUnits + 1, 0);
    std::vector<wchar_t> wide(kNameUnits + 1, L'\0');
    for (;;) {
        SQLRETURN rc = SQLFetch(hstmt);
        if (rc == SQL_NO_DATA) return true;
        if (!isql_check(rc, Accept::Succeeded, "SQLFetch", hdbc, hstmt)) return false;
        SQLLEN indicator = 0;
        rc = SQLGetData(hstmt, kTableNameColumn, SQL_C_WCHAR, unit.data(),
                        static_cast<SQLLEN>(unit.size() * sizeof(zvutf16)), &indicator);
        if (!isql_check(rc, Accept::Succeeded, "SQLGetData", hdbc, hstmt)) return false;
        if (indicator == SQL_NULL_DATA) continue;
        const int n = utf16towcs(unit.data(), SQL_NTS, wide.data(), static_cast<int>(wide.size()));
        if (n > 0) names.emplace_back(wide.data());
    }
}
}  // namespace

// Fills names with the tables and views of every schema the driver shows.
// The statement handle is plain: the row limit of MAXROWS must not cut the
// list, and a query time-out has nothing to do with it.
bool isql_table_names(SQLHDBC hdbc, std::vector<std::wstring>& names) {
    names.clear();
    StmtHandle stmt(hdbc);
    if (!stmt.allocate()) return false;
    const SQLRETURN rc = SQLTablesW(stmt.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
    bool ok = isql_check(rc, Accept::Success, "SQLTablesW", hdbc, stmt.get()) &&
              read_names(hdbc, stmt.get(), names);
    return stmt.drop() && ok;
}
