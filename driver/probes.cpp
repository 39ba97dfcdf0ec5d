// The probes themselves. Each makes its own table, named for it, and drops it
// whatever happened; a step that fails says so in what was observed.
#include "probes.h"

#include <sqlucode.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "collect.h"

namespace {
constexpr int kRowArraySize = 3;
constexpr int kRowArrayRows = 5;
constexpr int kParamArraySize = 3;
constexpr SQLULEN kTimeoutSeconds = 1;
constexpr int kTimeoutLateSeconds = 4;  // a statement that fails later was not ended by the time-out
constexpr int kMaxAliasChars = 4096;  // a longer claimed limit is checked at this length
constexpr int kNumericPrecision = 38;
constexpr SQLSMALLINT kNameChars = kMaxAliasChars + 1;

ProbeResult result(const char* name, std::string claim, std::string observed, const char* verdict) {
    return {name, std::move(claim), std::move(observed), verdict};
}

// The verdict of a yes/no claim against a yes/no observation.
const char* verdict_of(bool claimed, bool works) {
    return claimed == works ? "agree" : claimed ? "disagree" : "exceeds";
}

// Creates the probe's table and drops it on the way out; autocommit back on
// first, so that the drop is not rolled back with the probe's transaction.
class ProbeTable {
public:
    ProbeTable(ProbeContext& c, const std::string& columns) : c_(c) {
        created_ = run_sql(c.dbc, "CREATE TABLE " + c.table + " (" + columns + ")", why_);
    }
    // Clean-up on the way out: a refusal here changes no verdict, so it is not reported.
    ~ProbeTable() {
        SQLEndTran(SQL_HANDLE_DBC, c_.dbc, SQL_ROLLBACK);
        SQLSetConnectAttrW(c_.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
        std::string ignored;
        if (created_) run_sql(c_.dbc, "DROP TABLE " + c_.table, ignored);
    }
    ProbeTable(const ProbeTable&) = delete;
    ProbeTable& operator=(const ProbeTable&) = delete;
    bool created() const { return created_; }
    std::string why() const { return "cannot create its table: " + why_; }

private:
    ProbeContext& c_;
    bool created_ = false;
    std::string why_;
};

bool claims_flag(SQLHDBC dbc, const char* info, const char* flag) {
    const std::string v = info_value(dbc, info);
    return ("|" + v + "|").find(std::string("|") + flag + "|") != std::string::npos;
}

ProbeResult getdata(ProbeContext& c, const char* name, const char* flag, bool bound) {
    const std::string claim = info_value(c.dbc, "SQL_GETDATA_EXTENSIONS");
    const bool claimed = claims_flag(c.dbc, "SQL_GETDATA_EXTENSIONS", flag);
    ProbeTable t(c, "a INTEGER, b INTEGER, c INTEGER");
    std::string why;
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    if (!run_sql(c.dbc, "INSERT INTO " + c.table + " VALUES (1, 2, 3)", why))
        return result(name, claim, "cannot insert its row: " + why, "cannot run");
    OwnStmt s(c.dbc);
    SQLINTEGER boundValue = 0;
    SQLLEN boundInd = 0;
    if (!s.prepare("SELECT a, b, c FROM " + c.table + (bound ? " WHERE a = 1" : " WHERE b = 2"), why)) return result(name, claim, "cannot prepare: " + why, "cannot run");
    if (bound && !SQL_SUCCEEDED(SQLBindCol(s.get(), 1, SQL_C_LONG, &boundValue, sizeof boundValue, &boundInd)))
        return result(name, claim, "cannot bind column 1: " + s.error(), "cannot run");
    if (!s.execute(why)) return result(name, claim, "cannot execute: " + why, "cannot run");
    if (!SQL_SUCCEEDED(SQLFetch(s.get()))) return result(name, claim, "cannot fetch: " + s.error(), "cannot run");
    // Out of order: column 3, then 1. On bound columns: column 2 of a row whose column 1 is bound.
    const SQLUSMALLINT order[2] = {static_cast<SQLUSMALLINT>(bound ? 2 : 3), static_cast<SQLUSMALLINT>(bound ? 3 : 1)};
    const SQLINTEGER expected[2] = {bound ? 2 : 3, bound ? 3 : 1};
    for (int i = 0; i < 2; ++i) {
        SQLINTEGER v = 0;
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(s.get(), order[i], SQL_C_LONG, &v, sizeof v, &ind);
        if (!SQL_SUCCEEDED(rc))
            return result(name, claim, "SQLGetData of column " + std::to_string(order[i]) + " failed: " + s.error(),
                          verdict_of(claimed, false));
        if (v != expected[i])
            return result(name, claim, "SQLGetData of column " + std::to_string(order[i]) + " gave " + std::to_string(v),
                          verdict_of(claimed, false));
    }
    return result(name, claim, bound ? "SQLGetData of columns 2 and 3 beside bound column 1 worked"
                                     : "SQLGetData of column 3, then 1 worked", verdict_of(claimed, true));
}

ProbeResult probe_getdata_order(ProbeContext& c) { return getdata(c, "getdata_any_order", "SQL_GD_ANY_ORDER", false); }
ProbeResult probe_getdata_bound(ProbeContext& c) { return getdata(c, "getdata_bound", "SQL_GD_BOUND", true); }

bool autocommit_off(SQLHDBC dbc, std::string& why) {
    if (SQL_SUCCEEDED(SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
        return true;
    return why = diag_text(SQL_HANDLE_DBC, dbc), false;
}

ProbeResult probe_commit(ProbeContext& c) {
    const char* name = "cursor_commit_behavior";
    const std::string claim = info_value(c.dbc, "SQL_CURSOR_COMMIT_BEHAVIOR");
    const bool claimed = claim == "SQL_CB_CLOSE" || claim == "SQL_CB_PRESERVE";
    ProbeTable t(c, "a INTEGER");
    std::string why;
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    if (!autocommit_off(c.dbc, why)) return result(name, claim, "cannot turn autocommit off: " + why, "cannot run");
    OwnStmt s(c.dbc);
    if (!s.prepare("SELECT a FROM " + c.table, why)) return result(name, claim, "cannot prepare: " + why, "cannot run");
    if (!s.execute(why)) return result(name, claim, "cannot execute: " + why, "cannot run");
    if (!SQL_SUCCEEDED(SQLCloseCursor(s.get()))) return result(name, claim, "cannot close the cursor: " + s.error(), "cannot run");
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_COMMIT)))
        return result(name, claim, "cannot commit: " + diag_text(SQL_HANDLE_DBC, c.dbc), "cannot run");
    const bool survived = s.execute(why);
    return result(name, claim, survived ? "the prepared statement ran again after a commit"
                                        : "the prepared statement failed after a commit: " + why,
                  verdict_of(claimed, survived));
}

ProbeResult probe_rollback(ProbeContext& c) {
    const char* name = "txn_capable";
    const std::string claim = info_value(c.dbc, "SQL_TXN_CAPABLE");
    const bool claimed = claim != "SQL_TC_NONE";
    ProbeTable t(c, "a INTEGER");
    std::string why, count;
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    if (!autocommit_off(c.dbc, why)) return result(name, claim, "cannot turn autocommit off: " + why, "cannot run");
    if (!run_sql(c.dbc, "INSERT INTO " + c.table + " VALUES (1)", why))
        return result(name, claim, "cannot insert: " + why, "cannot run");
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_ROLLBACK)))
        return result(name, claim, "rollback failed: " + diag_text(SQL_HANDLE_DBC, c.dbc), verdict_of(claimed, false));
    if (!query_text(c.dbc, "SELECT COUNT(*) FROM " + c.table, count, why))
        return result(name, claim, "cannot count the rows: " + why, "cannot run");
    const bool undone = count == "0";
    return result(name, claim, undone ? "a rollback undid an insert" : count + " rows left after a rollback of an insert",
                  verdict_of(claimed, undone));
}

