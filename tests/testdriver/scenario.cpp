// The scenario file of the scripted test driver (wsqltestdrv.cpp)
// ------------------------------------------------------------------
// Found through the data source: the odbc.ini entry of the DSN has the key
// Scenario=<path>. SQLConnect(W) reads it for the DSN it is given;
// SQLDriverConnect(W) takes Scenario= from the connect string, or from the
// DSN= that the string names. Without a scenario every call simply succeeds.
// The file is read again at every connection attempt.
//
// One directive a line; blanks separate operands; "..." quotes an operand
// (escapes \" \\ \t \n \xHH inside quotes); a line starting with # is a
// comment. Keywords and call names are case-insensitive.
//
//   LOG <file>                  append one line per driver call to <file>
//                               ("<connection> <call> [detail]"), anywhere
//   CONNECTION <n> | *          the lines up to the next CONNECTION script the
//                               n-th connection attempt of the process (every
//                               SQLConnect/SQLDriverConnect counts, from 1), or
//                               each attempt without a section of its own (*).
//                               Lines before the first CONNECTION belong to *.
//                               A connection uses exactly one section.
//   STATEMENT <n> | *           the lines up to the next STATEMENT or
//                               CONNECTION script the n-th statement of the
//                               connection (each SQLPrepare and catalog call
//                               starts the next one), or any other statement.
//   <call>[#k] <code>           the call returns <code> (every time, or only
//                               at its k-th call, counted per statement for
//                               statement calls, per connection for the
//                               others). A
//                               failure code skips what the call would do; a
//                               success code (SUCCESS_WITH_INFO, NO_DATA...)
//                               does it and returns <code>. Rules of the
//                               connection part apply to all its statements
//                               unless the statement has one for that call.
//                               Calls: SQLConnect (also SQLDriverConnect),
//                               SQLDisconnect, SQLEndTran (also SQLTransact),
//                               SQLSetConnectAttr (also SQLSetConnectOption),
//                               SQLAllocStmt, SQLSetStmtAttr, SQLPrepare,
//                               SQLExecute, SQLTables, SQLColumns,
//                               SQLStatistics, SQLNumResultCols,
//                               SQLDescribeCol, SQLRowCount, SQLFetch,
//                               SQLGetData, SQLMoreResults, SQLParamData,
//                               SQLFreeStmt (dropping the handle, also by
//                               SQLFreeHandle). A trailing W is allowed.
//                               Codes: SUCCESS, SUCCESS_WITH_INFO, ERROR,
//                               INVALID_HANDLE, NO_DATA, NEED_DATA or a number.
//   DIAG <state> <native> <message>...
//                               a diagnostic record queued on the handle each
//                               time the call of the rule above applies; the
//                               message is its operands joined without blanks
//   UNSUPPORTED MORERESULTS     SQLGetFunctions denies SQLMoreResults
//   UNSUPPORTED DATAATEXEC      executing with a data-at-execution parameter
//                               fails with HYC00
//   RESULT                      starts the next result of the statement; the
//                               first is current after execution (and, for
//                               the column description, after prepare);
//                               SQLMoreResults moves on to the next
//   COLUMN <name> <type> <size> [<digits> [<nullable>]]
//                               a column of the result; <type> is an SQL type
//                               name (VARCHAR, WLONGVARCHAR, TYPE_TIMESTAMP..)
//                               or a number (-12, 0, -11...)
//   COLUMNS <count> <type> <size>  <count> columns named C1, C2...
//   GETDATA <mode>              how SQLGetData hands out the values of the
//                               column above: LENGTH (the remaining length,
//                               the default), NOTOTAL (SQL_NO_TOTAL while more
//                               is to come), NTS (SQL_NTS always), NODATA
//                               (SQL_NO_DATA at every call)
//   ROW <value>...              one row, one value per column
//   INDICATORS <ind>...         the indicators SQLFetch reports for the row
//                               above: a number, NTS, NOTOTAL, NULL_DATA, or
//                               - for the real one
//   ROWCOUNT <n>                what SQLRowCount answers for the result
//                               (default -1, or 0 for a result without
//                               columns: a row count)
//
// Values, column names and message pieces: NULL (unquoted) is the null value;
// REPEAT:<count>:<text> (unquoted) is <text> repeated; anything else is the
// text itself. A value is converted to the C type the application asks for:
// numbers, dates ("2024-01-31"), times ("13:45:00"), timestamps
// ("2024-01-31 13:45:00.5"), character, wide (UTF-16) and binary (the bytes
// of the text). A column of type -12 is self-describing: its values are
// written "<sqltype>:<value>" and SQL_C_DEFAULT receives the type code in the
// first two bytes and the value from byte 8.
//
// Built-in behaviour follows ODBC: diagnostics are cleared at each call on a
// handle; truncated text gives SQL_SUCCESS_WITH_INFO with 01004; SQLFetch
// honours SQL_ATTR_MAX_ROWS; data at execution goes through SQLParamData and
// SQLPutData; each connection counts its statements from 1.

