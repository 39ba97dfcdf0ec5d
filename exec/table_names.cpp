// Table, view and column names of the connection, for completion at the
// terminal: one SQLTablesW or SQLColumnsW call, its name column read as
// UTF-16 whatever -u says, since the names are only offered back to the user
// as text.
#include "isqlexec.h"
#include "isqlodbc.h"

namespace {
constexpr SQLUSMALLINT kTableNameColumn = 3;   // of SQLTables and SQLColumns
constexpr SQLUSMALLINT kColumnNameColumn = 4;  // of SQLColumns
constexpr SQLLEN kNameUnits = 1024;  // UTF-16 units read per name; longer names are cut

// One name column of the current row into out; empty for NULL. False after
// a failure, reported by print_err.
bool get_name(SQLHDBC hdbc, SQLHSTMT hstmt, SQLUSMALLINT column, std::wstring& out) {
    std::vector<zvutf16> unit(kNameUnits + 1, 0);
    std::vector<wchar_t> wide(kNameUnits + 1, L'\0');
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(hstmt, column, SQL_C_WCHAR, unit.data(),
                                    static_cast<SQLLEN>(unit.size() * sizeof(zvutf16)), &indicator);
    if (!isql_check(rc, Accept::Succeeded, "SQLGetData", hdbc, hstmt)) return false;
    out.clear();
    if (indicator != SQL_NULL_DATA &&
        utf16towcs(unit.data(), SQL_NTS, wide.data(), static_cast<int>(wide.size())) > 0)
        out = wide.data();
    return true;
}

// Reads column of every row of the executed catalog call on hstmt; with
// table, only the rows of that table (a table pattern also matches others).
// False after a failure, reported by print_err.
bool read_names(SQLHDBC hdbc, SQLHSTMT hstmt, SQLUSMALLINT column, const std::wstring* table,
                std::vector<std::wstring>& names) {
    std::wstring rowTable;
    std::wstring name;
    for (;;) {
        const SQLRETURN rc = SQLFetch(hstmt);
        if (rc == SQL_NO_DATA) return true;
        if (!isql_check(rc, Accept::Succeeded, "SQLFetch", hdbc, hstmt)) return false;
        if (table != nullptr && !get_name(hdbc, hstmt, kTableNameColumn, rowTable)) return false;
        if (!get_name(hdbc, hstmt, column, name)) return false;
        if (!name.empty() && (table == nullptr || rowTable == *table)) names.push_back(name);
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
              read_names(hdbc, stmt.get(), kTableNameColumn, nullptr, names);
    return stmt.drop() && ok;
}

// The table is passed as UTF-16, as the names are read. Its columns in every
// schema the driver shows, in their order.
bool isql_column_names(SQLHDBC hdbc, const std::wstring& table, std::vector<std::wstring>& names) {
    names.clear();
    StmtHandle stmt(hdbc);
    if (!stmt.allocate()) return false;
    std::vector<zvutf16> pattern(table.size() * 2 + 1, 0);
    if (wcstoutf16(table.c_str(), SQL_NTS, pattern.data(), static_cast<int>(pattern.size())) <= 0)
        return false;
    const SQLRETURN rc = SQLColumnsW(stmt.get(), nullptr, 0, nullptr, 0,
                                     reinterpret_cast<SQLWCHAR*>(pattern.data()), SQL_NTS,
                                     nullptr, 0);
    bool ok = isql_check(rc, Accept::Success, "SQLColumnsW", hdbc, stmt.get()) &&
              read_names(hdbc, stmt.get(), kColumnNameColumn, &table, names);
    return stmt.drop() && ok;
}