ProbeResult probe_column_name(ProbeContext& c) {
    const char* name = "max_column_name_len";
    const std::string claim = info_value(c.dbc, "SQL_MAX_COLUMN_NAME_LEN");
    const int limit = std::atoi(claim.c_str());
    if (limit <= 0) return result(name, claim, "no limit is claimed", "cannot run");
    const int length = std::min(limit, kMaxAliasChars);
    OwnStmt s(c.dbc);
    std::string why;
    if (!s.prepare("SELECT 1 AS " + std::string(static_cast<size_t>(length), 'c'), why))
        return result(name, claim, "an alias of " + std::to_string(length) + " characters was refused: " + why, "disagree");
    char16_t alias[kNameChars] = {};
    SQLSMALLINT got = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!s.execute(why)) return result(name, claim, "an alias of " + std::to_string(length) + " characters was refused: " + why, "disagree");
    if (!SQL_SUCCEEDED(SQLDescribeColW(s.get(), 1, reinterpret_cast<SQLWCHAR*>(alias), kNameChars, &got, &type, &size,
                                       &digits, &nullable)))
        return result(name, claim, "SQLDescribeCol failed: " + s.error(), "disagree");
    return result(name, claim, "an alias of " + std::to_string(length) + " characters came back with " + std::to_string(got),
                  got == length ? "agree" : "disagree");
}

