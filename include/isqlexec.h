// Statements, result printing, value formatting, large columns, catalog.
#pragma once

#include <string>
#include <vector>

#include "isql.h"
#include "zvunicode.h"

// Microseconds in SQLPrepareW and SQLExecute of the last statement, for the
// elapsed-time lines; written only through isql_note_statement_times.
extern long long lPrepareTime;
extern long long lExecTime;
void isql_note_statement_times(long long prepareMicros, long long executeMicros);

int isql_create_stmt_handle(StmtHandle& stmt);
int isql_prepare_stmt(SQLHDBC hdbc, SQLHSTMT hstmt, const wchar_t* text);
int isql_exec(SQLHENV henv, SQLHDBC hdbc, const wchar_t* text);
int isql_describe_stmt(SQLHENV henv, SQLHDBC hdbc, const wchar_t* text);
int isql_util_print_results(SQLHDBC hdbc, SQLHSTMT hstmt);
int isql_fetchBlock(SQLHENV henv, SQLHDBC hdbc, void* unused, int blockSize);
// Publishes hstmt as the statement that Ctrl-C cancels, for as long as it
// lives (while isql_exec executes and fetches).
struct RunningStatement {
    explicit RunningStatement(SQLHSTMT hstmt);
    ~RunningStatement();
    RunningStatement(const RunningStatement&) = delete;
    RunningStatement& operator=(const RunningStatement&) = delete;
};
// Cancels the published statement, if any; safe to call from another thread.
enum class CancelResult { NoStatement, Sent, Refused };
CancelResult isql_cancel_running_stmt();
// Asks the statement under way, if any, to stop between two rows, as the
// first press of Ctrl-C during a fetch does, sending nothing to the driver.
void isql_request_stop_running();
// Marks the published statement as fetching rows: from then on a first Ctrl-C
// only asks the row loop to stop.
void isql_running_fetches();
// True once Ctrl-C was pressed for the statement now running.
bool isql_stop_requested();
// A failure reported after a statement executed: while its results were
// fetched (SQLFetch, SQLGetData, SQLMoreResults) or printed, or a fetch
// cancelled. The statement's output stays as it is; the command counts as
// failed. take returns whether one was noted since the last take.
void isql_note_result_fault();
bool isql_take_result_fault();
// Names of the tables and views of the connection (catalog functions, for
// completion at the terminal). False after a failure, reported by print_err.
bool isql_table_names(SQLHDBC hdbc, std::vector<std::wstring>& names);
// Names of the columns of the table (as the catalog spells it), likewise.
bool isql_column_names(SQLHDBC hdbc, const std::wstring& table, std::vector<std::wstring>& names);

int isql_print_results(SQLHDBC hdbc, SQLHSTMT hstmt);
int isql_print_resColumns_desc(SQLHDBC hdbc, SQLHSTMT hstmt);

int isql_get_datalen(SQLSMALLINT sqlType, SQLINTEGER columnSize, SQLSMALLINT* targetType);
int isql_get_printbuflen(SQLSMALLINT sqlType, int bufferLength);
int isql_print_value(SQLSMALLINT sqlType, void* buffer, SQLINTEGER indicator,
                     SQLINTEGER columnSize, SQLINTEGER bufferLength, char* printBuffer,
                     SQLINTEGER printBufferLength);
void isql_HexDumpQuery(const void* bytes, long count, const char* title);

// ---- value formatting into memory (no output, no ODBC calls) ----------------
// Type codes without an SQL_ name in the ODBC headers.
constexpr SQLSMALLINT kSqlTypeUnknown = 0;        // driver could not name the type
constexpr SQLSMALLINT kSqlTypeSelfDescribing = -12;  // value carries its own type code
constexpr int kNoUsableSize = -1;  // buffer length not positive or beyond 32 bits

// Notes how the current locale writes text and numbers, so that formatting a
// value looks nothing up; called once per result set.
void isql_format_locale_refresh();
// Whether the locale's decimal point is "." (as of the last refresh).
bool isql_format_point_is_dot();

// Appends the printable text of one fetched value to out and any message meant
// for the error stream to err. Arguments as isql_print_value; the indicator is
// taken at full width. Reads gUnicodeEnc and gHexDisplay.
void isql_format_value(std::string& out, std::string& err, SQLSMALLINT sqlType,
                       const void* buffer, SQLLEN indicator, SQLINTEGER columnSize,
                       SQLLEN bufferLength, SQLLEN printBufferLength);
// isql_format_value of a wide value whose UTF-16 surrogate pairs print as
// the characters they make (a lone surrogate as U+FFFD).
void isql_format_wide_exact(std::string& out, const void* buffer, SQLLEN indicator,
                            SQLLEN bufferLength, SQLLEN printBufferLength);
// Appends the byte dump that isql_HexDumpQuery writes.
void isql_format_hexdump(std::string& out, const void* bytes, long count, const char* title);

// UTF-16 copy of src for the driver manager (hex-dumped with -f); returns
// the units including the terminator, 0 for a null source.
int isql_util_wcstoutf16(const wchar_t* src, std::vector<zvutf16>& copy);

int isql_checkAndCreate_LargeColResultFolder(const char* folder);
int isql_print_longcol_value(SQLHSTMT hstmt, SQLSMALLINT sqlType, long long rowNumber,
                             int columnIndex);

int isql_show_tables(SQLHDBC hdbc, const wchar_t* catalog, const wchar_t* owner,
                     const wchar_t* table);
int isql_describe_table(SQLHDBC hdbc, const wchar_t* catalog, const wchar_t* owner,
                        const wchar_t* table);
