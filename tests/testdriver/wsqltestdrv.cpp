// wsqltestdrv: a small ODBC driver whose behaviour is scripted by a scenario
// file, loaded by the real unixODBC driver manager in golden cases. It exists
// only for the paths that real drivers do not take on demand: warnings from
// calls that normally succeed, lost connections, odd diagnostics, odd
// indicators, huge column counts. The scenario format is in README.md.
//
// Every call on a connection or statement goes through call(): it is logged,
// counted and answered by the scenario's rule for it, if any. The driver
// manager validates handles before they reach us, so they are not checked
// here again.

#include <iconv.h>
#include <odbcinst.h>
#include <sqlext.h>
#include <strings.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <list>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A column of this SQL type is self-describing: its values are written
// "<sqltype>:<value>", and SQL_C_DEFAULT receives the type code in the first
// two bytes and the value from byte 8.
constexpr SQLSMALLINT kVariant = -12;
constexpr size_t kVariantValueOffset = 8;

// ------------------------------------------------------------- scenario

struct Diag {
  std::string state;
  SQLINTEGER native = 0;
  std::string text;
};

struct Rule {
  std::string call;  // as logged, without a trailing W
  long nth = 0;      // 0: every call
  SQLRETURN code = SQL_SUCCESS;
  std::vector<Diag> diags;
};

struct Column {
  std::string name;
  SQLSMALLINT type = SQL_VARCHAR;
  SQLULEN size = 0;
  std::string getData;  // "", NOTOTAL, NTS or NODATA
};

using Value = std::optional<std::string>;  // nullopt: NULL

struct Row {
  std::vector<Value> values;
  std::vector<std::optional<SQLLEN>> indicators;  // scripted overrides
};

struct Result {
  std::vector<Column> columns;
  std::vector<Row> rows;
  std::optional<SQLLEN> rowCount;
};

struct Section {
  std::vector<Rule> rules;
  std::vector<Result> results;
  bool noMoreResults = false;
};

struct Scenario {
  std::string log;
  // By (connection, statement): connection 0 is "*"; statement -1 is the
  // connection part, 0 is "*".
  std::map<std::pair<long, long>, Section> sections;
};

long number(const std::string& s) {
  size_t used = 0;
  long v = std::stol(s, &used);
  if (used != s.size()) throw std::runtime_error("not a number: " + s);
  return v;
}

long named(const std::map<std::string, long>& names, const std::string& s) {
  auto it = names.find(s);
  return it != names.end() ? it->second : number(s);
}

const std::map<std::string, long> kCodes = {
    {"SUCCESS", SQL_SUCCESS}, {"SUCCESS_WITH_INFO", SQL_SUCCESS_WITH_INFO}, {"ERROR", SQL_ERROR},
    {"NO_DATA", SQL_NO_DATA}, {"NEED_DATA", SQL_NEED_DATA},                 {"INVALID_HANDLE", SQL_INVALID_HANDLE}};
const std::map<std::string, long> kTypes = {
    {"INTEGER", SQL_INTEGER},           {"VARCHAR", SQL_VARCHAR},           {"WVARCHAR", SQL_WVARCHAR},
    {"LONGVARCHAR", SQL_LONGVARCHAR},   {"WLONGVARCHAR", SQL_WLONGVARCHAR}, {"LONGVARBINARY", SQL_LONGVARBINARY}};
const std::map<std::string, long> kIndicators = {
    {"NTS", SQL_NTS}, {"NOTOTAL", SQL_NO_TOTAL}, {"NULL_DATA", SQL_NULL_DATA}};

// The operands of a line: blanks separate them, "..." quotes one. Unquoted,
// NULL is the null value and REPEAT:<count>:<text> is <text> repeated.
std::vector<Value> split(const std::string& line) {
  std::vector<Value> out;
  for (size_t i = 0; i < line.size();) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') { ++i; continue; }
    bool quoted = line[i] == '"';
    size_t end = std::min(quoted ? line.find('"', i + 1) : line.find_first_of(" \t\r", i), line.size());
    if (quoted && end == line.size()) throw std::runtime_error("unterminated quote");
    std::string text = line.substr(i + quoted, end - i - quoted);
    i = end + quoted;
    if (!quoted && text == "NULL") {
      out.push_back(std::nullopt);
    } else if (quoted || !text.starts_with("REPEAT:")) {
      out.push_back(text);
    } else {
      size_t colon = text.find(':', 7);
      if (colon == std::string::npos) throw std::runtime_error("REPEAT:<count>:<text>");
      out.push_back(std::string());
      for (long k = number(text.substr(7, colon - 7)); k > 0; --k) out.back()->append(text, colon + 1);
    }
  }
  return out;
}

