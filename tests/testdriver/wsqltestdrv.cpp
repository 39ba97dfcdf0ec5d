// wsqltestdrv: a small ODBC driver whose behaviour is scripted by a scenario
// file, loaded by the real unixODBC driver manager in golden cases. It exists
// only for the paths that real drivers do not take on demand: warnings from
// calls that normally succeed, lost connections, odd diagnostics, odd
// indicators, huge column counts. The scenario format is in README.md.
//
// Every call on a connection or statement goes through call(): it is logged,
// counted and answered by the scenario's rule for it, if any. The driver
// manager validates handles and the order of calls before they reach us, and
// wsql asks only for columns and rows that exist, so none of it is checked
// here again.

#include <iconv.h>
#include <odbcinst.h>
#include <sqlext.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <list>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// A column of this SQL type is self-describing: its values are written
// "<sqltype>:<value>", and SQL_C_DEFAULT receives the type code in the first
// two bytes and the value from byte 8.
constexpr SQLSMALLINT kVariant = -12;

// ------------------------------------------------------------- scenario

struct Diag {
  std::string state, text;
  SQLINTEGER native;
};

struct Rule {
  std::string call;  // as logged, without a trailing W
  long nth;          // 0: every call
  SQLRETURN code;
  std::vector<Diag> diags = {};
  long delayMs = 0;  // the call takes this long
  bool crash = false;  // the call ends the process with SIGABRT
};

struct Column {
  std::string name, getData;  // getData: "", NOTOTAL, NTS or NODATA
  SQLSMALLINT type;
  SQLULEN size;
};

using Value = std::optional<std::string>;  // nullopt: NULL

struct Row {
  std::vector<Value> values;
  std::vector<std::optional<SQLLEN>> indicators;  // scripted overrides
};

struct Result {
  std::vector<Column> columns;
  std::vector<Row> rows;
  SQLLEN rowCount = -1;
};

struct Section {
  std::vector<Rule> rules;
  std::vector<Result> results;
  bool noMoreResults = false;
  SQLUINTEGER getInfo = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER;  // SQLGetInfo's answer
  std::map<SQLUSMALLINT, std::string> infoText;   // per info type: wide text answers
  std::map<SQLUSMALLINT, SQLUINTEGER> infoNumber; // per info type: 32-bit answers
};

// Statement sections chosen by text: the first whose text the prepared
// statement contains, before any numbered one.
struct Matching {
  long conn;
  std::string text;
  long key;  // its statement key in Sections (below -1)
};

// The scenario by (connection, statement): connection 0 is "*"; statement -1
// is the connection part, 0 is "*".
using Sections = std::map<std::pair<long, long>, Section>;

// A number, or one of the names of return codes, SQL types and indicators.
long number(const std::string& s) {
  static const std::map<std::string, long> names = {
      {"ERROR", SQL_ERROR}, {"SUCCESS_WITH_INFO", SQL_SUCCESS_WITH_INFO}, {"NO_DATA", SQL_NO_DATA}, {"NTS", SQL_NTS},
      {"INTEGER", SQL_INTEGER}, {"VARCHAR", SQL_VARCHAR}, {"WVARCHAR", SQL_WVARCHAR}, {"LONGVARCHAR", SQL_LONGVARCHAR},
      {"WLONGVARCHAR", SQL_WLONGVARCHAR}, {"LONGVARBINARY", SQL_LONGVARBINARY}, {"NOTOTAL", SQL_NO_TOTAL}};
  auto it = names.find(s);
  return it != names.end() ? it->second : std::stol(s);
}

// The operands of a line: blanks separate them, "..." quotes one. Unquoted,
// NULL is the null value and REPEAT:<count>:<text> is <text> repeated.
std::vector<Value> split(const std::string& line) {
  std::vector<Value> out;
  std::istringstream in(line);
  for (std::string text; (in >> std::ws).peek() != EOF;) {
    bool quoted = in.peek() == '"';
    in >> std::quoted(text);
    out.push_back(quoted || text != "NULL" ? Value(text) : std::nullopt);
    size_t colon = text.find(':', 7);
    if (quoted || !text.starts_with("REPEAT:") || colon == std::string::npos) continue;
    out.back() = "";
    for (long k = number(text.substr(7, colon - 7)); k > 0; --k) out.back()->append(text, colon + 1);
  }
  return out;
}