#include "scenario.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace wsqltestdrv {

namespace {

// Splits one scenario line into operands; quoted operands keep their blanks
// and are marked so that NULL and REPEAT: are taken literally in them.
struct Token {
  std::string text;
  bool quoted = false;
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool tokenize(const std::string& line, std::vector<Token>& out, std::string& error) {
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') { ++i; continue; }
    Token tok;
    if (line[i] == '"') {
      tok.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char c = line[i++];
        if (c == '"') { closed = true; break; }
        if (c != '\\' || i >= line.size()) { tok.text += c; continue; }
        char e = line[i++];
        if (e == 'n') tok.text += '\n';
        else if (e == 't') tok.text += '\t';
        else if (e == 'x' && i + 1 < line.size() && hexDigit(line[i]) >= 0 && hexDigit(line[i + 1]) >= 0) {
          tok.text += static_cast<char>(hexDigit(line[i]) * 16 + hexDigit(line[i + 1]));
          i += 2;
        } else tok.text += e;
      }
      if (!closed) { error = "unterminated quote"; return false; }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') tok.text += line[i++];
    }
    out.push_back(tok);
  }
  return true;
}

}  // namespace

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

namespace {

bool parseLong(const std::string& s, long& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long r = std::strtoll(s.c_str(), &end, 10);
  if (*end != '\0' || errno != 0) return false;
  v = static_cast<long>(r);
  return true;
}

// Expands NULL and REPEAT:<count>:<text> in an unquoted operand.
bool expandValue(const Token& tok, Value& v, std::string& error) {
  v = Value{};
  if (tok.quoted) { v.text = tok.text; return true; }
  if (tok.text == "NULL") { v.null = true; return true; }
  if (tok.text.rfind("REPEAT:", 0) == 0) {
    size_t colon = tok.text.find(':', 7);
    long count = 0;
    if (colon == std::string::npos || !parseLong(tok.text.substr(7, colon - 7), count) || count < 0 ||
        count > 100000000) {
      error = "bad REPEAT:<count>:<text>";
      return false;
    }
    std::string piece = tok.text.substr(colon + 1);
    v.text.reserve(piece.size() * static_cast<size_t>(count));
    for (long k = 0; k < count; ++k) v.text += piece;
    return true;
  }
  v.text = tok.text;
  return true;
}

bool parseCode(const std::string& s, SQLRETURN& code) {
  static const std::map<std::string, SQLRETURN> names = {
      {"SUCCESS", SQL_SUCCESS},     {"SUCCESS_WITH_INFO", SQL_SUCCESS_WITH_INFO},
      {"ERROR", SQL_ERROR},         {"INVALID_HANDLE", SQL_INVALID_HANDLE},
      {"NO_DATA", SQL_NO_DATA},     {"NEED_DATA", SQL_NEED_DATA},
      {"STILL_EXECUTING", SQL_STILL_EXECUTING}};
  std::string u = upper(s);
  if (u.rfind("SQL_", 0) == 0) u = u.substr(4);
  auto it = names.find(u);
  if (it != names.end()) { code = it->second; return true; }
  long v = 0;
  if (!parseLong(s, v)) return false;
  code = static_cast<SQLRETURN>(v);
  return true;
}

bool parseType(const std::string& s, SQLSMALLINT& type) {
  static const std::map<std::string, SQLSMALLINT> names = {
      {"CHAR", SQL_CHAR},           {"VARCHAR", SQL_VARCHAR},
      {"LONGVARCHAR", SQL_LONGVARCHAR}, {"WCHAR", SQL_WCHAR},
      {"WVARCHAR", SQL_WVARCHAR},   {"WLONGVARCHAR", SQL_WLONGVARCHAR},
      {"NUMERIC", SQL_NUMERIC},     {"DECIMAL", SQL_DECIMAL},
      {"INTEGER", SQL_INTEGER},     {"SMALLINT", SQL_SMALLINT},
      {"BIGINT", SQL_BIGINT},       {"TINYINT", SQL_TINYINT},
      {"BIT", SQL_BIT},             {"REAL", SQL_REAL},
      {"FLOAT", SQL_FLOAT},         {"DOUBLE", SQL_DOUBLE},
      {"DATE", SQL_DATE},           {"TIME", SQL_TIME},
      {"TIMESTAMP", SQL_TIMESTAMP}, {"TYPE_DATE", SQL_TYPE_DATE},
      {"TYPE_TIME", SQL_TYPE_TIME}, {"TYPE_TIMESTAMP", SQL_TYPE_TIMESTAMP},
      {"BINARY", SQL_BINARY},       {"VARBINARY", SQL_VARBINARY},
      {"LONGVARBINARY", SQL_LONGVARBINARY}};
  std::string u = upper(s);
  if (u.rfind("SQL_", 0) == 0) u = u.substr(4);
  auto it = names.find(u);
  if (it != names.end()) { type = it->second; return true; }
  long v = 0;
  if (!parseLong(s, v) || v < -32768 || v > 32767) return false;
  type = static_cast<SQLSMALLINT>(v);
  return true;
}

bool parseIndicator(const std::string& s, std::optional<SQLLEN>& ind) {
  std::string u = upper(s);
  if (u == "-") { ind.reset(); return true; }
  if (u == "NTS") { ind = SQL_NTS; return true; }
  if (u == "NOTOTAL" || u == "NO_TOTAL") { ind = SQL_NO_TOTAL; return true; }
  if (u == "NULL_DATA" || u == "NULL") { ind = SQL_NULL_DATA; return true; }
  long v = 0;
  if (!parseLong(s, v)) return false;
  ind = v;
  return true;
}

}  // namespace