// Reads a scenario; throws with the file, line and fault when it does not
// parse.
Scenario load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open scenario file " + path);
  Scenario sc;
  long conn = 0, lineNo = 0;
  Section* sec = &sc.sections[{0, -1}];
  for (std::string line; std::getline(in, line);) try {
      ++lineNo;
      const std::vector<Value> t = split(line);
      const size_t n = t.size();
      auto need = [](bool ok, const char* why) {
        if (!ok) throw std::runtime_error(why);
      };
      auto arg = [&](size_t i) {
        need(i < n, "missing operand");
        return t[i].value_or("NULL");
      };
      const std::string kw = n ? arg(0) : "#";
      if (kw[0] == '#') continue;
      auto result = [&]() -> Result& {
        need(!sec->results.empty(), "outside a RESULT");
        return sec->results.back();
      };
      if (kw == "LOG") {
        sc.log = arg(1);
      } else if (kw == "CONNECTION") {
        conn = arg(1) == "*" ? 0 : number(arg(1));
        sec = &sc.sections[{conn, -1}];
      } else if (kw == "STATEMENT") {
        sec = &sc.sections[{conn, arg(1) == "*" ? 0 : number(arg(1))}];
      } else if (kw == "UNSUPPORTED") {
        need(arg(1) == "MORERESULTS", "UNSUPPORTED MORERESULTS");
        sc.sections[{conn, -1}].noMoreResults = true;
      } else if (kw == "DIAG") {
        need(!sec->rules.empty(), "DIAG without a call line above it");
        Diag d{arg(1), static_cast<SQLINTEGER>(number(arg(2))), ""};
        for (size_t k = 3; k < n; ++k) d.text += arg(k);
        sec->rules.back().diags.push_back(d);
      } else if (kw == "RESULT") {
        sec->results.emplace_back();
      } else if (kw == "COLUMN" || kw == "COLUMNS") {
        Column c{"", static_cast<SQLSMALLINT>(named(kTypes, arg(2))), static_cast<SQLULEN>(number(arg(3))),
                 n > 4 ? arg(4) : ""};
        need(c.getData.empty() || c.getData == "NOTOTAL" || c.getData == "NTS" || c.getData == "NODATA",
             "GETDATA mode NOTOTAL, NTS or NODATA");
        if (kw == "COLUMN") c.name = arg(1), result().columns.push_back(c);
        for (long k = 1; kw == "COLUMNS" && k <= number(arg(1)); ++k)
          c.name = "C" + std::to_string(k), result().columns.push_back(c);
      } else if (kw == "ROW") {
        need(n - 1 == result().columns.size(), "ROW needs one value per column");
        result().rows.push_back({{t.begin() + 1, t.end()}, std::vector<std::optional<SQLLEN>>(n - 1)});
      } else if (kw == "INDICATORS") {
        need(!result().rows.empty() && n == result().columns.size() + 1, "INDICATORS needs a ROW above it");
        for (size_t k = 1; k < n; ++k)
          if (arg(k) != "-") result().rows.back().indicators[k - 1] = named(kIndicators, arg(k));
      } else if (kw == "ROWCOUNT") {
        result().rowCount = number(arg(1));
      } else if (kw.starts_with("SQL") && n == 2) {
        size_t hash = kw.find('#');
        long nth = hash == std::string::npos ? 0 : number(kw.substr(hash + 1));
        sec->rules.push_back({kw.substr(0, hash), nth, static_cast<SQLRETURN>(named(kCodes, arg(1))), {}});
      } else {
        throw std::runtime_error("unknown or malformed line: " + kw);
      }
    } catch (const std::exception& e) {
      throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": " + e.what());
    }
  return sc;
}

// ----------------------------------------------------------------- text