template <class T>
T& last(std::vector<T>& v, const char* fault) {
  return v.empty() ? throw std::runtime_error(fault) : v.back();
}

// Reads the scenario at `path` into `log` (the LOG file) and `sections`.
// Returns what keeps it from parsing, with the file and line, or "".
std::string load(const std::string& path, std::string& log, Sections& sections, std::vector<Matching>& matching) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open scenario file " + path;
  long conn = 0, lineNo = 0;
  Section* sec = &sections[{0, -1}];
  for (std::string line; ++lineNo, std::getline(in, line);) try {
      const std::vector<Value> t = split(line);
      auto arg = [&](size_t i) {
        if (i >= t.size()) throw std::runtime_error("missing operand");
        return t[i].value_or("NULL");
      };
      const std::string kw = t.empty() ? "#" : arg(0);
      auto result = [&]() -> Result& { return last(sec->results, "outside a RESULT"); };
      if (kw[0] == '#') {
      } else if (kw == "LOG") {
        log = arg(1);
      } else if (kw == "CONNECTION") {
        sec = &sections[{conn = number(arg(1)), -1}];
      } else if (kw == "STATEMENT") {
        sec = &sections[{conn, arg(1) == "*" ? 0 : number(arg(1))}];
      } else if (kw == "NOMORERESULTS") {
        sections[{conn, -1}].noMoreResults = true;
      } else if (kw == "GETINFO" && t.size() > 2) {
        sections[{conn, -1}].infoNumber[static_cast<SQLUSMALLINT>(number(arg(1)))] = static_cast<SQLUINTEGER>(number(arg(2)));
      } else if (kw == "GETINFOTEXT") {
        sections[{conn, -1}].infoText[static_cast<SQLUSMALLINT>(number(arg(1)))] = arg(2);
      } else if (kw == "GETINFO") {
        sections[{conn, -1}].getInfo = static_cast<SQLUINTEGER>(number(arg(1)));
      } else if (kw == "MATCHING") {
        const long key = -2 - static_cast<long>(matching.size());
        matching.push_back({conn, arg(1), key});
        sec = &sections[{conn, key}];
      } else if (kw == "CRASH") {
        last(sec->rules, "CRASH without a call line above it").crash = true;
      } else if (kw == "DIAG") {
        Diag d{arg(1), "", static_cast<SQLINTEGER>(number(arg(2)))};
        for (size_t k = 3; k < t.size(); ++k) d.text += arg(k);
        last(sec->rules, "DIAG without a call line above it").diags.push_back(d);
      } else if (kw == "DELAY") {
        last(sec->rules, "DELAY without a call line above it").delayMs = number(arg(1));
      } else if (kw == "RESULT") {
        sec->results.emplace_back();
      } else if (kw == "COLUMN" || kw == "COLUMNS") {
        Column c{arg(1), t.size() > 4 ? arg(4) : "", static_cast<SQLSMALLINT>(number(arg(2))),
                 static_cast<SQLULEN>(number(arg(3)))};
        for (long k = 1; kw == "COLUMNS" && k <= number(arg(1)); ++k)
          c.name = "C" + std::to_string(k), result().columns.push_back(c);
        if (kw == "COLUMN") result().columns.push_back(c);
      } else if (kw == "ROW") {
        if (t.size() - 1 != result().columns.size()) throw std::runtime_error("ROW needs one value per column");
        result().rows.push_back({{t.begin() + 1, t.end()}, std::vector<std::optional<SQLLEN>>(t.size() - 1)});
      } else if (kw == "INDICATORS") {
        for (size_t k = 1; k < t.size(); ++k)
          if (arg(k) != "-") last(result().rows, "INDICATORS without a ROW").indicators.at(k - 1) = number(arg(k));
      } else if (kw == "ROWCOUNT") {
        result().rowCount = number(arg(1));
      } else if (kw.starts_with("SQL")) {
        size_t hash = kw.find('#');
        long nth = hash == std::string::npos ? 0 : number(kw.substr(hash + 1));
        sec->rules.push_back({kw.substr(0, hash), nth, static_cast<SQLRETURN>(number(arg(1)))});
      } else {
        throw std::runtime_error("unknown line: " + kw);
      }
    } catch (const std::exception& e) {
      return path + ":" + std::to_string(lineNo) + ": " + e.what();
    }
  return "";
}