ProbeResult probe_param_array(ProbeContext& c) {
    const char* name = "param_array_row_counts";
    const std::string claim = info_value(c.dbc, "SQL_PARAM_ARRAY_ROW_COUNTS");
    ProbeTable t(c, "a INTEGER");
    std::string why, count;
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    OwnStmt s(c.dbc);
    SQLINTEGER values[kParamArraySize] = {1, 2, 3};
    SQLLEN inds[kParamArraySize] = {0, 0, 0};
    SQLULEN processed = 0;
    if (!SQL_SUCCEEDED(SQLSetStmtAttrW(s.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(kParamArraySize), 0)))
        return result(name, claim, "SQL_ATTR_PARAMSET_SIZE refused: " + s.error(), "disagree");
    if (!SQL_SUCCEEDED(SQLSetStmtAttrW(s.get(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0)))
        return result(name, claim, "SQL_ATTR_PARAMS_PROCESSED_PTR refused: " + s.error(), "cannot run");
    if (!s.prepare("INSERT INTO " + c.table + " VALUES (?)", why)) return result(name, claim, "cannot prepare: " + why, "cannot run");
    if (!SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, values, 0, inds)))
        return result(name, claim, "cannot bind the array: " + s.error(), "cannot run");
    if (!s.execute(why)) return result(name, claim, "executing an array of 3 failed: " + why, "disagree");
    SQLLEN rows = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(s.get(), &rows))) return result(name, claim, "SQLRowCount failed: " + s.error(), "disagree");
    if (!query_text(c.dbc, "SELECT COUNT(*) FROM " + c.table, count, why)) return result(name, claim, "cannot count: " + why, "cannot run");
    const std::string observed = "an array of 3 inserted " + count + " rows, SQLRowCount " + std::to_string(rows);
    const long expected = claim == "SQL_PARC_BATCH" ? 1 : claim == "SQL_PARC_NO_BATCH" ? kParamArraySize : -2;
    if (expected == -2) return result(name, claim, "the claim names no known value; " + observed, "cannot run");
    return result(name, claim, observed, count == "3" && rows == expected ? "agree" : "disagree");
}

