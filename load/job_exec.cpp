// A job's statements (policy in job_exec.h).
#include <cstring>
#include <utility>

#include "isqlexec.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "job_exec.h"
#include "zvunicode.h"

namespace {
// Prepared handles kept for texts that change from one execution to the
// next (a quoted pass number or random value); beyond this many, such
// statements are prepared at each execution and dropped after it.
constexpr size_t kMaxVaryingPrepared = 256;
}  // namespace

// A prepared statement with its parameters bound to values.
struct JobStatements::Prepared {
    explicit Prepared(SQLHDBC hdbc) : stmt(hdbc) {}
    StmtHandle stmt;
    std::vector<long long> values;
    std::vector<SQLLEN> lengths;
    // The first execution gave a single result of this many columns: later
    // ones are read as such without asking again, and the cursor's close
    // drops whatever else might come.
    bool singleResult = false;
    SQLSMALLINT columns = 0;
    bool executed = false;
};

JobStatements::JobStatements(JobSettings& settings, JobCounters& counters)
    : settings_(settings), counters_(counters) {}

JobStatements::~JobStatements() = default;

// Asks the driver whether a prepared statement outlives a commit or rollback
// (a driver that deletes them gets every statement prepared anew) and
// whether it has SQLMoreResults. A refused question counts as "no".
void JobStatements::learn_driver(SQLHDBC hdbc) {
    if (driverKnown_) return;
    driverKnown_ = true;
    reuse_ = settings_.prepare == LoadPrepare::Reuse;
    for (SQLUSMALLINT type : {SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CURSOR_ROLLBACK_BEHAVIOR}) {
        // Room for more than the SQLUSMALLINT answer, for drivers that write more.
        SQLUINTEGER room = 0;
        SQLUSMALLINT behaviour = SQL_CB_DELETE;
        const SQLRETURN rc = SQLGetInfo(hdbc, type, &room, sizeof room, nullptr);
        if (SQL_SUCCEEDED(rc)) std::memcpy(&behaviour, &room, sizeof behaviour);
        if (behaviour == SQL_CB_DELETE) reuse_ = false;
    }
    SQLRETURN rc;
    SQLUSMALLINT supported = SQL_FALSE;
    rc = SQLGetFunctions(hdbc, SQL_API_SQLMORERESULTS, &supported);
    moreResults_ = SQL_SUCCEEDED(rc) && supported == SQL_TRUE;
}

// The entry of text, its substitutions parsed when it is new.
JobStatements::Text& JobStatements::text_entry(const std::wstring& text) {
    auto found = texts_.find(text);
    if (found != texts_.end()) return found->second;
    Text& t = texts_[text];
    t.id = counters_.text_id(utf8_of(text));
    std::wstring fault;
    if (!parse_load_template(text, t.tmpl, fault)) {
        t.fault = "SQL: " + utf8_of(fault) + "; the statement was not run";
    } else if (!t.tmpl.textVaries) {
        render_load_template(t.tmpl, settings_.number, 0, settings_.random, &t.fixed, values_);
    }
    return t;
}

namespace {
// A new handle with text prepared and one SQL_BIGINT parameter bound per
// value. Null after the diagnostics when a step failed.
std::unique_ptr<JobStatements::Prepared> prepare(SQLHDBC hdbc, const std::wstring& text, size_t parameters) {
    auto p = std::make_unique<JobStatements::Prepared>(hdbc);
    if (isql_create_stmt_handle(p->stmt) != 0) return nullptr;
    if (isql_prepare_stmt(hdbc, p->stmt.get(), text.c_str()) != 0) return nullptr;
    p->values.assign(parameters, 0);
    p->lengths.assign(parameters, sizeof(long long));
    for (size_t i = 0; i < parameters; ++i) {
        const SQLRETURN rc = SQLBindParameter(p->stmt.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                              SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p->values[i], 0, &p->lengths[i]);
        if (!isql_check(rc, Accept::Succeeded, "SQLBindParameter", hdbc, p->stmt.get())) return nullptr;
    }
    return p;
}

}  // namespace