// ----------------------------------------------------------------- text

// Converts between UTF-8, the scenario's text, and the UTF-16 of the wide
// calls, as bytes.
std::string convert(const std::string& in, bool toWide) {
  const char* wide = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  iconv_t cd = toWide ? iconv_open(wide, "UTF-8") : iconv_open("UTF-8", wide);
  std::string out(2 * in.size(), '\0');
  char *from = const_cast<char*>(in.data()), *to = out.data();
  size_t fromLeft = in.size(), toLeft = out.size();
  iconv(cd, &from, &fromLeft, &to, &toLeft);
  iconv_close(cd);
  return out.substr(0, out.size() - toLeft);
}

// The text of a wide argument of `len` characters or SQL_NTS; "(null)" for a
// null pointer.
std::string narrow(const SQLWCHAR* s, long len) {
  if (!s) return "(null)";
  if (len == SQL_NTS) len = std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(s));
  return convert(std::string(reinterpret_cast<const char*>(s), std::max(len, 0L) * 2), false);
}

// Copies `text` into a wide buffer of `room` characters, cut and terminated;
// `len` gets the full length. Returns whether it was cut.
bool putWide(const std::string& text, SQLWCHAR* out, long room, SQLSMALLINT* len) {
  std::string w = convert(text, true);
  size_t chars = w.size() / 2, n = room > 0 ? std::min<size_t>(chars, room - 1) : 0;
  if (len) *len = static_cast<SQLSMALLINT>(chars);
  if (out && room > 0) std::memcpy(out, w.data(), n * 2), out[n] = 0;
  return n < chars;
}

// -------------------------------------------------------------- handles

struct Dbc;

const Section kNoScript;

struct Handle {
  Dbc* dbc = nullptr;                   // the connection of a connection or statement
  const Section* script = &kNoScript;  // the connection part, or the statement's section
  std::vector<Diag> diags;
  std::map<std::string, long> calls;  // per rule name, for <call>#k
};

struct Binding {
  SQLSMALLINT ctype;
  SQLPOINTER buffer;
  SQLLEN length;
  SQLLEN* indicator;
};

struct Stmt : Handle {
  explicit Stmt(Dbc* d) { dbc = d; }
  size_t result = 0;  // the current result
  long row = -1;      // its current row, -1 before the first
  std::map<SQLUSMALLINT, Binding> columns, params;
  std::map<SQLUSMALLINT, size_t> got;  // SQLGetData: bytes handed out, npos when done
  const Result* current() const { return result < script->results.size() ? &script->results[result] : nullptr; }
};

struct Dbc : Handle {
  Dbc() { dbc = this; }
  long number = 0, conn = 0, statements = 0;  // attempt of the process, its section, statements begun
  std::string log;
  Sections sections;
  std::vector<Matching> matching;
  std::list<Stmt> stmts;
};

// Connection attempts of the whole process: the library stays loaded
// (DontDLClose), so it counts across connections.
long gConnectionAttempts = 0;

template <class T>
T& as(SQLHANDLE h) { return static_cast<T&>(*static_cast<Handle*>(h)); }

SQLRETURN diag(Handle& h, SQLRETURN code, const char* state, const std::string& text) {
  return h.diags.push_back({state, "[wsqltestdrv]" + text, 0}), code;
}

SQLRETURN truncated(Handle& h) { return diag(h, SQL_SUCCESS_WITH_INFO, "01004", "String data, right truncated"); }

SQLRETURN ok() { return SQL_SUCCESS; }

SQLRETURN none(Handle&) { return SQL_SUCCESS; }