// Converts between UTF-8, the scenario's text, and the UTF-16 of the wide
// calls, as bytes.
std::string convert(const std::string& in, bool toWide) {
  const char* wide = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  iconv_t cd = toWide ? iconv_open(wide, "UTF-8") : iconv_open("UTF-8", wide);
  std::string out(2 * in.size(), '\0');
  char* from = const_cast<char*>(in.data());
  char* to = out.data();
  size_t fromLeft = in.size(), toLeft = out.size();
  iconv(cd, &from, &fromLeft, &to, &toLeft);
  iconv_close(cd);
  out.resize(out.size() - toLeft);
  return out;
}

// The text of a wide argument of `len` characters or SQL_NTS.
std::string narrow(const SQLWCHAR* s, long len) {
  if (len == SQL_NTS) len = s ? std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(s)) : 0;
  return convert(std::string(reinterpret_cast<const char*>(s), std::max(len, 0L) * 2), false);
}

// Copies `text` into a wide buffer of `room` characters, cut and terminated;
// `len` gets the full length. Returns whether it was cut.
bool putWide(const std::string& text, SQLWCHAR* out, long room, SQLSMALLINT* len) {
  std::string w = convert(text, true);
  size_t chars = w.size() / 2, n = room > 0 ? std::min<size_t>(chars, room - 1) : 0;
  if (len) *len = static_cast<SQLSMALLINT>(std::min<size_t>(chars, 32767));
  if (out && room > 0) std::memcpy(out, w.data(), n * 2), out[n] = 0;
  return n < chars;
}

// -------------------------------------------------------------- handles

struct Dbc;
struct Stmt;

struct Handle {
  Dbc* dbc = nullptr;    // the connection of a connection or statement
  Stmt* stmt = nullptr;  // set on a statement
  std::vector<Diag> diags;
  std::map<std::string, long> calls;  // per rule name, for <call>#k
};

struct Binding {
  SQLSMALLINT ctype = 0;
  SQLPOINTER buffer = nullptr;
  SQLLEN length = 0;
  SQLLEN* indicator = nullptr;
};

struct Stmt : Handle {
  explicit Stmt(Dbc* d) { dbc = d, stmt = this; }
  Section script;
  bool executed = false;
  size_t result = 0;  // the current result
  long row = -1;      // its current row, -1 before the first
  std::map<SQLUSMALLINT, Binding> columns, params;
  std::map<SQLUSMALLINT, size_t> got;  // SQLGetData: bytes handed out, npos when done
};

struct Dbc : Handle {
  Dbc() { dbc = this; }
  long number = 0;  // connection attempt of the process
  long conn = 0;    // its section of the scenario
  long statements = 0;
  Scenario sc;
  Section part;  // the connection part of its section
  std::list<Stmt> stmts;
};

// Connection attempts of the whole process: the library stays loaded
// (DontDLClose), so it counts across connections.
long gConnectionAttempts = 0;

template <class T>
T& as(SQLHANDLE h) {
  return static_cast<T&>(*static_cast<Handle*>(h));
}

SQLRETURN diag(Handle& h, SQLRETURN code, const char* state, const std::string& text) {
  h.diags.push_back({state, 0, "[wsqltestdrv]" + text});
  return code;
}

SQLRETURN truncated(Handle& h) { return diag(h, SQL_SUCCESS_WITH_INFO, "01004", "String data, right truncated"); }

SQLRETURN ok() { return SQL_SUCCESS; }

// Clears the diagnostics of `h`, logs the call and applies its rule, if any
// (the statement's, else the connection's). A failure code ends the call
// there; otherwise `body` does its work, and a success code of the rule
// replaces a plain SQL_SUCCESS.
template <class F>
SQLRETURN call(Handle& h, std::string name, const std::string& detail, F body) {
  Dbc& d = *h.dbc;
  h.diags.clear();
  if (!d.sc.log.empty())
    if (FILE* f = std::fopen(d.sc.log.c_str(), "a")) {
      std::fprintf(f, "%ld %s%s%s\n", d.number, name.c_str(), detail.empty() ? "" : " ", detail.c_str());
      std::fclose(f);
    }
  if (name.back() == 'W') name.pop_back();
  long count = ++h.calls[name];
  const Rule* rule = nullptr;
  for (const Section* sec : {h.stmt ? &h.stmt->script : nullptr, &d.part})
    for (size_t i = 0; sec && !rule && i < sec->rules.size(); ++i)
      if (sec->rules[i].call == name && (sec->rules[i].nth == 0 || sec->rules[i].nth == count)) rule = &sec->rules[i];
  if (!rule) return body();
  SQLRETURN code = rule->code;
  h.diags.insert(h.diags.end(), rule->diags.begin(), rule->diags.end());
  if (code != SQL_SUCCESS && code != SQL_SUCCESS_WITH_INFO && code != SQL_NO_DATA) return code;
  SQLRETURN rc = body();  // may free h, and the rule with it
  return rc == SQL_SUCCESS ? code : rc;
}

