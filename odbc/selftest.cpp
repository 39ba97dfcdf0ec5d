// Built-in check of how the connected driver takes a wide-character input
// parameter bound against four SQL types, once with the value given at bind
// time and once sent at execution time. Its step lines and row counts go
// straight to standard output, past the trace mask and RESFILE.
#include <cstdio>
#include <vector>

#include "isql.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "platform.h"
#include "zvunicode.h"

namespace {
const wchar_t kQuery[] = L"select * from emp where ename=?";
const wchar_t kValue[] = L"Emp1-1";
constexpr SQLLEN kValueChars = 6;
constexpr size_t kValueUnits = 32;        // room of the UTF-16 copy of kValue
constexpr SQLULEN kColumnSize = 50;
char dataAtExecToken[] = "Arg1";         // handed back by SQLParamData, never read

struct Step {
    SQLSMALLINT sqlType;
    const char* bindLine;       // step line of bindAndExec
    const char* dataAtExecLine; // step line of bindAndExecDataAtExec
};
constexpr Step kSteps[] = {
    {SQL_WCHAR, "Running: bindAndExec ..Bind to SQL_WCHAR expect 1 row ",
     "Running: bindAndExecDataAtExec .. Bind to SQL_WCHAR expect 1 row "},
    {SQL_WVARCHAR, "Running: bindAndExec ..Bind to SQL_WVARCHAR expect 1 row ",
     "Running: bindAndExecDataAtExec .. Bind to SQL_WVARCHAR expect 1 row "},
    {SQL_CHAR, "Running: bindAndExec ..Bind to SQL_CHAR expect 1 row ",
     "Running: bindAndExecDataAtExec .. Bind to SQL_CHAR expect 1 row "},
    {SQL_VARCHAR, "Running: bindAndExec ..Bind to SQL_VARCHAR expect 1 row ",
     "Running: bindAndExecDataAtExec .. Bind to SQL_VARCHAR expect 1 row "},
};
constexpr size_t kStepCount = sizeof(kSteps) / sizeof(kSteps[0]);

// Step lines go to standard output whatever the trace mask and RESFILE say.
void stepLine(const char* line) { isql_print_always(stdout, "%s\n", line); }

void rowCountLine(SQLLEN rows) {
    isql_print_always(stdout, "# of rows selected= %ld\n", static_cast<long>(rows));
}

// The parameter value as the driver manager gets it: UTF-16 (12 bytes), or
// with the encoding off the 4-byte characters themselves (24 bytes).
struct BoundValue {
    zvutf16 utf16[kValueUnits] = {};
    SQLPOINTER buffer = nullptr;
    SQLLEN length = 0;

    BoundValue() {
        if (gUnicodeEnc != 0) {
            wcstoutf16(kValue, SQL_NTS, utf16, static_cast<int>(kValueUnits));
            buffer = utf16;
            length = kValueChars * static_cast<SQLLEN>(sizeof(zvutf16));
        } else {
            buffer = const_cast<wchar_t*>(kValue);
            length = kValueChars * static_cast<SQLLEN>(sizeof(wchar_t));
        }
    }
};

// Allocates the statement and prepares the test query. On failure writes
// the diagnostics and returns 1 (the handle is gone); 0 on success.
int allocAndPrepare(StmtHandle& stmt) {
    if (!stmt.allocate()) return 1;
    std::vector<zvutf16> copy;
    SQLWCHAR* text = reinterpret_cast<SQLWCHAR*>(const_cast<wchar_t*>(kQuery));
    if (gUnicodeEnc != 0) {
        copy = isql_odbc_utf16(kQuery);
        text = reinterpret_cast<SQLWCHAR*>(copy.data());
    }
    if (isql_check(SQLPrepareW(stmt.get(), text, SQL_NTS), Accept::Success, "SQLPrepareW",
                   stmt.connection(), stmt.get()))
        return 0;
    stmt.drop();
    return 1;
}

// Ends a failed step: diagnostics under label; the handle is dropped by its owner.
int failStep(const char* label, const StmtHandle& stmt) {
    print_err(label, stmt.connection(), stmt.get());
    return 1;
}
}  // namespace