// Clears the diagnostics of the handle, logs the call (`detail` starts with a
// blank) and applies its rule, if any: the statement's, else the
// connection's, which alone reaches a statement before its first SQLPrepare
// or catalog call. A failure code ends the call there; otherwise `body` does its
// work, and a success code of the rule replaces a plain SQL_SUCCESS.
template <class T, class F>
SQLRETURN call(SQLHANDLE handle, std::string name, F body, const std::string& detail = "") {
  T& h = as<T>(handle);
  Dbc& d = *h.dbc;
  h.diags.clear();
  if (FILE* f = d.log.empty() ? nullptr : std::fopen(d.log.c_str(), "a"))
    std::fprintf(f, "%ld %s%s\n", d.number, name.c_str(), detail.c_str()), std::fclose(f);
  if (name.back() == 'W') name.pop_back();
  long count = ++h.calls[name];
  const Rule* rule = nullptr;
  for (const Section* sec : {h.script, d.script})
    for (const Rule& r : sec->rules)
      if (!rule && r.call == name && (r.nth == 0 || r.nth == count)) rule = &r;
  if (!rule) return body(h);
  if (rule->delayMs > 0) usleep(static_cast<useconds_t>(rule->delayMs * 1000));
  if (rule->crash) __builtin_trap();  // SIGILL: a crash that no sanitizer takes for a finding
  h.diags.insert(h.diags.end(), rule->diags.begin(), rule->diags.end());
  if (!SQL_SUCCEEDED(rule->code) && rule->code != SQL_NO_DATA) return rule->code;
  SQLRETURN code = rule->code, rc = body(h);  // body may free h
  return rc == SQL_SUCCESS ? code : rc;
}

// Counts the attempt, loads the scenario of the data source that the
// connect string names and runs the scripted connect.
SQLRETURN connectTo(SQLHDBC h, const std::string& str) {
  Dbc& d = as<Dbc>(h);
  // The value of DSN= (the whole text when there is none, which names no
  // data source).
  std::string dsn = std::regex_replace(str, std::regex("^(.*;)?DSN=([^;]*).*$", std::regex::icase), "$2");
  char scenario[4096] = "";
  SQLGetPrivateProfileString(dsn.c_str(), "Scenario", "", scenario, sizeof scenario, "odbc.ini");
  d.number = ++gConnectionAttempts;
  d.calls.clear(), d.diags.clear(), d.statements = 0, d.script = &kNoScript, d.log.clear(), d.sections.clear();
  d.matching.clear();
  if (std::string fault = load(scenario, d.log, d.sections, d.matching); !fault.empty()) return diag(d, SQL_ERROR, "HY000", fault);
  d.conn = d.sections.count({d.number, -1}) ? d.number : 0;
  d.script = &d.sections[{d.conn, -1}];
  return call<Dbc>(h, "SQLConnect", none, " " + str);
}

// ----------------------------------------------------------- statements

SQLRETURN start(Stmt& s) { return s.result = 0, s.row = -1, s.got.clear(), ok(); }

// Makes `s` the next statement of its connection, with its section, and
// runs the call `name` that starts it.
SQLRETURN begin(SQLHSTMT h, const char* name, const std::string& detail) {
  Stmt& s = as<Stmt>(h);
  auto& secs = s.dbc->sections;
  long conn = s.dbc->conn, n = ++s.dbc->statements, key = secs.count({conn, n}) ? n : 0;
  for (const Matching& m : s.dbc->matching)
    if ((m.conn == conn || m.conn == 0) && detail.find(m.text) != std::string::npos) {
      key = m.key, conn = m.conn;
      break;
    }
  s.script = &secs[{conn, key}];
  s.calls.clear(), start(s);
  return call<Stmt>(h, name, none, detail);
}

// The catalog, schema and table arguments of a catalog call, for the log.
std::string names(SQLWCHAR* cat, SQLSMALLINT catN, SQLWCHAR* sch, SQLSMALLINT schN, SQLWCHAR* tab, SQLSMALLINT tabN) {
  return " " + narrow(cat, catN) + " " + narrow(sch, schN) + " " + narrow(tab, tabN) + " ";
}

// ---------------------------------------------------------------- values

// The bytes of a fixed-size C type, whose codes are those of the SQL types
// that SQL_C_DEFAULT gives them; empty for other types.
std::string fixed(SQLSMALLINT ctype, const std::string& text) {
  auto raw = [](const auto& v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); };
  if (ctype == SQL_C_LONG) return raw(static_cast<SQLINTEGER>(std::atol(text.c_str())));
  if (ctype == SQL_C_SHORT) return raw(static_cast<SQLSMALLINT>(std::atol(text.c_str())));
  if (ctype == SQL_C_SBIGINT) return raw(static_cast<SQLBIGINT>(std::atoll(text.c_str())));
  if (ctype != SQL_C_TYPE_TIMESTAMP) return "";
  SQL_TIMESTAMP_STRUCT v{};
  double second = 0;
  std::sscanf(text.c_str(), "%hd-%hu-%hu %hu:%hu:%lf", &v.year, &v.month, &v.day, &v.hour, &v.minute, &second);
  v.second = static_cast<SQLUSMALLINT>(second), v.fraction = static_cast<SQLUINTEGER>((second - v.second) * 1e9 + 0.5);
  return raw(v);
}