// Counts the attempt, loads the scenario and runs the scripted connect.
SQLRETURN connectTo(Dbc& d, const std::string& scenario, const std::string& detail) {
  d.number = ++gConnectionAttempts;
  d.calls.clear();
  d.statements = 0;
  d.diags.clear();
  d.sc = {};
  try {
    if (!scenario.empty()) d.sc = load(scenario);
  } catch (const std::exception& e) {
    return diag(d, SQL_ERROR, "HY000", e.what());
  }
  d.conn = d.sc.sections.count({d.number, -1}) ? d.number : 0;
  d.part = d.sc.sections[{d.conn, -1}];
  return call(d, "SQLConnect", detail, ok);
}

std::string profileScenario(const std::string& dsn) {
  char buf[4096] = "";
  SQLGetPrivateProfileString(dsn.c_str(), "Scenario", "", buf, sizeof buf, "odbc.ini");
  return buf;
}

// ----------------------------------------------------------- statements

// Resets the result position; `executed` tells whether there are results.
void start(Stmt& s, bool executed) {
  s.executed = executed;
  s.result = 0;
  s.row = -1;
  s.got.clear();
}

// Makes `s` the next statement of its connection, with its script.
void begin(Stmt& s) {
  Dbc& d = *s.dbc;
  auto find = [&](long n) {
    auto it = d.sc.sections.find({d.conn, n});
    return it == d.sc.sections.end() ? nullptr : &it->second;
  };
  const Section* sec = find(++d.statements);
  if (!sec) sec = find(0);
  s.script = sec ? *sec : Section{};
  s.calls.clear();
  start(s, false);
}

const Result* current(const Stmt& s) {
  return s.result < s.script.results.size() ? &s.script.results[s.result] : nullptr;
}

SQLRETURN catalog(SQLHSTMT h, const char* name, const std::string& detail) {
  Stmt& s = as<Stmt>(h);
  begin(s);
  return call(s, name, detail, [&] { return start(s, true), SQL_SUCCESS; });
}

std::string catalogArg(const SQLWCHAR* s, SQLSMALLINT len) { return s ? narrow(s, len) : "(null)"; }

// ---------------------------------------------------------------- values

// The bytes of a fixed-size C type, whose codes are those of the SQL types
// that SQL_C_DEFAULT gives them; empty for other types.
std::string fixed(SQLSMALLINT ctype, const std::string& text) {
  auto raw = [](const auto& v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); };
  if (ctype == SQL_C_LONG || ctype == SQL_C_SLONG) return raw(static_cast<SQLINTEGER>(std::atol(text.c_str())));
  if (ctype == SQL_C_SHORT || ctype == SQL_C_SSHORT) return raw(static_cast<SQLSMALLINT>(std::atol(text.c_str())));
  if (ctype != SQL_C_TYPE_TIMESTAMP) return "";
  SQL_TIMESTAMP_STRUCT v{};
  int used = 0;
  std::sscanf(text.c_str(), "%hd-%hu-%hu %hu:%hu:%hu%n", &v.year, &v.month, &v.day, &v.hour, &v.minute, &v.second,
              &used);
  if (used > 0 && text[used] == '.') v.fraction = static_cast<SQLUINTEGER>(std::atof(&text[used]) * 1e9 + 0.5);
  return raw(v);
}

