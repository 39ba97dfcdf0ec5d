// Environment, connections, transactions, diagnostics and the self-test.
#pragma once

#include <string>
#include <vector>

#include "isql.h"
#include "zvunicode.h"

extern std::vector<SQLHDBC> gMultiConnectHDBC;  // the connected handles of the MULTICONNECT set
int isql_multi_connect_count();             // how many that set holds

int isql_init_odbc();
// Tells the driver manager that the wide text of env is UTF-16 (as the
// session's environment does), so that a driver with narrow calls only gets
// text converted as it expects; a driver manager that does not know the
// attribute changes nothing.
void isql_announce_utf16(SQLHENV env);

// One diagnostic record, UTF-8.
struct IsqlDiagRecord {
    std::string state;
    std::string message;
};
// The diagnostic records of a handle (SQLGetDiagRecW), for code on
// connections of its own that lays them out itself.
std::vector<IsqlDiagRecord> isql_diag_records(SQLSMALLINT type, SQLHANDLE handle);
int isql_connect(ClientState* state, const char* dsn, const wchar_t* connstr, int announce,
                 const wchar_t* user, const wchar_t* password);
int isql_call_sqlconnectw(SQLHDBC hdbc, const wchar_t* dsn, const wchar_t* user,
                          const wchar_t* password);
int isql_call_sqldriverconnectw(SQLHDBC hdbc, const wchar_t* connstr);
int isql_disconnect(ClientState* state, int announce);
// The shared connection's last diagnostics said it does not exist (08003):
// a failed command then marks its source not connected, and the next CONNECT
// or DISCONNECT releases the handle quietly first, so that it starts as on a
// fresh one.
bool isql_connection_lost();
int isql_multi_connect(ClientState* state, int count, const wchar_t* user,
                       const wchar_t* password, const char* dsn);
int isql_multi_disconnect(ClientState* state);

// Checks that a connection's identity fits its buffers (null arguments count
// as empty) and gives the data source name in wide characters, empty when it
// does not convert. Input that does not fit is refused with one line on the
// error stream and a false result, before any ODBC call.
bool isql_check_identity(const char* dsn, const wchar_t* connstr, const wchar_t* user,
                         const wchar_t* password, std::wstring& wideDsn);

// What lenient mode works around in the driver of the shared connection
// (the table is in odbc/driver_quirks.cpp). Learnt at connect in lenient mode
// only, so that the default mode makes no extra driver call.
struct DriverQuirks {
    bool rewritesMaxRows = false;  // puts the row limit into the statement text
};
const DriverQuirks& isql_driver_quirks();
void isql_learn_driver_quirks(SQLHDBC hdbc);
void isql_forget_driver_quirks();

int isql_transact(ClientState* state, int type);
int isql_autocommit(ClientState* state, int on);

// UTF-16 copy of a NUL-terminated wide text for the driver manager, sized
// first and then converted, zero-padded to the smallest block the driver
// manager may read; a text that does not convert gives an empty text.
std::vector<zvutf16> isql_odbc_utf16(const wchar_t* text);

int print_err(const char* label, SQLHDBC hdbc, SQLHSTMT hstmt);
// As print_err, with the blocks written at output class cls (TRACE_NOTICE for
// the warnings that lenient mode lets pass).
int print_diagnostics(const char* label, SQLHDBC hdbc, SQLHSTMT hstmt, int cls);

// Hands every record that print_diagnostics reads to observer as well (null:
// none); load runs keep the first record of a failure for their report.
using DiagnosticObserver = void (*)(const wchar_t* state, const wchar_t* message);
void isql_observe_diagnostics(DiagnosticObserver observer);

int zvtests(ClientState* state, const char* args);
int bindAndExec(SQLHENV henv, SQLHDBC hdbc);
int bindAndExecDataAtExec(SQLHENV henv, SQLHDBC hdbc);