// Runs both test functions on the shared connection when state is connected.
// Returns 0 when not connected, else 0 when both tests passed.
int zvtests(ClientState* state, const char* /*args*/) {
    if (!state->connected) {
        isql_trace(gfpErrFile, TRACE_ERROR,
                   "You are not connected to any database\nCannot execute the SQL statement\n");
        return 0;
    }
    const int first = bindAndExec(gClientStateList.henv, gClientStateList.hdbc);
    const int second = bindAndExecDataAtExec(gClientStateList.henv, gClientStateList.hdbc);
    return first != 0 ? first : second;
}

// Executes the test query four times with the value bound at bind time, one
// SQL type per step; every execution must return exactly SQL_SUCCESS.
// Returns 0 when all four ran, 1 at the first failure (diagnostics written).
int bindAndExec(SQLHENV /*henv*/, SQLHDBC hdbc) {
    stepLine(kSteps[0].bindLine);
    StmtHandle stmt(hdbc);
    if (allocAndPrepare(stmt) != 0) return 1;
    const SQLHSTMT hstmt = stmt.get();

    BoundValue value;
    SQLLEN indicator = 0;
    for (size_t i = 0; i < kStepCount; ++i) {
        if (i > 0) stepLine(kSteps[i].bindLine);
        indicator = value.length;
        SQLRETURN rc = SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, kSteps[i].sqlType,
                                        kColumnSize, 0, value.buffer, value.length, &indicator);
        static_cast<void>(rc);  // a refused bind shows in the execution
        rc = SQLExecute(hstmt);
        if (rc != SQL_SUCCESS) return failStep("bindAndExec", stmt);

        SQLLEN rows = 0;
        rc = SQLRowCount(hstmt, &rows);
        static_cast<void>(rc);  // the count is reported as the driver gives it
        rowCountLine(rows);
        if (i + 1 < kStepCount) SQLFreeStmt(hstmt, SQL_CLOSE);
    }
    return 0;
}

// As bindAndExec, with the value sent at execution time: the execution must
// ask for data (SQL_NEED_DATA) and the closing SQLParamData must return
// exactly SQL_SUCCESS. Returns 0 when all four ran, 1 at the first failure.
int bindAndExecDataAtExec(SQLHENV /*henv*/, SQLHDBC hdbc) {
    stepLine(kSteps[0].dataAtExecLine);
    StmtHandle stmt(hdbc);
    if (allocAndPrepare(stmt) != 0) return 1;
    const SQLHSTMT hstmt = stmt.get();

    BoundValue value;
    SQLLEN indicator = 0;
    for (size_t i = 0; i < kStepCount; ++i) {
        indicator = SQL_DATA_AT_EXEC;
        SQLRETURN rc = SQLBindParameter(hstmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, kSteps[i].sqlType,
                                        kColumnSize, 0, dataAtExecToken, value.length,
                                        &indicator);
        static_cast<void>(rc);  // a refused bind shows in the execution
        rc = SQLExecute(hstmt);
        if (rc != SQL_NEED_DATA) return failStep("bindAndExecDataAtExec", stmt);

        SQLPOINTER token = nullptr;
        // The first SQLParamData only names the parameter wanted (always
        // the one), and a failed SQLPutData shows in the closing call.
        rc = SQLParamData(hstmt, &token);
        static_cast<void>(rc);
        rc = SQLPutData(hstmt, value.buffer, value.length);
        static_cast<void>(rc);
        rc = SQLParamData(hstmt, &token);
        if (rc != SQL_SUCCESS) return failStep("bindAndExecDataAtExec", stmt);

        SQLLEN rows = 0;
        rc = SQLRowCount(hstmt, &rows);
        static_cast<void>(rc);  // the count is reported as the driver gives it
        rowCountLine(rows);
        if (i + 1 < kStepCount) {
            stepLine(kSteps[i + 1].dataAtExecLine);
            SQLFreeStmt(hstmt, SQL_CLOSE);
        }
    }
    return 0;
}