// Delivers a value as C type `ctype` from byte `offset` of it on, which it
// advances: character, wide and binary values come in pieces as the buffer
// allows, others whole. Returns the indicator; `cut` tells whether some is
// left.
SQLLEN putValue(const Column& c, const Value& v, SQLSMALLINT ctype, SQLPOINTER buf, SQLLEN length, size_t& offset,
                bool& cut) {
  cut = false;
  if (!v) return SQL_NULL_DATA;
  std::string bytes;
  if (ctype == SQL_C_DEFAULT && c.type == kVariant) {
    SQLSMALLINT inner = static_cast<SQLSMALLINT>(std::atoi(v->c_str()));
    std::string rest = v->substr(std::min(v->find(':'), v->size() - 1) + 1), val = fixed(inner, rest);
    bytes.assign(kVariantValueOffset, '\0').replace(0, sizeof inner, reinterpret_cast<char*>(&inner), sizeof inner);
    bytes += val.empty() ? rest + '\0' : val;
    ctype = SQL_C_BINARY;
  } else if (ctype == SQL_C_CHAR || ctype == SQL_C_WCHAR || ctype == SQL_C_BINARY) {
    bytes = ctype == SQL_C_WCHAR ? convert(*v, true) : *v;
  } else {
    bytes = fixed(ctype, *v);
    if (buf) std::memcpy(buf, bytes.data(), bytes.size());
    return static_cast<SQLLEN>(bytes.empty() ? v->size() : bytes.size());  // unknown C type: the length only
  }
  const size_t unit = ctype == SQL_C_WCHAR ? 2 : 1, term = ctype == SQL_C_BINARY ? 0 : unit;
  const size_t left = bytes.size() - offset;
  size_t n = length >= static_cast<SQLLEN>(term) ? std::min(left, (length - term) / unit * unit) : 0;
  if (buf && length >= static_cast<SQLLEN>(term))
    std::memcpy(buf, bytes.data() + offset, n), std::memset(static_cast<char*>(buf) + n, 0, term);
  offset += n;
  cut = n < left;
  return static_cast<SQLLEN>(left);
}

// What SQLGetFunctions reports, less what the scenario denies.
const SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,   SQL_API_SQLFREEHANDLE,   SQL_API_SQLFREESTMT,       SQL_API_SQLSETENVATTR,
    SQL_API_SQLCONNECT,       SQL_API_SQLDRIVERCONNECT, SQL_API_SQLDISCONNECT,    SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLGETINFO,       SQL_API_SQLGETFUNCTIONS, SQL_API_SQLENDTRAN,        SQL_API_SQLPREPARE,
    SQL_API_SQLEXECUTE,       SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLDESCRIBECOL,   SQL_API_SQLROWCOUNT,
    SQL_API_SQLBINDCOL,       SQL_API_SQLFETCH,        SQL_API_SQLGETDATA,        SQL_API_SQLMORERESULTS,
    SQL_API_SQLSETSTMTATTR,   SQL_API_SQLBINDPARAMETER, SQL_API_SQLTABLES,        SQL_API_SQLCOLUMNS,
    SQL_API_SQLSTATISTICS,    SQL_API_SQLERROR};

}  // namespace

// ================================================== exported entry points

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (type == SQL_HANDLE_ENV) return *output = new Handle, SQL_SUCCESS;
  if (type == SQL_HANDLE_DBC) return *output = static_cast<Handle*>(new Dbc), SQL_SUCCESS;
  if (type != SQL_HANDLE_STMT) return SQL_ERROR;
  Dbc& d = as<Dbc>(input);
  *output = SQL_NULL_HSTMT;
  return call(d, "SQLAllocHandle", "STMT", [&] {
    *output = static_cast<Handle*>(&d.stmts.emplace_back(&d));
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  if (type == SQL_HANDLE_ENV) delete &as<Handle>(h);
  if (type == SQL_HANDLE_DBC) delete &as<Dbc>(h);
  if (type != SQL_HANDLE_STMT) return SQL_SUCCESS;
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLFreeHandle", "STMT", [&] {
    s.dbc->stmts.remove_if([&](const Stmt& x) { return &x == &s; });
    return SQL_SUCCESS;
  });
}