// Delivers a value as C type `ctype` from byte `offset` of it on, which it
// advances: fixed-size values come whole, others in pieces as the buffer
// allows. Sets the indicator; returns whether some is left.
bool put(const Column& c, const Value& v, SQLSMALLINT ctype, SQLPOINTER buf, SQLLEN length, size_t& offset,
         SQLLEN& ind) {
  if (!v) return ind = SQL_NULL_DATA, false;
  std::string bytes = fixed(ctype, *v);
  if (!bytes.empty()) return std::memcpy(buf, bytes.data(), ind = bytes.size()), false;
  bytes = ctype == SQL_C_WCHAR ? convert(*v, true) : *v;
  if (ctype == SQL_C_DEFAULT && c.type == kVariant) {
    // The type code is the number before the colon.
    std::string rest = v->substr(v->find(':') + 1), val = fixed(std::atoi(v->c_str()), rest);
    bytes = fixed(SQL_C_SHORT, *v).append(6, '\0') + (val.empty() ? rest + '\0' : val);
    ctype = SQL_C_BINARY;
  }
  const size_t unit = ctype == SQL_C_WCHAR ? 2 : 1, term = ctype == SQL_C_BINARY ? 0 : unit;
  const size_t left = ind = bytes.size() - offset, n = std::min(left, (length - term) / unit * unit);
  std::memcpy(buf, bytes.data() + offset, n), std::memset(static_cast<char*>(buf) + n, 0, term);
  offset += n;
  return n < left;
}

}  // namespace

// ================================================== exported entry points

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  // An environment is a connection that never connects.
  if (type != SQL_HANDLE_STMT) return *output = static_cast<Handle*>(new Dbc), SQL_SUCCESS;
  *output = SQL_NULL_HSTMT;
  return call<Dbc>(input, "SQLAllocHandle",
                   [&](Dbc& d) { return *output = static_cast<Handle*>(&d.stmts.emplace_back(&d)), ok(); });
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  if (type != SQL_HANDLE_STMT) return delete &as<Dbc>(h), SQL_SUCCESS;
  return call<Stmt>(h, "SQLFreeHandle",
                    [](Stmt& s) { return s.dbc->stmts.remove_if([&](Stmt& x) { return &x == &s; }), ok(); });
}

// The driver manager sets the ODBC version here; without it, it warns that
// the driver does not support the version.
SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) { return SQL_SUCCESS; }

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
  if (option == SQL_UNBIND) as<Stmt>(h).columns.clear();
  return call<Stmt>(h, "SQLFreeStmt", none);
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC h, SQLWCHAR* dsn, SQLSMALLINT dsnLen, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                              SQLSMALLINT) {
  return connectTo(h, "DSN=" + narrow(dsn, dsnLen));
}

// The completed connect string is left unwritten: wsql does not read it.
SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC h, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLen, SQLWCHAR*, SQLSMALLINT,
                                    SQLSMALLINT*, SQLUSMALLINT) {
  return connectTo(h, narrow(in, inLen));
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
  return call<Dbc>(h, "SQLDisconnect", [](Dbc& d) { return d.stmts.clear(), ok(); });
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
  return call<Dbc>(h, "SQLSetConnectAttrW", none);
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
  return call<Stmt>(h, "SQLSetStmtAttrW", none);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT, SQLHANDLE h, SQLSMALLINT) { return call<Dbc>(h, "SQLEndTran", none); }