// Reads every result of the executed statement, dropping the rows (after
// the first execution, only the first result of a statement that had one).
// 0, or 1 after the diagnostics.
int JobStatements::discard_results(SQLHDBC hdbc, Prepared& p) {
    const SQLHSTMT hstmt = p.stmt.get();
    for (bool first = true;; first = false) {
        SQLSMALLINT ncols = p.columns;
        SQLRETURN rc = SQL_SUCCESS;
        if (!p.singleResult) {
            rc = SQLNumResultCols(hstmt, &ncols);
            if (!isql_check(rc, Accept::Succeeded, "SQLNumResultCols", hdbc, hstmt)) return 1;
        }
        if (ncols > 0) {
            // A stop while rows come ends the loop between two rows: SQLCancel
            // beside a running SQLFetch is more than some drivers survive.
            isql_running_fetches();
            while ((rc = SQLFetch(hstmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
                if (isql_stop_requested()) return 1;
            }
            if (rc != SQL_NO_DATA) return print_err("SQLFetch", hdbc, hstmt);
        }
        if (!moreResults_ || p.singleResult) return 0;
        rc = SQLMoreResults(hstmt);
        if (rc == SQL_NO_DATA) {
            p.singleResult = first && !p.executed;
            p.columns = ncols;
            return 0;
        }
        if (!isql_check(rc, Accept::Succeeded, "SQLMoreResults", hdbc, hstmt)) return 1;
    }
}

// Executes p with the values of this execution and reads its results; the
// cursor is closed again for the next execution. 0, or 1 after the
// diagnostics. Meanwhile p is the statement that the end of the run cancels.
int JobStatements::execute(SQLHDBC hdbc, Prepared& p, long long started) {
    std::copy(values_.begin(), values_.end(), p.values.begin());
    const SQLHSTMT hstmt = p.stmt.get();
    int rc = 0;
    {
        RunningStatement running(hstmt);
        // Published before the stop is looked at: the canceller sets the stop
        // before it looks for a published statement, so one of the two sees
        // the other.
        if (settings_.stop != nullptr && settings_.stop->load()) {
            isql_trace(gfpErrFile, TRACE_ERROR, "SQL: The load run was stopped; the statement was not run\n");
            cancelled_ = true;
            return 1;
        }
        rc = execute_and_read(hdbc, p, started);
        cancelled_ = rc != 0 && isql_stop_requested();
    }
    if (rc != 0) return rc;
    p.executed = true;
    const SQLRETURN closed = SQLFreeStmt(hstmt, SQL_CLOSE);
    return isql_check(closed, Accept::Succeeded, "SQLFreeStmt", hdbc, hstmt) ? 0 : 1;
}

int JobStatements::execute_and_read(SQLHDBC hdbc, Prepared& p, long long started) {
    const SQLHSTMT hstmt = p.stmt.get();
    // The times of the elapsed-time lines, which only --job-output shows.
    const long long executing = settings_.keepOutput ? isql_now_us() : 0;
    SQLRETURN rc = SQLExecute(hstmt);
    if (settings_.keepOutput) isql_note_statement_times(executing - started, isql_now_us() - executing);
    // SQL_NO_DATA: a searched UPDATE or DELETE that touched no row.
    if (rc != SQL_NO_DATA && !isql_strict_passes(rc, "SQLExecute", hdbc, hstmt))
        return print_err("SQLExecute", hdbc, hstmt);
    if (settings_.keepOutput) {
        // Printed as a session prints it; a failure while the rows were read
        // or printed still fails the execution.
        if (isql_util_print_results(hdbc, hstmt) != 0) return 1;
        isql_trace(gfpResFile, TRACE_NOTICE, "SQL: Operation successful.\n");
        if (isql_take_result_fault()) return 1;
        return 0;
    }
    return discard_results(hdbc, p);
}

// The prepared handle kept for the text, or where to keep a new one; null
// when the text gets a handle for this execution only.
std::unique_ptr<JobStatements::Prepared>* JobStatements::kept_handle(Text& t) {
    if (!reuse_) return nullptr;
    if (!t.tmpl.textVaries) return &t.prepared;
    auto found = varying_.find(rendered_);
    if (found != varying_.end()) return &found->second;
    if (varying_.size() >= kMaxVaryingPrepared) return nullptr;
    return &varying_[rendered_];
}

int JobStatements::exec(SQLHDBC hdbc, const std::wstring& text) {
    std::string state, message;
    counters_.take_diagnostic(state, message);  // forget what came before
    isql_note_statement_times(0, 0);
    Text& t = text_entry(text);
    if (!t.fault.empty()) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%s\n", t.fault.c_str());
        counters_.note_failure(t.id, "", t.fault);
        return 1;
    }
    learn_driver(hdbc);
    const bool timed = settings_.timed || settings_.keepOutput;
    const long long started = timed ? isql_now_us() : 0;
    render_load_template(t.tmpl, settings_.number, settings_.pass, settings_.random, t.tmpl.textVaries ? &rendered_ : nullptr,
                         values_);
    const std::wstring& sql = t.tmpl.textVaries ? rendered_ : t.fixed;

    std::unique_ptr<Prepared>* kept = kept_handle(t);
    std::unique_ptr<Prepared> once;
    std::unique_ptr<Prepared>& slot = kept != nullptr ? *kept : once;
    if (!slot) slot = prepare(hdbc, sql, t.tmpl.parameters);
    int rc = slot ? execute(hdbc, *slot, started) : 1;
    const long long finished = timed ? isql_now_us() : 0;
    if (rc == 0) {
        counters_.note_success(t.id, static_cast<uint64_t>(finished - started));
        return 0;
    }
    // A handle that failed is prepared anew next time: its statement may be
    // what went wrong (a table dropped and made again).
    slot.reset();
    counters_.take_diagnostic(state, message);
    if (std::exchange(cancelled_, false))
        counters_.note_failure(t.id, kCancelledGroup, "in flight when the run was stopped");
    else
        counters_.note_failure(t.id, state, message);
    return rc;
}

void JobStatements::forget() {
    for (auto& [text, t] : texts_) t.prepared.reset();
    varying_.clear();
    driverKnown_ = false;
}
