// Executes the records of a sqllogictest file over ODBC and compares what
// comes back, as sqllogictest itself does, with the values read as text.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <unistd.h>

#include <sql.h>
#include <sqlext.h>

#include "isql.h"
#include "isqllaunch.h"
#include "isqlodbc.h"
#include "slt.h"
#include "slt_run.h"
#include "zvunicode.h"

namespace {
constexpr SQLLEN kValueChunkUnits = 4096;  // SQLGetData reads long values in pieces of this

const SQLWCHAR* wide(const std::u16string& s) { return reinterpret_cast<const SQLWCHAR*>(s.c_str()); }

// Every diagnostic record of the handle, "[STATE] message", one per line.
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string out;
    for (const IsqlDiagRecord& r : isql_diag_records(type, handle)) {
        if (!out.empty()) out += '\n';
        out += "[" + r.state + "] " + r.message;
    }
    return out.empty() ? "no diagnostics" : out;
}

// The connection of a child: the environment and connection handles of
// isql_init_odbc (as a session has them, wide text announced as UTF-16), and
// one statement handle reused by every record.
struct Connection {
    SQLHDBC hdbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    bool connected = false;
    ~Connection() {
        if (stmt != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (connected) SQLDisconnect(hdbc);
    }
};

// Connects as the session's command line would: a DSN with user and
// password, or a connect string with them added. Empty, or why not.
std::string connect(Connection& c, const TestSource& source, const std::string& user) {
    if (!isql_init_odbc()) return "the ODBC environment could not be set up";
    c.hdbc = gClientStateList.hdbc;
    const char* fromEnv = std::getenv(kPasswordVariable);
    const std::string password = !user.empty() && fromEnv != nullptr ? fromEnv : "";
    SQLRETURN rc;
    if (!source.dsn.empty()) {
        const std::u16string dsn = utf16_of_utf8(source.dsn), u = utf16_of_utf8(user), p = utf16_of_utf8(password);
        rc = SQLConnectW(c.hdbc, const_cast<SQLWCHAR*>(wide(dsn)), SQL_NTS,
                         user.empty() ? nullptr : const_cast<SQLWCHAR*>(wide(u)), SQL_NTS,
                         user.empty() ? nullptr : const_cast<SQLWCHAR*>(wide(p)), SQL_NTS);
    } else {
        std::string text = source.connect;
        if (!user.empty()) text += ";UID=" + user + ";PWD=" + password;
        const std::u16string s = utf16_of_utf8(text);
        rc = SQLDriverConnectW(c.hdbc, nullptr, const_cast<SQLWCHAR*>(wide(s)), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT);
    }
    if (!SQL_SUCCEEDED(rc)) return diagnostics(SQL_HANDLE_DBC, c.hdbc);
    c.connected = true;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, c.hdbc, &c.stmt))) return diagnostics(SQL_HANDLE_DBC, c.hdbc);
    return {};
}

// The lower-cased first word of SQL_DBMS_NAME.
std::string dbms_word(SQLHDBC dbc) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DBMS_NAME, name, sizeof name, &len))) return {};
    std::string word = utf8_of_utf16(reinterpret_cast<const char16_t*>(name));
    word = word.substr(0, word.find_first_of(" \t"));
    for (char& ch : word) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return word;
}

// What one statement gave: its diagnostics when it failed, else its rows.
struct Result {
    bool failed = false;
    std::string message;
    std::vector<std::string> values;  // converted, row-major
    size_t ncols = 0;
};

void close_cursor(SQLHSTMT stmt) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
}

