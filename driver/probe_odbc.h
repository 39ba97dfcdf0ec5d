// The ODBC pieces a report and its probes use: an owned connection of their
// own (never the session's), statement handles, diagnostics as text.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

// How to reach the data source: a DSN or a whole connect string, and the
// user and password to add to it.
struct ReportSource {
    std::string dsn, connect, user, password;
    std::string label() const { return dsn.empty() ? "the connect string" : dsn; }
};

// The SQLSTATE and message of each diagnostic record of a handle, one
// "STATE message" line each, "; "-joined.
std::string diag_text(SQLSMALLINT type, SQLHANDLE h);
// The first record's SQLSTATE, or "" when there is none.
std::string diag_state(SQLSMALLINT type, SQLHANDLE h);

// An environment and a connection, disconnected and freed when it goes.
class OwnConnection {
public:
    OwnConnection() = default;
    ~OwnConnection();
    OwnConnection(const OwnConnection&) = delete;
    OwnConnection& operator=(const OwnConnection&) = delete;
    // False with the diagnostics in why.
    bool open(const ReportSource& source, std::string& why);
    // Borrows a connection that someone else owns (the session's, for its summary).
    void borrow(SQLHDBC dbc) { dbc_ = dbc; borrowed_ = true; }
    SQLHDBC dbc() const { return dbc_; }
    SQLHENV env() const { return env_; }

private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false, borrowed_ = false;
};

class OwnStmt {
public:
    explicit OwnStmt(SQLHDBC dbc);
    ~OwnStmt();
    OwnStmt(const OwnStmt&) = delete;
    OwnStmt& operator=(const OwnStmt&) = delete;
    SQLHSTMT get() const { return h_; }
    bool ok() const { return h_ != SQL_NULL_HSTMT; }
    std::string error() const { return diag_text(SQL_HANDLE_STMT, h_); }
    // Prepares and executes sql; false with the diagnostics in why.
    bool run(const std::string& sql, std::string& why);
    bool prepare(const std::string& sql, std::string& why);
    bool execute(std::string& why);

private:
    SQLHSTMT h_ = SQL_NULL_HSTMT;
};

// Runs sql on a statement of its own; false with why.
bool run_sql(SQLHDBC dbc, const std::string& sql, std::string& why);
// The first column of the first row as text (read as wide text); false with why.
bool query_text(SQLHDBC dbc, const std::string& sql, std::string& value, std::string& why);
// The text of column col of the current row through SQLGetData as wide text;
// "NULL" for a null value. False with why.
bool get_text(SQLHSTMT h, SQLUSMALLINT col, std::string& value, std::string& why);
std::u16string utf16(const std::string& utf8);