std::string canonicalCall(const std::string& name) {
  std::string u = upper(name);
  if (u.size() > 4 && u.back() == 'W') u.pop_back();
  if (u == "SQLDRIVERCONNECT") return "SQLCONNECT";
  if (u == "SQLTRANSACT") return "SQLENDTRAN";
  if (u == "SQLSETCONNECTOPTION") return "SQLSETCONNECTATTR";
  if (u == "SQLFREEHANDLE") return "SQLFREESTMT";
  static const char* known[] = {"SQLCONNECT",     "SQLDISCONNECT",  "SQLENDTRAN",    "SQLSETCONNECTATTR",
                                "SQLALLOCSTMT",   "SQLSETSTMTATTR", "SQLPREPARE",    "SQLEXECUTE",
                                "SQLTABLES",      "SQLCOLUMNS",     "SQLSTATISTICS", "SQLNUMRESULTCOLS",
                                "SQLDESCRIBECOL", "SQLROWCOUNT",    "SQLFETCH",      "SQLGETDATA",
                                "SQLMORERESULTS", "SQLPARAMDATA",   "SQLFREESTMT"};
  for (const char* k : known)
    if (u == k) return u;
  return "";
}

bool loadScenario(const std::string& path, Scenario& sc, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) { error = "cannot open scenario file " + path; return false; }
  ConnectionScript* conn = &sc.anyConnection;
  StatementScript* stmt = nullptr;  // null: the connection part
  Result* result = nullptr;
  Rule* rule = nullptr;
  std::string line;
  long lineNo = 0;
  auto fail = [&](const std::string& why) {
    error = path + ":" + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    std::vector<Token> toks;
    std::string terr;
    if (!tokenize(line, toks, terr)) return fail(terr);
    if (toks.empty() || (!toks[0].quoted && toks[0].text[0] == '#')) continue;
    const std::string kw = upper(toks[0].text);
    const size_t n = toks.size();
    long num = 0;
    if (kw == "LOG" && n == 2) {
      sc.logPath = toks[1].text;
    } else if (kw == "CONNECTION" && n == 2) {
      if (toks[1].text == "*") conn = &sc.anyConnection;
      else if (parseLong(toks[1].text, num) && num > 0) conn = &sc.connections[num];
      else return fail("CONNECTION needs a number or *");
      stmt = nullptr, result = nullptr, rule = nullptr;
    } else if (kw == "STATEMENT" && n == 2) {
      if (toks[1].text == "*") {
        if (!conn->anyStatement) conn->anyStatement.emplace();
        stmt = &*conn->anyStatement;
      } else if (parseLong(toks[1].text, num) && num > 0) {
        stmt = &conn->statements[num];
      } else {
        return fail("STATEMENT needs a number or *");
      }
      result = nullptr, rule = nullptr;
    } else if (kw == "DIAG" && n >= 4) {
      if (!rule) return fail("DIAG without a call line above it");
      Diag d;
      d.state = toks[1].text;
      if (d.state.size() != 5) return fail("SQLSTATE must have five characters");
      if (!parseLong(toks[2].text, num)) return fail("bad native error code");
      d.native = static_cast<SQLINTEGER>(num);
      for (size_t k = 3; k < n; ++k) {
        Value v;
        if (!expandValue(toks[k], v, terr)) return fail(terr);
        d.message += v.null ? "NULL" : v.text;
      }
      rule->diags.push_back(d);
    } else if (kw == "UNSUPPORTED" && n == 2) {
      std::string what = upper(toks[1].text);
      if (what == "MORERESULTS") conn->moreResults = false;
      else if (what == "DATAATEXEC") conn->dataAtExec = false;
      else return fail("UNSUPPORTED MORERESULTS or DATAATEXEC");
    } else if (kw == "RESULT" && n == 1) {
      if (!stmt) return fail("RESULT outside a STATEMENT section");
      stmt->results.emplace_back();
      result = &stmt->results.back();
      rule = nullptr;
    } else if ((kw == "COLUMN" && n >= 4 && n <= 6) || (kw == "COLUMNS" && n == 4)) {
      if (!result) return fail(kw + " outside a RESULT");
      Column c;
      long size = 0;
      if (!parseType(toks[2].text, c.type)) return fail("bad SQL type");
      if (!parseLong(toks[3].text, size) || size < 0) return fail("bad column size");
      c.size = static_cast<SQLULEN>(size);
      if (kw == "COLUMNS") {
        long count = 0;
        if (!parseLong(toks[1].text, count) || count < 0 || count > 100000) return fail("bad column count");
        for (long k = 1; k <= count; ++k) {
          c.name = "C" + std::to_string(k);
          result->columns.push_back(c);
        }
        continue;
      }
      Value name;
      if (!expandValue(toks[1], name, terr)) return fail(terr);
      c.name = name.text;
      if (n >= 5) {
        if (!parseLong(toks[4].text, num)) return fail("bad decimal digits");
        c.digits = static_cast<SQLSMALLINT>(num);
      }
      if (n == 6) {
        if (!parseLong(toks[5].text, num)) return fail("bad nullability");
        c.nullable = static_cast<SQLSMALLINT>(num);
      }
      result->columns.push_back(c);
    } else if (kw == "GETDATA" && n == 2) {
      if (!result || result->columns.empty()) return fail("GETDATA without a COLUMN above it");
      std::string m = upper(toks[1].text);
      GetDataMode& mode = result->columns.back().getData;
      if (m == "LENGTH") mode = GetDataMode::Length;
      else if (m == "NOTOTAL") mode = GetDataMode::NoTotal;
      else if (m == "NTS") mode = GetDataMode::Nts;
      else if (m == "NODATA") mode = GetDataMode::NoData;
      else return fail("GETDATA LENGTH, NOTOTAL, NTS or NODATA");
    } else if (kw == "ROW") {
      if (!result) return fail("ROW outside a RESULT");
      if (n - 1 != result->columns.size()) return fail("ROW needs one value per column");
      Row r;
      for (size_t k = 1; k < n; ++k) {
        Value v;
        if (!expandValue(toks[k], v, terr)) return fail(terr);
        r.values.push_back(v);
      }
      r.indicators.resize(r.values.size());
      result->rows.push_back(r);
    } else if (kw == "INDICATORS") {
      if (!result || result->rows.empty()) return fail("INDICATORS without a ROW above it");
      Row& r = result->rows.back();
      if (n - 1 != r.values.size()) return fail("INDICATORS needs one operand per column");
      for (size_t k = 1; k < n; ++k)
        if (!parseIndicator(toks[k].text, r.indicators[k - 1])) return fail("bad indicator");
    } else if (kw == "ROWCOUNT" && n == 2) {
      if (!result) return fail("ROWCOUNT outside a RESULT");
      if (!parseLong(toks[1].text, num)) return fail("bad row count");
      result->rowCount = num;
    } else if (!canonicalCall(toks[0].text.substr(0, toks[0].text.find('#'))).empty() && n == 2) {
      Rule r;
      size_t hash = toks[0].text.find('#');
      r.call = canonicalCall(toks[0].text.substr(0, hash));
      if (hash != std::string::npos && (!parseLong(toks[0].text.substr(hash + 1), r.nth) || r.nth < 1))
        return fail("bad call count after #");
      if (!parseCode(toks[1].text, r.code)) return fail("bad return code");
      std::vector<Rule>& rules = stmt ? stmt->rules : conn->rules;
      rules.push_back(r);
      rule = &rules.back();
      result = nullptr;
    } else {
      return fail("unknown or malformed line: " + toks[0].text);
    }
  }
  return true;
}

}  // namespace wsqltestdrv