// The driver manager sets the ODBC version here; without it, it warns that
// the driver does not support the version.
SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) { return SQL_SUCCESS; }

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLFreeStmt", std::to_string(option), [&] {
    if (option == SQL_CLOSE) s.executed = false, s.result = s.script.results.size();
    if (option == SQL_UNBIND) s.columns.clear();
    if (option == SQL_RESET_PARAMS) s.params.clear();
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC h, SQLWCHAR* dsn, SQLSMALLINT dsnLen, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                              SQLSMALLINT) {
  std::string name = narrow(dsn, dsnLen);
  return connectTo(as<Dbc>(h), profileScenario(name), "DSN=" + name);
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC h, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLen, SQLWCHAR* out,
                                    SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT) {
  std::string str = narrow(in, inLen), scenario;
  std::istringstream parts(str);
  for (std::string part; std::getline(parts, part, ';');)
    if (strncasecmp(part.c_str(), "DSN=", 4) == 0) scenario = profileScenario(part.substr(4));
  SQLRETURN rc = connectTo(as<Dbc>(h), scenario, str);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) putWide(str, out, outMax, outLen);
  return rc;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
  Dbc& d = as<Dbc>(h);
  return call(d, "SQLDisconnect", "", [&] { return d.stmts.clear(), SQL_SUCCESS; });
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return call(as<Dbc>(h), "SQLSetConnectAttrW",
              std::to_string(attr) + " " + std::to_string(reinterpret_cast<SQLULEN>(value)), ok);
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return call(as<Stmt>(h), "SQLSetStmtAttrW",
              std::to_string(attr) + " " + std::to_string(reinterpret_cast<SQLULEN>(value)), ok);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  if (type != SQL_HANDLE_DBC) return SQL_SUCCESS;
  return call(as<Dbc>(h), "SQLEndTran", std::to_string(completion), ok);
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT, SQLSMALLINT* len) {
  Dbc& d = as<Dbc>(h);
  return call(d, "SQLGetInfoW", std::to_string(type), [&] {
    // wsql asks only whether SQLGetData takes any column in any order.
    if (type != SQL_GETDATA_EXTENSIONS) return diag(d, SQL_ERROR, "HY096", "Information type out of range");
    if (value) *static_cast<SQLUINTEGER*>(value) = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER;
    if (len) *len = sizeof(SQLUINTEGER);
    return ok();
  });
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC h, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  Dbc& d = as<Dbc>(h);
  return call(d, "SQLGetFunctions", std::to_string(id), [&] {
    // The driver manager asks once, for the bitmap of all functions.
    if (id != SQL_API_ODBC3_ALL_FUNCTIONS) return diag(d, SQL_ERROR, "HY095", "Function type out of range");
    std::fill_n(supported, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE, 0);
    for (SQLUSMALLINT f : kFunctions)
      if (f != SQL_API_SQLMORERESULTS || !d.part.noMoreResults) supported[f >> 4] |= 1 << (f & 0xF);
    return ok();
  });
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  Stmt& s = as<Stmt>(h);
  begin(s);
  return call(s, "SQLPrepareW", narrow(text, len), ok);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT, SQLSMALLINT ctype, SQLSMALLINT,
                                   SQLULEN, SQLSMALLINT, SQLPOINTER value, SQLLEN length, SQLLEN* indicator) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLBindParameter", std::to_string(number), [&] {
    s.params[number] = Binding{ctype, value, length, indicator};
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
  Stmt& s = as<Stmt>(h);
  // The log shows the parameters given by length: "param <n> <length> <text>".
  std::string detail;
  bool atExec = false;
  for (const auto& [number, p] : s.params) {
    const SQLLEN len = p.indicator ? *p.indicator : SQL_NTS;
    atExec = atExec || len == SQL_DATA_AT_EXEC || len <= SQL_LEN_DATA_AT_EXEC_OFFSET;
    if (len < 0 || !p.buffer) continue;
    std::string bytes(static_cast<const char*>(p.buffer), len);
    detail += (detail.empty() ? "param " : " param ") + std::to_string(number) + " " + std::to_string(len) + " " +
              (p.ctype == SQL_C_WCHAR ? convert(bytes, false) : bytes);
  }
  return call(s, "SQLExecute", detail, [&] {
    // Parameters are never taken at execution.
    if (atExec) return diag(s, SQL_ERROR, "HYC00", "Optional feature not implemented");
    return start(s, true), ok();
  });
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                             SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* types, SQLSMALLINT typesLen) {
  return catalog(h, "SQLTables", catalogArg(cat, catLen) + " " + catalogArg(sch, schLen) + " " +
                                     catalogArg(tab, tabLen) + " " + catalogArg(types, typesLen));
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                              SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* col, SQLSMALLINT colLen) {
  return catalog(h, "SQLColumns", catalogArg(cat, catLen) + " " + catalogArg(sch, schLen) + " " +
                                      catalogArg(tab, tabLen) + " " + catalogArg(col, colLen));
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                                 SQLWCHAR* tab, SQLSMALLINT tabLen, SQLUSMALLINT unique, SQLUSMALLINT reserved) {
  return catalog(h, "SQLStatistics", catalogArg(cat, catLen) + " " + catalogArg(sch, schLen) + " " +
                                         catalogArg(tab, tabLen) + " " + std::to_string(unique) + " " +
                                         std::to_string(reserved));
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLNumResultCols", "", [&] {
    const Result* r = current(s);
    if (count) *count = r ? static_cast<SQLSMALLINT>(std::min<size_t>(r->columns.size(), 32767)) : 0;
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT col, SQLWCHAR* name, SQLSMALLINT nameMax,
                                  SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                  SQLSMALLINT* nullable) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLDescribeColW", std::to_string(col), [&] {
    const Result* r = current(s);
    if (!r || col < 1 || col > r->columns.size()) return diag(s, SQL_ERROR, "07009", "Invalid descriptor index");
    const Column& c = r->columns[col - 1];
    if (type) *type = c.type;
    if (size) *size = c.size;
    if (digits) *digits = 0;
    if (nullable) *nullable = SQL_NULLABLE;
    return putWide(c.name, name, nameMax, nameLen) ? truncated(s) : ok();
  });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLRowCount", "", [&] {
    const Result* r = s.executed ? current(s) : nullptr;
    if (count) *count = r ? r->rowCount.value_or(r->columns.empty() ? 0 : -1) : -1;
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buffer, SQLLEN length,
                             SQLLEN* indicator) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLBindCol", std::to_string(col) + " " + std::to_string(ctype) + " " + std::to_string(length), [&] {
    if (buffer || indicator) s.columns[col] = Binding{ctype, buffer, length, indicator};
    else s.columns.erase(col);
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLFetch", "", [&] {
    const Result* r = s.executed ? current(s) : nullptr;
    if (!r || r->columns.empty()) return diag(s, SQL_ERROR, "24000", "Invalid cursor state");
    if (static_cast<size_t>(s.row + 1) >= r->rows.size()) return s.row = r->rows.size(), SQLRETURN{SQL_NO_DATA};
    const Row& row = r->rows[++s.row];
    s.got.clear();
    bool anyCut = false;
    for (auto& [col, b] : s.columns) {
      if (col < 1 || col > row.values.size()) continue;
      size_t offset = 0;
      bool cut = false;
      SQLLEN ind = putValue(r->columns[col - 1], row.values[col - 1], b.ctype, b.buffer, b.length, offset, cut);
      anyCut = anyCut || cut;
      if (b.indicator) *b.indicator = row.indicators[col - 1].value_or(ind);
    }
    return anyCut ? truncated(s) : ok();
  });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buffer, SQLLEN length,
                             SQLLEN* indicator) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLGetData", std::to_string(col) + " " + std::to_string(ctype) + " " + std::to_string(length), [&] {
    const Result* r = s.executed ? current(s) : nullptr;
    if (!r || s.row < 0 || static_cast<size_t>(s.row) >= r->rows.size())
      return diag(s, SQL_ERROR, "24000", "Invalid cursor state");
    if (col < 1 || col > r->columns.size()) return diag(s, SQL_ERROR, "07009", "Invalid descriptor index");
    const Column& c = r->columns[col - 1];
    const Value& v = r->rows[s.row].values[col - 1];
    size_t& offset = s.got[col];
    if (c.getData == "NODATA" || offset == std::string::npos) return SQLRETURN{SQL_NO_DATA};
    bool cut = false;
    SQLLEN ind = putValue(c, v, ctype, buffer, length, offset, cut);
    if (c.getData == "NOTOTAL" && cut) ind = SQL_NO_TOTAL;
    if (c.getData == "NTS" && v && (ctype == SQL_C_CHAR || ctype == SQL_C_WCHAR)) ind = SQL_NTS;
    if (indicator) *indicator = ind;
    if (cut) return truncated(s);
    offset = std::string::npos;
    return ok();
  });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
  Stmt& s = as<Stmt>(h);
  return call(s, "SQLMoreResults", "", [&] {
    if (!s.executed || s.result + 1 >= s.script.results.size())
      return s.result = s.script.results.size(), SQLRETURN{SQL_NO_DATA};
    return ++s.result, s.row = -1, ok();
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
  if (native) *native = d.native;
  return putWide(d.text, text, max, len) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // extern "C"