ProbeResult probe_row_array(ProbeContext& c) {
    const char* name = "row_array_size";
    const std::string claim = "SQL_ATTR_ROW_ARRAY_SIZE " + std::to_string(kRowArraySize) + " fetches " +
                              std::to_string(kRowArraySize) + " rows at a time";
    ProbeTable t(c, "a INTEGER");
    std::string why;
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    for (int i = 1; i <= kRowArrayRows; ++i)
        if (!run_sql(c.dbc, "INSERT INTO " + c.table + " VALUES (" + std::to_string(i) + ")", why))
            return result(name, claim, "cannot insert: " + why, "cannot run");
    OwnStmt s(c.dbc);
    SQLINTEGER values[kRowArraySize] = {};
    SQLLEN inds[kRowArraySize] = {};
    SQLULEN fetched = 0;
    if (!SQL_SUCCEEDED(SQLSetStmtAttrW(s.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kRowArraySize), 0)))
        return result(name, claim, "SQL_ATTR_ROW_ARRAY_SIZE refused: " + s.error(), "disagree");
    if (!SQL_SUCCEEDED(SQLSetStmtAttrW(s.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0)))
        return result(name, claim, "SQL_ATTR_ROWS_FETCHED_PTR refused: " + s.error(), "cannot run");
    if (!s.run("SELECT a FROM " + c.table + " ORDER BY a", why)) return result(name, claim, "cannot select: " + why, "cannot run");
    if (!SQL_SUCCEEDED(SQLBindCol(s.get(), 1, SQL_C_LONG, values, sizeof values[0], inds)))
        return result(name, claim, "cannot bind: " + s.error(), "cannot run");
    std::string seen;
    long total = 0;
    for (SQLRETURN rc; SQL_SUCCEEDED(rc = SQLFetch(s.get()));) {
        seen += (seen.empty() ? "" : "+") + std::to_string(fetched);
        total += static_cast<long>(fetched);
        if (fetched > kRowArraySize || total > kRowArrayRows) break;
    }
    const std::string expected = std::to_string(kRowArraySize) + "+" + std::to_string(kRowArrayRows - kRowArraySize);
    return result(name, claim, std::to_string(kRowArrayRows) + " rows came as " + (seen.empty() ? "none" : seen),
                  seen == expected ? "agree" : "disagree");
}

ProbeResult probe_rowcount_select(ProbeContext& c) {
    const char* name = "rowcount_after_select";
    const std::string claim = "SQLRowCount after a SELECT is -1 or the number of rows";
    ProbeTable t(c, "a INTEGER");
    std::string why;
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    for (int i = 1; i <= 2; ++i)
        if (!run_sql(c.dbc, "INSERT INTO " + c.table + " VALUES (" + std::to_string(i) + ")", why))
            return result(name, claim, "cannot insert: " + why, "cannot run");
    OwnStmt s(c.dbc);
    if (!s.run("SELECT a FROM " + c.table, why)) return result(name, claim, "cannot select: " + why, "cannot run");
    SQLLEN rows = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(s.get(), &rows))) return result(name, claim, "SQLRowCount failed: " + s.error(), "disagree");
    return result(name, claim, "SQLRowCount said " + std::to_string(rows) + " for 2 rows",
                  rows == -1 || rows == 2 ? "agree" : "disagree");
}

ProbeResult probe_timeout(ProbeContext& c) {
    const char* name = "query_timeout";
    const std::string claim = "SQL_ATTR_QUERY_TIMEOUT " + std::to_string(kTimeoutSeconds) + " s ends a longer statement";
    std::string slow;
    if (c.dbms == "PostgreSQL") slow = "SELECT pg_sleep(5)";
    else if (c.dbms == "MySQL" || c.dbms == "MariaDB") slow = "SELECT SLEEP(5)";
    else if (c.dbms.starts_with("SQLite"))
        slow = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000000) SELECT COUNT(*) FROM n";
    else return result(name, claim, "no slow statement is known for " + c.dbms, "cannot run");
    OwnStmt s(c.dbc);
    const SQLRETURN set = SQLSetStmtAttrW(s.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(kTimeoutSeconds), 0);
    if (!SQL_SUCCEEDED(set)) return result(name, claim, "the time-out was refused: " + s.error(), "disagree");
    std::string why;
    const auto start = std::chrono::steady_clock::now();
    const bool ran = s.run(slow, why) && SQL_SUCCEEDED(SQLFetch(s.get()));
    const bool early = std::chrono::steady_clock::now() - start < std::chrono::seconds(kTimeoutLateSeconds);
    if (ran) return result(name, claim, "a statement of about 5 s ran to its end", "disagree");
    if (why.empty()) why = s.error();
    // Some drivers pass the server's own SQLSTATE on instead of HYT00.
    const std::string state = why.substr(0, 5);
    if (!early) return result(name, claim, "the statement failed late, with " + state, "disagree");
    return result(name, claim, "the statement ended in time, with " + state, "agree");
}

