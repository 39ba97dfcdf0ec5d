// Statements of a load-run job: ${WSQL_...} substituted, timed, their rows
// fetched and dropped (or printed with --job-output), and kept prepared so
// that the same text met again on the job is only executed again, as a
// client that prepares once and re-executes would do.
#include <cstring>
#include <memory>
#include <unordered_map>

#include "isqlexec.h"
#include "isqlload.h"
#include "isqlodbc.h"
#include "isqltm.h"
#include "zvunicode.h"

namespace {
// Prepared handles kept for texts that change from one execution to the
// next (a quoted pass number or random value); beyond this many, such
// statements are prepared at each execution and dropped after it.
constexpr size_t kMaxVaryingPrepared = 256;
constexpr long long kMicrosPerMs = 1000;

// A prepared statement with its parameters bound to values_.
struct Prepared {
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

// A statement text as the script writes it.
struct Text {
    LoadTemplate tmpl;
    std::string fault;   // why its substitutions cannot be made; empty when they can
    size_t id = 0;       // of the job's counters
    std::wstring fixed;  // the text sent, when it does not vary
    std::unique_ptr<Prepared> prepared;  // for the fixed text
};

std::unordered_map<std::wstring, Text> gTexts;
std::unordered_map<std::wstring, std::unique_ptr<Prepared>> gVarying;
std::vector<long long> gValues;  // of the execution under way
std::wstring gRendered;
// What the driver of the connection allows, learnt at its first statement.
bool gDriverKnown = false;
bool gReuse = true;         // prepared statements survive a commit or rollback
bool gMoreResults = true;   // SQLMoreResults is there

std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 4 + 1, '\0');
    const int n = wcstoutf8(text.c_str(), static_cast<long>(text.size()), reinterpret_cast<unsigned char*>(out.data()),
                            static_cast<int>(out.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

// Asks the driver whether a prepared statement outlives a commit or rollback
// (a driver that deletes them gets every statement prepared anew) and
// whether it has SQLMoreResults. A refused question counts as "no".
void learn_driver(SQLHDBC hdbc) {
    if (gDriverKnown) return;
    gDriverKnown = true;
    gReuse = gLoadJob.prepare == LoadPrepare::Reuse;
    for (SQLUSMALLINT type : {SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CURSOR_ROLLBACK_BEHAVIOR}) {
        // Room for more than the SQLUSMALLINT answer, for drivers that write more.
        SQLUINTEGER room = 0;
        SQLUSMALLINT behaviour = SQL_CB_DELETE;
        const SQLRETURN rc = SQLGetInfo(hdbc, type, &room, sizeof room, nullptr);
        if (SQL_SUCCEEDED(rc)) std::memcpy(&behaviour, &room, sizeof behaviour);
        if (behaviour == SQL_CB_DELETE) gReuse = false;
    }
    SQLRETURN rc;
    SQLUSMALLINT supported = SQL_FALSE;
    rc = SQLGetFunctions(hdbc, SQL_API_SQLMORERESULTS, &supported);
    gMoreResults = SQL_SUCCEEDED(rc) && supported == SQL_TRUE;
}

// The entry of text, its substitutions parsed when it is new.
Text& text_entry(const std::wstring& text) {
    auto found = gTexts.find(text);
    if (found != gTexts.end()) return found->second;
    Text& t = gTexts[text];
    t.id = isql_load_text_id(utf8(text));
    std::wstring fault;
    if (!parse_load_template(text, t.tmpl, fault)) {
        t.fault = "SQL: " + utf8(fault) + "; the statement was not run";
    } else if (!t.tmpl.textVaries) {
        render_load_template(t.tmpl, gLoadJob.number, 0, gLoadJob.random, &t.fixed, gValues);
    }
    return t;
}

// A new handle with text prepared and one SQL_BIGINT parameter bound per
// value. Null after the diagnostics when a step failed.
std::unique_ptr<Prepared> prepare(SQLHDBC hdbc, const std::wstring& text, size_t parameters) {
    auto p = std::make_unique<Prepared>(hdbc);
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

// Reads every result of the executed statement, dropping the rows (after
// the first execution, only the first result of a statement that had one).
// 0, or 1 after the diagnostics.
int discard_results(SQLHDBC hdbc, Prepared& p) {
    const SQLHSTMT hstmt = p.stmt.get();
    for (bool first = true;; first = false) {
        SQLSMALLINT ncols = p.columns;
        SQLRETURN rc = SQL_SUCCESS;
        if (!p.singleResult) {
            rc = SQLNumResultCols(hstmt, &ncols);
            if (!isql_check(rc, Accept::Succeeded, "SQLNumResultCols", hdbc, hstmt)) return 1;
        }
        if (ncols > 0) {
            while ((rc = SQLFetch(hstmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            }
            if (rc != SQL_NO_DATA) return print_err("SQLFetch", hdbc, hstmt);
        }
        if (!gMoreResults || p.singleResult) return 0;
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
// diagnostics.
int execute(SQLHDBC hdbc, Prepared& p, long long started) {
    std::copy(gValues.begin(), gValues.end(), p.values.begin());
    const SQLHSTMT hstmt = p.stmt.get();
    // The times of the elapsed-time lines, which only --job-output shows.
    const long long executing = gLoadJob.keepOutput ? isql_load_now_micros() : 0;
    SQLRETURN rc = SQLExecute(hstmt);
    if (gLoadJob.keepOutput) {
        lPrepareTime = (executing - started) / kMicrosPerMs;
        lExecTime = (isql_load_now_micros() - executing) / kMicrosPerMs;
    }
    // SQL_NO_DATA: a searched UPDATE or DELETE that touched no row.
    if (rc != SQL_NO_DATA && !isql_strict_passes(rc, "SQLExecute", hdbc, hstmt))
        return print_err("SQLExecute", hdbc, hstmt);
    if (gLoadJob.keepOutput) {
        if (isql_util_print_results(hdbc, hstmt) != 0) return 1;
        isql_trace(gfpResFile, TRACE_NOTICE, "SQL: Operation successful.\n");
    } else if (discard_results(hdbc, p) != 0) {
        return 1;
    }
    p.executed = true;
    rc = SQLFreeStmt(hstmt, SQL_CLOSE);
    return isql_check(rc, Accept::Succeeded, "SQLFreeStmt", hdbc, hstmt) ? 0 : 1;
}

// The prepared handle kept for the text, or where to keep a new one; null
// when the text gets a handle for this execution only.
std::unique_ptr<Prepared>* kept_handle(Text& t) {
    if (!gReuse) return nullptr;
    if (!t.tmpl.textVaries) return &t.prepared;
    auto found = gVarying.find(gRendered);
    if (found != gVarying.end()) return &found->second;
    if (gVarying.size() >= kMaxVaryingPrepared) return nullptr;
    return &gVarying[gRendered];
}
}  // namespace

int isql_load_exec(SQLHDBC hdbc, const std::wstring& text) {
    std::string state, message;
    isql_load_take_diagnostic(state, message);  // forget what came before
    lPrepareTime = lExecTime = 0;
    Text& t = text_entry(text);
    if (!t.fault.empty()) {
        isql_trace(gfpErrFile, TRACE_ERROR, "%s\n", t.fault.c_str());
        isql_load_note_failure(t.id, "", t.fault);
        return 1;
    }
    learn_driver(hdbc);
    const bool timed = gLoadJob.timed || gLoadJob.keepOutput;
    const long long started = timed ? isql_load_now_micros() : 0;
    render_load_template(t.tmpl, gLoadJob.number, gLoadJob.pass, gLoadJob.random,
                         t.tmpl.textVaries ? &gRendered : nullptr, gValues);
    const std::wstring& sql = t.tmpl.textVaries ? gRendered : t.fixed;

    std::unique_ptr<Prepared>* kept = kept_handle(t);
    std::unique_ptr<Prepared> once;
    std::unique_ptr<Prepared>& slot = kept != nullptr ? *kept : once;
    if (!slot) slot = prepare(hdbc, sql, t.tmpl.parameters);
    int rc = slot ? execute(hdbc, *slot, started) : 1;
    const long long finished = timed ? isql_load_now_micros() : 0;
    if (rc == 0) {
        isql_load_note_success(t.id, static_cast<uint64_t>(finished - started));
        return 0;
    }
    // A handle that failed is prepared anew next time: its statement may be
    // what went wrong (a table dropped and made again).
    slot.reset();
    isql_load_take_diagnostic(state, message);
    isql_load_note_failure(t.id, state, message);
    return rc;
}

void isql_load_forget_statements() {
    for (auto& [text, t] : gTexts) t.prepared.reset();
    gVarying.clear();
    gDriverKnown = false;
}