// The SQLGetInfo types whose answer is a SQLUSMALLINT.
bool is_short_info(SQLUSMALLINT type) {
  switch (type) {
  case SQL_MAX_DRIVER_CONNECTIONS: case SQL_MAX_CONCURRENT_ACTIVITIES: case SQL_CURSOR_COMMIT_BEHAVIOR:
  case SQL_CURSOR_ROLLBACK_BEHAVIOR: case SQL_TXN_CAPABLE: case SQL_MAX_COLUMN_NAME_LEN:
  case SQL_MAX_CURSOR_NAME_LEN: case SQL_MAX_SCHEMA_NAME_LEN: case SQL_MAX_CATALOG_NAME_LEN:
  case SQL_MAX_TABLE_NAME_LEN: case SQL_MAX_IDENTIFIER_LEN: case SQL_MAX_USER_NAME_LEN:
  case SQL_MAX_PROCEDURE_NAME_LEN: case SQL_MAX_COLUMNS_IN_GROUP_BY: case SQL_MAX_COLUMNS_IN_INDEX:
  case SQL_MAX_COLUMNS_IN_ORDER_BY: case SQL_MAX_COLUMNS_IN_SELECT: case SQL_MAX_COLUMNS_IN_TABLE:
  case SQL_MAX_TABLES_IN_SELECT: case SQL_CONCAT_NULL_BEHAVIOR: case SQL_CORRELATION_NAME:
  case SQL_FILE_USAGE: case SQL_GROUP_BY: case SQL_IDENTIFIER_CASE: case SQL_QUOTED_IDENTIFIER_CASE:
  case SQL_NULL_COLLATION: case SQL_NON_NULLABLE_COLUMNS: case SQL_ODBC_API_CONFORMANCE:
  case SQL_ODBC_SQL_CONFORMANCE: case SQL_ODBC_SAG_CLI_CONFORMANCE: case SQL_ACTIVE_ENVIRONMENTS:
    return true;
  default:
    return false;
  }
}

// wsql asks only what SQLGetData allows: any column in any order, unless the
// scenario says otherwise.
SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER v, SQLSMALLINT room, SQLSMALLINT* len) {
  return call<Dbc>(h, "SQLGetInfoW", [&](Dbc& d) {
    if (auto text = d.script->infoText.find(type); text != d.script->infoText.end()) {
      SQLSMALLINT chars = 0;
      bool cut = putWide(text->second, static_cast<SQLWCHAR*>(v), room / 2, &chars);
      if (len) *len = static_cast<SQLSMALLINT>(chars * 2);
      return cut ? truncated(d) : ok();
    }
    auto n = d.script->infoNumber.find(type);
    const SQLUINTEGER answer = n != d.script->infoNumber.end() ? n->second : d.script->getInfo;
    // The types that are 16-bit get 16 bits: the driver manager asks some of
    // them into a field of its own (SQLEndTran), which 32 bits would overrun.
    // memcpy: its buffers need not be aligned.
    if (is_short_info(type)) {
      const auto shortAnswer = static_cast<SQLUSMALLINT>(answer);
      std::memcpy(v, &shortAnswer, sizeof shortAnswer);
    } else {
      std::memcpy(v, &answer, sizeof answer);
    }
    if (len && n != d.script->infoNumber.end()) *len = is_short_info(type) ? sizeof(SQLUSMALLINT) : sizeof(SQLUINTEGER);
    return ok();
  });
}

// The driver manager asks once, for the bitmap of all functions, and keeps
// only those that it also finds exported.
SQLRETURN SQL_API SQLGetFunctions(SQLHDBC h, SQLUSMALLINT, SQLUSMALLINT* supported) {
  return call<Dbc>(h, "SQLGetFunctions", [&](Dbc& d) {
    std::fill_n(supported, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE, 0xFFFF);
    if (d.script->noMoreResults) supported[SQL_API_SQLMORERESULTS >> 4] &= ~(1 << (SQL_API_SQLMORERESULTS & 0xF));
    return ok();
  });
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  return begin(h, "SQLPrepareW", " " + narrow(text, len));
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT, SQLSMALLINT ctype, SQLSMALLINT,
                                   SQLULEN, SQLSMALLINT, SQLPOINTER value, SQLLEN length, SQLLEN* indicator) {
  return call<Stmt>(h, "SQLBindParameter",
                    [&](Stmt& s) { return s.params[number] = Binding{ctype, value, length, indicator}, ok(); });
}