// Inserts units as wide text and reads them back as wide text.
bool wide_round_trip(ProbeContext& c, const std::u16string& units, std::u16string& back, std::string& why) {
    OwnStmt in(c.dbc);
    SQLLEN length = static_cast<SQLLEN>(units.size() * sizeof(char16_t));
    if (!in.prepare("INSERT INTO " + c.table + " VALUES (?)", why)) return false;
    if (!SQL_SUCCEEDED(SQLBindParameter(in.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0,
                                        const_cast<char16_t*>(units.data()), length, &length)))
        return why = in.error(), false;
    if (!in.execute(why)) return false;
    OwnStmt out(c.dbc);
    if (!out.run("SELECT t FROM " + c.table, why)) return false;
    if (!SQL_SUCCEEDED(SQLFetch(out.get()))) return why = "no row came back: " + out.error(), false;
    char16_t buf[64] = {};
    SQLLEN ind = 0;
    if (!SQL_SUCCEEDED(SQLGetData(out.get(), 1, SQL_C_WCHAR, buf, sizeof buf, &ind))) return why = out.error(), false;
    back.assign(buf, ind < 0 ? 0 : std::min<size_t>(static_cast<size_t>(ind) / 2, 63));
    return true;
}

std::string units_text(const std::u16string& u) {
    std::string out;
    char hex[8];
    for (char16_t c : u) std::snprintf(hex, sizeof hex, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(c)), out += hex;
    return out.empty() ? "nothing" : out;
}

ProbeResult probe_wide_supplementary(ProbeContext& c) {
    const char* name = "wide_text_above_ffff";
    const std::string claim = "U+1F600 (UTF-16 D83D DE00) comes back as it went";
    ProbeTable t(c, "t VARCHAR(20)");
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    const std::u16string sent = u"a\U0001F600b";
    std::u16string back;
    std::string why;
    if (!wide_round_trip(c, sent, back, why)) return result(name, claim, "the round trip failed: " + why, "disagree");
    return result(name, claim, "came back as " + units_text(back), back == sent ? "agree" : "disagree");
}

ProbeResult probe_wide_invalid(ProbeContext& c) {
    const char* name = "wide_text_invalid";
    const std::string claim = "an unpaired surrogate is refused or replaced by U+FFFD, the text around it kept";
    ProbeTable t(c, "t VARCHAR(20)");
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    // A driver that takes no wide text at all refuses this too, and says nothing of surrogates.
    std::u16string back;
    std::string why;
    if (!wide_round_trip(c, u"ab", back, why) || back != u"ab")
        return result(name, claim, "plain wide text does not round trip: " + (why.empty() ? units_text(back) : why),
                      "cannot run");
    if (!run_sql(c.dbc, "DELETE FROM " + c.table, why)) return result(name, claim, "cannot empty its table: " + why, "cannot run");
    const std::u16string sent = {u'a', char16_t(0xD800), u'b'};
    if (!wide_round_trip(c, sent, back, why)) return result(name, claim, "refused: " + why, "agree");
    const std::u16string replaced = {u'a', char16_t(0xFFFD), u'b'};
    return result(name, claim, "came back as " + units_text(back), back == replaced ? "agree" : "disagree");
}

// A decimal text without its sign's plus, leading zeros or trailing fraction zeros.
std::string canonical(std::string s) {
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    size_t lead = 0;
    while (lead + 1 < s.size() && s[lead] == '0' && s[lead + 1] != '.') ++lead;
    return s.substr(lead);
}

ProbeResult probe_numeric(ProbeContext& c) {
    const char* name = "numeric_precision";
    const int scale = kNumericPrecision / 4;
    const std::string claim = "NUMERIC(" + std::to_string(kNumericPrecision) + "," + std::to_string(scale) +
                              ") keeps every digit";
    ProbeTable t(c, "n NUMERIC(" + std::to_string(kNumericPrecision) + "," + std::to_string(scale) + ")");
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    std::string digits;
    for (int i = 0; i < kNumericPrecision; ++i) digits += static_cast<char>('1' + i % 9);
    const std::string value = digits.substr(0, kNumericPrecision - scale) + "." + digits.substr(kNumericPrecision - scale);
    std::string why, back;
    if (!run_sql(c.dbc, "INSERT INTO " + c.table + " VALUES (" + value + ")", why))
        return result(name, claim, "cannot insert " + value + ": " + why, "disagree");
    if (!query_text(c.dbc, "SELECT n FROM " + c.table, back, why)) return result(name, claim, "cannot read back: " + why, "cannot run");
    const bool same = canonical(back) == canonical(value);
    return result(name, claim, same ? "came back whole" : value + " came back as " + back, same ? "agree" : "disagree");
}

