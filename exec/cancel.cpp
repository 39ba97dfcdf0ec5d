// The statement Ctrl-C cancels: published by the session thread while it
// executes or fetches, cancelled from the thread that takes Ctrl-C.
#include <atomic>
#include <mutex>
#include <utility>

#include "isqlexec.h"

namespace {
// The cancelling thread calls SQLCancel under the same lock that the session
// takes to withdraw the handle before dropping it, so a handle is never
// cancelled after it was freed.
std::mutex gRunningLock;
SQLHSTMT gRunningStmt = SQL_NULL_HSTMT;  // guarded by gRunningLock
bool gFetching = false;                  // guarded by gRunningLock
// Set by the first Ctrl-C for the published statement; read once per row.
std::atomic<bool> gStopRequested{false};
// A failure was reported while results were read or printed (session thread only).
bool gResultFault = false;

void publish_running(SQLHSTMT hstmt) {
    std::lock_guard<std::mutex> hold(gRunningLock);
    gRunningStmt = hstmt;
    gFetching = false;
    gStopRequested.store(false, std::memory_order_relaxed);
}
}  // namespace

RunningStatement::RunningStatement(SQLHSTMT hstmt) { publish_running(hstmt); }

RunningStatement::~RunningStatement() { publish_running(SQL_NULL_HSTMT); }

// Cancels the statement that isql_exec is executing or fetching, from any
// thread. While rows are fetched the first press only asks the row loop to
// stop between two rows: SQLCancel beside a running SQLFetch is more than
// some drivers survive (SQLite's frees the rows being read). A second press
// while the loop has not stopped (a fetch waiting on the server) and any
// press during execution send SQLCancel; the driver's diagnostics are then
// printed by the cancelled call's own failure path. A refused cancel is only
// told to the caller: this runs beside the session thread, which owns the
// output and the diagnostics.
CancelResult isql_cancel_running_stmt() {
    std::lock_guard<std::mutex> hold(gRunningLock);
    if (gRunningStmt == SQL_NULL_HSTMT) return CancelResult::NoStatement;
    const bool firstPress = !gStopRequested.exchange(true, std::memory_order_relaxed);
    if (gFetching && firstPress) return CancelResult::Sent;
    const SQLRETURN rc = SQLCancel(gRunningStmt);
    return SQL_SUCCEEDED(rc) ? CancelResult::Sent : CancelResult::Refused;
}

void isql_request_stop_running() {
    std::lock_guard<std::mutex> hold(gRunningLock);
    if (gRunningStmt != SQL_NULL_HSTMT) gStopRequested.store(true, std::memory_order_relaxed);
}

void isql_running_fetches() {
    std::lock_guard<std::mutex> hold(gRunningLock);
    gFetching = gRunningStmt != SQL_NULL_HSTMT;
}

bool isql_stop_requested() { return gStopRequested.load(std::memory_order_relaxed); }

void isql_note_result_fault() { gResultFault = true; }

bool isql_take_result_fault() { return std::exchange(gResultFault, false); }