// The log shows the (wide) parameters given by length: "param <n> <length>
// <text>". Data at execution is not implemented: a case that needs it refused
// scripts the refusal.
SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
  std::string detail;
  for (const auto& [number, p] : as<Stmt>(h).params)
    if (*p.indicator >= 0)
      detail += " param " + std::to_string(number) + " " + std::to_string(*p.indicator) + " " +
                convert(std::string(static_cast<const char*>(p.buffer), *p.indicator), false);
  return call<Stmt>(h, "SQLExecute", start, detail);
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                             SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* types, SQLSMALLINT typesLen) {
  return begin(h, "SQLTables", names(cat, catLen, sch, schLen, tab, tabLen) + narrow(types, typesLen));
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                              SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* col, SQLSMALLINT colLen) {
  return begin(h, "SQLColumns", names(cat, catLen, sch, schLen, tab, tabLen) + narrow(col, colLen));
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                                 SQLWCHAR* tab, SQLSMALLINT tabLen, SQLUSMALLINT unique, SQLUSMALLINT reserved) {
  return begin(h, "SQLStatistics",
               names(cat, catLen, sch, schLen, tab, tabLen) + std::to_string(unique) + " " + std::to_string(reserved));
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  return call<Stmt>(h, "SQLNumResultCols", [&](Stmt& s) {
    return *count = s.current() ? static_cast<SQLSMALLINT>(s.current()->columns.size()) : 0, ok();
  });
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT col, SQLWCHAR* name, SQLSMALLINT nameMax,
                                  SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                  SQLSMALLINT* nullable) {
  return call<Stmt>(h, "SQLDescribeColW", [&](Stmt& s) {
    const Column& c = s.current()->columns.at(col - 1);
    *type = c.type, *size = c.size, *digits = 0, *nullable = SQL_NULLABLE;
    return putWide(c.name, name, nameMax, nameLen) ? truncated(s) : ok();
  });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  return call<Stmt>(h, "SQLRowCount", [&](Stmt& s) { return *count = s.current() ? s.current()->rowCount : -1, ok(); });
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buffer, SQLLEN length,
                             SQLLEN* indicator) {
  return call<Stmt>(h, "SQLBindCol",
                    [&](Stmt& s) { return s.columns[col] = Binding{ctype, buffer, length, indicator}, ok(); });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
  return call<Stmt>(h, "SQLFetch", [&](Stmt& s) {
    const Result* r = s.current();
    if (!r || ++s.row >= static_cast<long>(r->rows.size())) return SQLRETURN{SQL_NO_DATA};
    const Row& row = r->rows[s.row];
    s.got.clear();
    bool anyCut = false;
    for (auto& [col, b] : s.columns) {
      size_t offset = 0;
      anyCut |= put(r->columns.at(col - 1), row.values[col - 1], b.ctype, b.buffer, b.length, offset, *b.indicator);
      *b.indicator = row.indicators[col - 1].value_or(*b.indicator);
    }
    return anyCut ? truncated(s) : ok();
  });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buffer, SQLLEN length,
                             SQLLEN* indicator) {
  return call<Stmt>(h, "SQLGetData", [&](Stmt& s) {
    const Column& c = s.current()->columns.at(col - 1);
    const Value& v = s.current()->rows.at(s.row).values[col - 1];
    size_t& offset = s.got[col];
    if (c.getData == "NODATA" || offset == std::string::npos) return SQLRETURN{SQL_NO_DATA};
    bool cut = put(c, v, ctype, buffer, length, offset, *indicator);
    if (c.getData == "NOTOTAL" && cut) *indicator = SQL_NO_TOTAL;
    if (c.getData == "NTS" && v) *indicator = SQL_NTS;
    return cut ? truncated(s) : (offset = std::string::npos, ok());
  });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
  return call<Stmt>(h, "SQLMoreResults", [](Stmt& s) {
    return ++s.result < s.script->results.size() ? (s.row = -1, ok()) : SQLRETURN{SQL_NO_DATA};
  });
}

// The driver manager reads every record through this: it pops the oldest.
SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state, SQLINTEGER* native,
                            SQLWCHAR* text, SQLSMALLINT max, SQLSMALLINT* len) {
  std::vector<Diag>& diags = as<Handle>(stmt ? stmt : dbc ? dbc : env).diags;
  if (diags.empty()) return SQL_NO_DATA;
  Diag d = diags.front();
  diags.erase(diags.begin());
  putWide(d.state, state, 6, nullptr);
  *native = d.native;
  return putWide(d.text, text, max, len) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // extern "C"
