// Connections, statements and diagnostics of the report's own.
#include "probe_odbc.h"

#include <sqlucode.h>

#include <algorithm>

#include "isqlodbc.h"
#include "zvunicode.h"

namespace {
constexpr SQLSMALLINT kConnectOutChars = 1024;
constexpr size_t kTextPieceBytes = 4096;  // one SQLGetData piece
constexpr size_t kMaxValueBytes = 1 << 20;  // more of a value is not read

SQLWCHAR* wide(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

// A connect-string value in braces when it holds what would end it.
std::string braced(const std::string& v) {
    return v.find_first_of(";{}=") == std::string::npos ? v : "{" + v + "}";
}
}  // namespace

std::u16string utf16(const std::string& utf8) { return utf16_of_utf8(utf8); }

std::string diag_text(SQLSMALLINT type, SQLHANDLE h) {
    std::string out;
    for (const IsqlDiagRecord& r : isql_diag_records(type, h)) {
        if (!out.empty()) out += "; ";
        out += r.state + " " + r.message;
    }
    return out.empty() ? "no diagnostics" : out;
}

std::string diag_state(SQLSMALLINT type, SQLHANDLE h) {
    const std::vector<IsqlDiagRecord> records = isql_diag_records(type, h);
    return records.empty() ? "" : records.front().state;
}

OwnConnection::~OwnConnection() {
    if (borrowed_) return;
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

bool OwnConnection::open(const ReportSource& source, std::string& why) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)))
        return why = "cannot allocate an ODBC environment", false;
    if (!SQL_SUCCEEDED(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3_80), 0)))
        return why = diag_text(SQL_HANDLE_ENV, env_), false;
    // Wide text as a session sends it: a driver with narrow calls only then
    // gets it converted as in a session.
    isql_announce_utf16(env_);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_)))
        return why = diag_text(SQL_HANDLE_ENV, env_), false;
    std::string text = source.connect.empty() ? "DSN=" + braced(source.dsn) : source.connect;
    if (!source.user.empty()) text += ";UID=" + braced(source.user);
    if (!source.password.empty()) text += ";PWD=" + braced(source.password);
    std::u16string in = utf16(text);
    SQLWCHAR out[kConnectOutChars];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, wide(in), static_cast<SQLSMALLINT>(in.size()), out,
                                           kConnectOutChars, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) return why = diag_text(SQL_HANDLE_DBC, dbc_), false;
    connected_ = true;
    return true;
}

OwnStmt::OwnStmt(SQLHDBC dbc) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h_))) h_ = SQL_NULL_HSTMT;
}

OwnStmt::~OwnStmt() {
    if (h_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h_);
}

bool OwnStmt::prepare(const std::string& sql, std::string& why) {
    if (!ok()) return why = "no statement handle", false;
    std::u16string text = utf16(sql);
    if (!SQL_SUCCEEDED(SQLPrepareW(h_, wide(text), static_cast<SQLINTEGER>(text.size())))) return why = error(), false;
    return true;
}

bool OwnStmt::execute(std::string& why) {
    const SQLRETURN rc = SQLExecute(h_);
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return true;
    return why = error(), false;
}

bool OwnStmt::run(const std::string& sql, std::string& why) { return prepare(sql, why) && execute(why); }

bool run_sql(SQLHDBC dbc, const std::string& sql, std::string& why) {
    OwnStmt s(dbc);
    return s.run(sql, why);
}

namespace {
// The value as narrow text, for drivers that hand out no wide text of
// non-character columns (the ANSI drivers); the bytes are taken as UTF-8.
bool get_narrow_text(SQLHSTMT h, SQLUSMALLINT col, std::string& value, std::string& why) {
    std::string bytes;
    for (;;) {
        char piece[kTextPieceBytes];
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(h, col, SQL_C_CHAR, piece, sizeof piece, &ind);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) return why = diag_text(SQL_HANDLE_STMT, h), false;
        if (ind == SQL_NULL_DATA) return value = "NULL", true;
        const size_t room = sizeof piece - 1;
        bytes.append(piece, ind == SQL_NO_TOTAL || ind < 0 ? room : std::min(room, static_cast<size_t>(ind)));
        if (rc == SQL_SUCCESS || bytes.size() > kMaxValueBytes) break;
    }
    value = utf8_of_utf16(utf16_of_utf8(bytes));  // invalid bytes become U+FFFD
    return true;
}
}  // namespace

bool get_text(SQLHSTMT h, SQLUSMALLINT col, std::string& value, std::string& why) {
    std::u16string units;
    for (bool first = true;; first = false) {
        char16_t piece[kTextPieceBytes / sizeof(char16_t)];
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(h, col, SQL_C_WCHAR, piece, sizeof piece, &ind);
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) {
            const std::string state = diag_state(SQL_HANDLE_STMT, h);
            if (first && (state == "07006" || state == "HYC00")) return get_narrow_text(h, col, value, why);
            return why = diag_text(SQL_HANDLE_STMT, h), false;
        }
        if (ind == SQL_NULL_DATA) return value = "NULL", true;
        const size_t room = sizeof piece / sizeof piece[0] - 1;
        size_t n = ind == SQL_NO_TOTAL || ind < 0 ? room : std::min(room, static_cast<size_t>(ind) / 2);
        units.append(piece, n);
        if (rc == SQL_SUCCESS || units.size() * 2 > kMaxValueBytes) break;
    }
    value = utf8_of_utf16(units);
    return true;
}

bool query_text(SQLHDBC dbc, const std::string& sql, std::string& value, std::string& why) {
    OwnStmt s(dbc);
    if (!s.run(sql, why)) return false;
    const SQLRETURN rc = SQLFetch(s.get());
    if (rc == SQL_NO_DATA) return why = "no row", false;
    if (!SQL_SUCCEEDED(rc)) return why = s.error(), false;
    return get_text(s.get(), 1, value, why);
}