ProbeResult probe_describe(ProbeContext& c) {
    const char* name = "describe_col_sizes";
    const std::string claim = "VARCHAR(17), NUMERIC(9,3), INTEGER are described with sizes 17, 9 (3), 10";
    ProbeTable t(c, "v VARCHAR(17), n NUMERIC(9,3), i INTEGER");
    if (!t.created()) return result(name, claim, t.why(), "cannot run");
    OwnStmt s(c.dbc);
    std::string why;
    if (!s.run("SELECT v, n, i FROM " + c.table, why)) return result(name, claim, "cannot select: " + why, "cannot run");
    std::string observed;
    bool all = true;
    const SQLULEN sizes[] = {17, 9, 10};
    const SQLSMALLINT scales[] = {0, 3, 0};
    for (SQLUSMALLINT col = 1; col <= 3; ++col) {
        char16_t colName[64];
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!SQL_SUCCEEDED(SQLDescribeColW(s.get(), col, reinterpret_cast<SQLWCHAR*>(colName), 64, &nameLength, &type,
                                           &size, &digits, &nullable)))
            return result(name, claim, "SQLDescribeCol failed: " + s.error(), "disagree");
        observed += (col > 1 ? ", " : "") + std::to_string(size) + (col == 2 ? " (" + std::to_string(digits) + ")" : "") +
                    " type " + std::to_string(type);
        all = all && size == sizes[col - 1] && digits == scales[col - 1];
    }
    return result(name, claim, observed, all ? "agree" : "disagree");
}

constexpr ProbeDef kProbes[] = {
    {"getdata_any_order", "SQL_GETDATA_EXTENSIONS: SQLGetData of column 3, then column 1 of one row", probe_getdata_order},
    {"getdata_bound", "SQL_GETDATA_EXTENSIONS: SQLGetData of unbound columns beside a bound one", probe_getdata_bound},
    {"cursor_commit_behavior", "SQL_CURSOR_COMMIT_BEHAVIOR: a prepared statement runs again after a commit", probe_commit},
    {"txn_capable", "SQL_TXN_CAPABLE: a rollback undoes an insert", probe_rollback},
    {"max_column_name_len", "SQL_MAX_COLUMN_NAME_LEN: an alias of that length is described back whole", probe_column_name},
    {"param_array_row_counts", "SQL_PARAM_ARRAY_ROW_COUNTS: an array of 3 parameter sets inserts 3 rows, and SQLRowCount",
     probe_param_array},
    {"row_array_size", "SQL_ATTR_ROW_ARRAY_SIZE: 5 rows fetched 3 at a time come as 3 and 2", probe_row_array},
    {"rowcount_after_select", "SQLRowCount after a SELECT: -1 or the number of rows", probe_rowcount_select},
    {"query_timeout", "SQL_ATTR_QUERY_TIMEOUT: a statement of about 5 s ends after 1 s", probe_timeout},
    {"wide_text_above_ffff", "wide text: U+1F600 inserted and read back as UTF-16", probe_wide_supplementary},
    {"wide_text_invalid", "wide text: an unpaired surrogate is refused or replaced by U+FFFD, its neighbours kept",
     probe_wide_invalid},
    {"numeric_precision", "NUMERIC(38,9): a value of 38 digits read back whole", probe_numeric},
    {"describe_col_sizes", "SQLDescribeCol: sizes and scale of VARCHAR(17), NUMERIC(9,3), INTEGER", probe_describe},
};
}  // namespace

std::span<const ProbeDef> probe_table() { return kProbes; }