// Executes sql; with types (a query), reads every row as text and converts
// each value for the column's type letter.
Result run(SQLHSTMT stmt, const std::string& sql, const std::string* types) {
    Result r;
    const std::u16string text = utf16_of_utf8(sql);
    SQLRETURN rc = SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(wide(text)), SQL_NTS);
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
        r.failed = true;
        r.message = diagnostics(SQL_HANDLE_STMT, stmt);
        close_cursor(stmt);
        return r;
    }
    SQLSMALLINT ncols = 0;
    if (types != nullptr && SQL_SUCCEEDED(rc) && !SQL_SUCCEEDED(SQLNumResultCols(stmt, &ncols))) ncols = 0;
    r.ncols = static_cast<size_t>(ncols);
    std::vector<char16_t> chunk(kValueChunkUnits + 1);
    while (types != nullptr && ncols > 0 && SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
        for (SQLUSMALLINT col = 1; col <= static_cast<SQLUSMALLINT>(ncols); ++col) {
            std::u16string value;
            bool null = false;
            for (;;) {
                SQLLEN ind = 0;
                rc = SQLGetData(stmt, col, SQL_C_WCHAR, chunk.data(),
                                static_cast<SQLLEN>(chunk.size() * sizeof(char16_t)), &ind);
                if (rc == SQL_NO_DATA) break;
                if (!SQL_SUCCEEDED(rc)) {
                    r.failed = true;
                    r.message = diagnostics(SQL_HANDLE_STMT, stmt);
                    close_cursor(stmt);
                    return r;
                }
                if (ind == SQL_NULL_DATA) {
                    null = true;
                    break;
                }
                value += chunk.data();
                if (rc == SQL_SUCCESS) break;  // with info (01004): more follows
            }
            const char type = col <= types->size() ? (*types)[col - 1] : 'T';
            r.values.push_back(slt_value(type, null ? std::nullopt : std::optional<std::string>(utf8_of_utf16(value))));
        }
    }
    if (types != nullptr && ncols > 0 && rc != SQL_NO_DATA) {
        r.failed = true;
        r.message = diagnostics(SQL_HANDLE_STMT, stmt);
    }
    close_cursor(stmt);
    return r;
}

bool names(const std::string& engine, const std::string& sltEngine, const std::string& dbms) {
    std::string e = engine;
    for (char& ch : e) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return e == sltEngine || e == dbms;
}

// Whether r runs here: no skipif names the database, every onlyif does (by
// sqllogictest's name or the first word of the database's own).
bool applies(const SltRecord& r, const std::string& sltEngine, const std::string& dbms) {
    for (const SltCondition& c : r.conditions)
        if (c.only != names(c.engine, sltEngine, dbms)) return false;
    return true;
}

// Whether message answers "error PATTERN": any error when it is empty.
bool error_matches(const std::string& pattern, const std::string& message, std::string& why) {
    if (pattern.empty()) return true;
    try {
        return std::regex_search(message, std::regex(pattern));
    } catch (const std::regex_error&) {
        why = "not a valid regular expression: " + pattern;
        return false;
    }
}

std::string one_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

struct Runner {
    const SltFile& file;
    SQLHSTMT stmt;
    std::string engine, dbms;
    RecordMode record;
    SltOutcome out;
    std::vector<std::pair<size_t, std::vector<std::string>>> actual, written;
    std::map<std::string, std::pair<std::string, int>> labels;  // label -> hash of its results, first line
    long long threshold = 0;

    void fail(const SltRecord& r, const std::string& what) {
        out.failures.push_back("line " + std::to_string(r.line) + ": " + what);
    }

    // A record that expects an error got result; true when it passed.
    void expect_error(const SltRecord& r, const Result& result) {
        if (!result.failed) {
            fail(r, r.kind == SltRecord::Kind::Query ? "the query succeeded; an error was expected"
                                                     : "the statement succeeded; an error was expected");
            return;
        }
        std::string why;
        if (!error_matches(r.errorPattern, result.message, why))
            fail(r, why.empty() ? "the error did not match '" + r.errorPattern + "': " + one_line(result.message) : why);
    }

    void query(size_t index, const SltRecord& r) {
        const Result result = run(stmt, r.sql, &r.types);
        if (r.expectError) return expect_error(r, result);
        if (result.failed) return fail(r, "the query failed: " + one_line(result.message));
        if (result.ncols != r.types.size()) {
            fail(r, "the query has " + std::to_string(result.ncols) + " columns, its types say " +
                        std::to_string(r.types.size()));
            return;
        }
        const std::vector<std::string> lines =
            slt_result_lines(r.sort, result.values, result.ncols, threshold, slt_row_layout(r.expected, result.ncols));
        if (!r.label.empty()) check_label(r, result);
        if (r.hasSeparator && lines == r.expected) return;
        actual.emplace_back(index, lines);
        if (record == RecordMode::All || (record == RecordMode::Missing && !r.hasSeparator)) {
            written.emplace_back(index, lines);
            return;
        }
        fail(r, r.hasSeparator ? "the results differ"
                               : "the query has no expected results (--record writes them)");
    }

    // Queries of one label must agree: their sorted values hash alike.
    void check_label(const SltRecord& r, const Result& result) {
        std::vector<std::string> all = slt_result_lines(r.sort, result.values, result.ncols, 0, false);
        std::string joined;
        for (const std::string& v : all) joined += v + "\n";
        const std::string hash = slt_md5_hex(joined);
        const auto [it, first] = labels.try_emplace(r.label, hash, r.line);
        if (!first && it->second.first != hash)
            fail(r, "the results differ from those of label " + r.label + " at line " +
                        std::to_string(it->second.second));
    }

    void run_all() {
        for (size_t i = 0; i < file.records.size(); ++i) {
            const SltRecord& r = file.records[i];
            if (!applies(r, engine, dbms)) continue;
            if (r.kind == SltRecord::Kind::Halt) break;
            if (r.kind == SltRecord::Kind::HashThreshold) {
                threshold = r.threshold;
                continue;
            }
            ++out.ran;
            if (r.kind == SltRecord::Kind::Query) {
                query(i, r);
            } else if (r.expectError) {
                expect_error(r, run(stmt, r.sql, nullptr));
            } else if (const Result result = run(stmt, r.sql, nullptr); result.failed) {
                fail(r, "the statement failed: " + one_line(result.message));
            }
        }
        out.skipped = out.ran == 0 && out.failures.empty();
        out.actual = slt_complete(file, actual);
        if (!written.empty()) out.toWrite = slt_complete(file, written);
    }
};

// Encoding of the outcome: one "key value" line each, text fields with
// their byte count first so that any byte may be in them.
void put(std::string& out, const char* key, const std::string& text) {
    out += key;
    out += ' ' + std::to_string(text.size()) + '\n' + text + '\n';
}

bool take(const std::string& in, size_t& pos, std::string& key, std::string& text) {
    const size_t space = in.find(' ', pos), nl = in.find('\n', pos);
    if (space == std::string::npos || nl == std::string::npos || space > nl) return false;
    key = in.substr(pos, space - pos);
    const size_t n = std::strtoull(in.c_str() + space + 1, nullptr, 10);
    if (nl + 1 + n + 1 > in.size() || in[nl + 1 + n] != '\n') return false;
    text = in.substr(nl + 1, n);
    pos = nl + 1 + n + 1;
    return true;
}

// Writes the encoded outcome to fd; the child's exit status.
int send(const SltOutcome& out, int fd) {
    std::string encoded;
    put(encoded, "engine", out.engine);
    for (const std::string& f : out.failures) put(encoded, "failure", f);
    put(encoded, "actual", out.actual);
    put(encoded, "write", out.toWrite);
    put(encoded, "ran", std::to_string(out.ran));
    put(encoded, "skipped", out.skipped ? "1" : "0");
    put(encoded, "end", "");
    for (size_t done = 0; done < encoded.size();) {
        const ssize_t n = write(fd, encoded.data() + done, encoded.size() - done);
        if (n <= 0) return 1;
        done += static_cast<size_t>(n);
    }
    return 0;
}
}  // namespace

int slt_child(const std::string& path, const TestSource* source, const std::string& user, RecordMode record,
              int fd) {
    SltOutcome out;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    SltFile file;
    std::string why;
    Connection c;
    if (!in) {
        out.failures.push_back("the file cannot be read");
    } else if (!slt_parse(text.str(), file, why)) {
        out.failures.push_back(why);
    } else if (source == nullptr) {
        out.failures.push_back("a sqllogictest file needs a data source: --dsn or --connect");
    } else if (const std::string failed = connect(c, *source, user); !failed.empty()) {
        out.failures.push_back("cannot connect to " + source->label() + ": " + one_line(failed));
    } else {
        Runner runner{file, c.stmt, "", dbms_word(c.hdbc), record, {}, {}, {}, {}};
        // sqllogictest says mysql for MariaDB too.
        runner.engine = runner.dbms == "mariadb" ? "mysql" : runner.dbms;
        runner.out.engine = runner.engine;
        runner.run_all();
        out = std::move(runner.out);
    }
    return send(out, fd);
}

int dbms_probe_child(const TestSource& source, const std::string& user, int fd) {
    SltOutcome out;
    Connection c;
    if (const std::string failed = connect(c, source, user); !failed.empty())
        out.failures.push_back("cannot connect to " + source.label() + ": " + one_line(failed));
    else
        out.engine = dbms_word(c.hdbc);
    return send(out, fd);
}

bool slt_decode(const std::string& bytes, SltOutcome& out) {
    size_t pos = 0;
    std::string key, text;
    while (take(bytes, pos, key, text)) {
        if (key == "engine") out.engine = text;
        else if (key == "failure") out.failures.push_back(text);
        else if (key == "actual") out.actual = text;
        else if (key == "write") out.toWrite = text;
        else if (key == "ran") out.ran = std::strtol(text.c_str(), nullptr, 10);
        else if (key == "skipped") out.skipped = text == "1";
        else if (key == "end") return pos == bytes.size();
    }
    return false;
}
