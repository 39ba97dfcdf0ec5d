// wsqltestdrv: a small ODBC driver whose behaviour is scripted, loaded by the
// real unixODBC driver manager in golden cases. It exists only for the paths
// that real drivers do not take on demand: warnings from calls that normally
// succeed, lost connections, odd diagnostics, odd indicators, huge column
// counts. Everything a real database can show is tested against a real one.
//
// How a scenario scripts it: scenario.cpp and README.md.

#include "scenario.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <odbcinst.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace wsqltestdrv;

// The self-describing SQL type whose values carry their own type code.
constexpr SQLSMALLINT kSelfDescribingType = -12;
// Where the value of a self-describing SQL_C_DEFAULT buffer starts.
constexpr size_t kSelfDescribingValueOffset = 8;
// Room for a data source name, a scenario path or a profile value.
constexpr int kProfileValueMax = 4096;

// ----------------------------------------------------------------- text

std::u16string toUtf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) cp = c, len = 1;
    else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, len = 2;
    else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, len = 3;
    else if ((c & 0xF8) == 0xF0) cp = c & 0x07, len = 4;
    else cp = 0xFFFD, len = 1;
    if (len > 1) {
      if (i + len > s.size()) { cp = 0xFFFD, len = 1; }
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string fromUtf16(const SQLWCHAR* s, long len) {
  std::string out;
  if (!s) return out;
  if (len == SQL_NTS) {
    len = 0;
    while (s[len]) ++len;
  }
  for (long i = 0; i < len; ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < len && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) out += static_cast<char>(cp);
    else if (cp < 0x800) out += static_cast<char>(0xC0 | (cp >> 6)), out += static_cast<char>(0x80 | (cp & 0x3F));
    else if (cp < 0x10000)
      out += static_cast<char>(0xE0 | (cp >> 12)), out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
          out += static_cast<char>(0x80 | (cp & 0x3F));
    else
      out += static_cast<char>(0xF0 | (cp >> 18)), out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
          out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// Copies `text` into a wide output buffer of `capacity` characters, cut and
// terminated; `outLen` gets the full length. Returns true when it was cut.
bool putWide(const std::string& text, SQLWCHAR* out, long capacity, SQLSMALLINT* outLen) {
  std::u16string w = toUtf16(text);
  if (outLen) *outLen = static_cast<SQLSMALLINT>(std::min<size_t>(w.size(), 32767));
  if (!out || capacity <= 0) return !w.empty();
  size_t n = std::min<size_t>(w.size(), static_cast<size_t>(capacity - 1));
  std::memcpy(out, w.data(), n * sizeof(SQLWCHAR));
  out[n] = 0;
  return n < w.size();
}

bool putNarrow(const std::string& text, SQLCHAR* out, long capacity, SQLSMALLINT* outLen) {
  if (outLen) *outLen = static_cast<SQLSMALLINT>(std::min<size_t>(text.size(), 32767));
  if (!out || capacity <= 0) return !text.empty();
  size_t n = std::min<size_t>(text.size(), static_cast<size_t>(capacity - 1));
  std::memcpy(out, text.data(), n);
  out[n] = 0;
  return n < text.size();
}

// --------------------------------------------------------------- handles

enum class Kind : uint32_t { Env = 0x45564e31, Dbc = 0x44424331, Stmt = 0x53544d31 };

struct Handle {
  Kind kind;
  std::vector<Diag> diags;
  explicit Handle(Kind k) : kind(k) {}
};

struct Env : Handle {
  Env() : Handle(Kind::Env) {}
};

struct Stmt;

struct Dbc : Handle {
  Dbc() : Handle(Kind::Dbc) {}
  bool connected = false;
  long number = 0;  // connection attempt of the process, 0 before the first
  std::string logPath;
  ConnectionScript script;
  std::map<std::string, long> calls;  // connection calls made, by rule name
  long statements = 0;
  SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
  std::set<Stmt*> stmts;  // statements allocated on it and not yet freed
};

struct Binding {
  SQLSMALLINT ctype = 0;
  SQLPOINTER buffer = nullptr;
  SQLLEN length = 0;
  SQLLEN* indicator = nullptr;
};

struct Stmt : Handle {
  explicit Stmt(Dbc* d) : Handle(Kind::Stmt), dbc(d) { dbc->stmts.insert(this); }
  ~Stmt() {
    if (dbc) dbc->stmts.erase(this);
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  Dbc* dbc;
  bool prepared = false;
  bool executed = false;
  StatementScript script;
  std::map<std::string, long> calls;
  size_t result = 0;  // index of the current result
  long row = -1;      // current row of it, -1 before the first
  long fetched = 0;   // rows fetched from the current result
  SQLULEN maxRows = 0;
  std::map<SQLUSMALLINT, Binding> columns;
  std::map<SQLUSMALLINT, Binding> params;
  std::map<SQLUSMALLINT, size_t> getDataOffset;  // column -> units handed out
  std::map<SQLUSMALLINT, bool> getDataDone;
  int needData = 0;  // 0 none, 1 SQLParamData must name the parameter, 2 it did
  SQLUSMALLINT needParam = 0;
};

// Frees the statements still allocated on dbc, as disconnecting and freeing
// a connection must: one whose drop was scripted to fail stays until then.
void freeStatements(Dbc& dbc) {
  std::set<Stmt*> left;
  left.swap(dbc.stmts);
  for (Stmt* s : left) {
    s->dbc = nullptr;
    delete s;
  }
}

// Process-wide count of connection attempts; the library stays loaded
// (DontDLClose) so it counts across connections.
long gConnectionAttempts = 0;

template <class T>
T* as(SQLHANDLE h, Kind k) {
  auto* p = static_cast<Handle*>(h);
  return p && p->kind == k ? static_cast<T*>(p) : nullptr;
}

void logCall(const Dbc* dbc, const std::string& call, const std::string& detail = "") {
  if (!dbc || dbc->logPath.empty()) return;
  if (FILE* f = std::fopen(dbc->logPath.c_str(), "a")) {
    std::fprintf(f, "%ld %s%s%s\n", dbc->number, call.c_str(), detail.empty() ? "" : " ", detail.c_str());
    std::fclose(f);
  }
}

void addDiag(Handle& h, const char* state, const std::string& message, SQLINTEGER native = 0) {
  h.diags.push_back(Diag{state, native, message});
}

// Applies the rule for `call` (counting the call first): returns true with
// `code` set and the rule's diagnostics queued on `target` when one matches.
bool scripted(Dbc& dbc, Stmt* stmt, const std::string& call, Handle& target, SQLRETURN& code) {
  long count = ++(stmt ? stmt->calls : dbc.calls)[call];
  const Rule* hit = nullptr;
  auto search = [&](const std::vector<Rule>& rules) {
    for (const Rule& r : rules)
      if (r.call == call && (r.nth == 0 || r.nth == count)) { hit = &r; return true; }
    return false;
  };
  if (!(stmt && search(stmt->script.rules))) search(dbc.script.rules);
  if (!hit) return false;
  code = hit->code;
  for (const Diag& d : hit->diags) target.diags.push_back(d);
  return true;
}

bool failed(SQLRETURN code) { return code != SQL_SUCCESS && code != SQL_SUCCESS_WITH_INFO && code != SQL_NO_DATA; }

// ------------------------------------------------------------ connecting

std::string profile(const std::string& dsn, const char* key) {
  char buf[kProfileValueMax] = {0};
  SQLGetPrivateProfileString(dsn.c_str(), key, "", buf, sizeof buf, "odbc.ini");
  return buf;
}

// Value of `key` in a connect string "K1=v1;K2={v;2}" (case-insensitive key).
std::string connectStringValue(const std::string& s, const std::string& key) {
  size_t i = 0;
  while (i < s.size()) {
    size_t eq = s.find('=', i);
    if (eq == std::string::npos) break;
    std::string k = s.substr(i, eq - i);
    k.erase(0, k.find_first_not_of(' '));
    std::string v;
    size_t j = eq + 1;
    if (j < s.size() && s[j] == '{') {
      size_t close = s.find('}', j);
      v = s.substr(j + 1, (close == std::string::npos ? s.size() : close) - j - 1);
      j = close == std::string::npos ? s.size() : close + 1;
      j = s.find(';', j);
    } else {
      size_t semi = s.find(';', j);
      v = s.substr(j, (semi == std::string::npos ? s.size() : semi) - j);
      j = semi;
    }
    if (upper(k) == upper(key)) return v;
    if (j == std::string::npos) break;
    i = j + 1;
  }
  return "";
}

// Counts the attempt, loads the scenario and runs the scripted connect.
SQLRETURN connect(Dbc& dbc, const std::string& scenarioPath, const std::string& detail) {
  dbc.diags.clear();
  dbc.number = ++gConnectionAttempts;
  dbc.calls.clear();
  dbc.statements = 0;
  dbc.script = ConnectionScript{};
  dbc.logPath.clear();
  if (dbc.connected) {
    addDiag(dbc, "08002", "[wsqltestdrv]Connection name in use");
    return SQL_ERROR;
  }
  if (!scenarioPath.empty()) {
    Scenario sc;
    std::string error;
    if (!loadScenario(scenarioPath, sc, error)) {
      addDiag(dbc, "HY000", "[wsqltestdrv]" + error);
      return SQL_ERROR;
    }
    dbc.logPath = sc.logPath;
    auto it = sc.connections.find(dbc.number);
    dbc.script = it != sc.connections.end() ? it->second : sc.anyConnection;
  }
  logCall(&dbc, "SQLConnect", detail);
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(dbc, nullptr, "SQLCONNECT", dbc, code) && failed(code)) return code;
  dbc.connected = true;
  return code;
}

// ------------------------------------------------------------- statements

// Starts statement number `++dbc.statements` on `stmt` with its script.
void beginStatement(Stmt& s) {
  Dbc& dbc = *s.dbc;
  long n = ++dbc.statements;
  auto it = dbc.script.statements.find(n);
  if (it != dbc.script.statements.end()) s.script = it->second;
  else if (dbc.script.anyStatement) s.script = *dbc.script.anyStatement;
  else s.script = StatementScript{};
  s.calls.clear();
  s.prepared = true;
  s.executed = false;
  s.result = 0;
  s.row = -1;
  s.fetched = 0;
  s.needData = 0;
}

const Result* currentResult(const Stmt& s) {
  return s.result < s.script.results.size() ? &s.script.results[s.result] : nullptr;
}

void startResults(Stmt& s) {
  s.executed = true;
  s.result = 0;
  s.row = -1;
  s.fetched = 0;
  s.getDataOffset.clear();
  s.getDataDone.clear();
}

// Prepare-and-execute of a catalog function, scripted under `call`.
SQLRETURN catalogCall(SQLHSTMT h, const char* call, const std::string& detail) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  beginStatement(*s);
  logCall(s->dbc, call, detail);
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*s->dbc, s, upper(call), *s, code) && failed(code)) {
    s->prepared = false;
    return code;
  }
  startResults(*s);
  return code;
}

std::string wideArg(const SQLWCHAR* s, SQLSMALLINT len) { return s ? fromUtf16(s, len) : "(null)"; }

// ---------------------------------------------------------------- values

// The C type a value of `sqlType` is delivered as for SQL_C_DEFAULT.
SQLSMALLINT defaultCType(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_DATE: case SQL_TYPE_DATE: return SQL_C_TYPE_DATE;
    case SQL_TIME: case SQL_TYPE_TIME: return SQL_C_TYPE_TIME;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    default: return SQL_C_CHAR;
  }
}

// The bytes of a fixed-size C representation of `text`; empty for the
// variable-length types (character, wide, binary) and unknown ones.
std::string fixedBytes(SQLSMALLINT ctype, const std::string& text) {
  auto raw = [](const auto& v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); };
  long long i = std::strtoll(text.c_str(), nullptr, 10);
  switch (ctype) {
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG: return raw(static_cast<int32_t>(i));
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT: return raw(static_cast<int16_t>(i));
    case SQL_C_SBIGINT: case SQL_C_UBIGINT: return raw(static_cast<int64_t>(i));
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_BIT:
      return raw(static_cast<uint8_t>(i));
    case SQL_C_FLOAT: return raw(static_cast<float>(std::strtod(text.c_str(), nullptr)));
    case SQL_C_DOUBLE: return raw(std::strtod(text.c_str(), nullptr));
    case SQL_C_DATE: case SQL_C_TYPE_DATE: {
      int y = 0, m = 0, d = 0;
      std::sscanf(text.c_str(), "%d-%d-%d", &y, &m, &d);
      SQL_DATE_STRUCT v{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m), static_cast<SQLUSMALLINT>(d)};
      return raw(v);
    }
    case SQL_C_TIME: case SQL_C_TYPE_TIME: {
      int h = 0, mi = 0, se = 0;
      std::sscanf(text.c_str(), "%d:%d:%d", &h, &mi, &se);
      SQL_TIME_STRUCT v{static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(se)};
      return raw(v);
    }
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: {
      int y = 0, m = 0, d = 0, h = 0, mi = 0, se = 0, used = 0;
      std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%n", &y, &m, &d, &h, &mi, &se, &used);
      SQLUINTEGER frac = 0;
      if (used > 0 && static_cast<size_t>(used) < text.size() && text[used] == '.') {
        std::string digits = text.substr(used + 1, 9);
        digits.resize(9, '0');
        frac = static_cast<SQLUINTEGER>(std::strtoul(digits.c_str(), nullptr, 10));
      }
      SQL_TIMESTAMP_STRUCT v{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m),  static_cast<SQLUSMALLINT>(d),
                             static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(se),
                             frac};
      return raw(v);
    }
    default: return "";
  }
}

bool isVariable(SQLSMALLINT ctype) { return ctype == SQL_C_CHAR || ctype == SQL_C_WCHAR || ctype == SQL_C_BINARY; }

// The units of a variable-length value (bytes, or UTF-16 units in bytes).
std::string variableBytes(SQLSMALLINT ctype, const std::string& text) {
  if (ctype != SQL_C_WCHAR) return text;
  std::u16string w = toUtf16(text);
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
}

struct Piece {
  SQLLEN indicator = 0;
  bool truncated = false;
  size_t consumed = 0;  // bytes of the value handed out by this piece
};

// Writes the part of a variable-length value from byte `offset` into a
// buffer of `length` bytes, terminated as its C type wants.
Piece putVariable(SQLSMALLINT ctype, const std::string& bytes, size_t offset, SQLPOINTER buf, SQLLEN length) {
  Piece p;
  size_t remaining = bytes.size() - std::min(offset, bytes.size());
  size_t unit = ctype == SQL_C_WCHAR ? 2 : 1;
  size_t term = ctype == SQL_C_BINARY ? 0 : unit;
  size_t room = length > 0 && static_cast<size_t>(length) >= term ? (static_cast<size_t>(length) - term) / unit * unit : 0;
  size_t n = std::min(remaining, room);
  // A surrogate pair is never split between two pieces.
  if (ctype == SQL_C_WCHAR && n < remaining && n >= 2) {
    uint16_t last;
    std::memcpy(&last, bytes.data() + offset + n - 2, 2);
    if (last >= 0xD800 && last < 0xDC00) n -= 2;
  }
  if (buf && length > 0 && static_cast<size_t>(length) >= term) {
    std::memcpy(buf, bytes.data() + offset, n);
    std::memset(static_cast<char*>(buf) + n, 0, term);
  }
  p.indicator = static_cast<SQLLEN>(remaining);
  p.truncated = n < remaining;
  p.consumed = n;
  return p;
}

// Delivers a whole value into a bound or SQLGetData buffer. Returns the
// indicator; `truncated` tells whether text was cut.
SQLLEN putValue(const Column& col, const Value& v, SQLSMALLINT ctype, SQLPOINTER buf, SQLLEN length,
                bool& truncated) {
  truncated = false;
  if (v.null) return SQL_NULL_DATA;
  if (ctype == SQL_C_DEFAULT) {
    if (col.type != kSelfDescribingType) ctype = defaultCType(col.type);
    else {
      // "<sqltype>:<value>": the type code, then the value by its own C type.
      size_t colon = v.text.find(':');
      SQLSMALLINT inner = static_cast<SQLSMALLINT>(std::atoi(v.text.substr(0, colon).c_str()));
      std::string rest = colon == std::string::npos ? "" : v.text.substr(colon + 1);
      SQLSMALLINT innerC = defaultCType(inner);
      std::string bytes = isVariable(innerC) ? variableBytes(innerC, rest) : fixedBytes(innerC, rest);
      if (isVariable(innerC) && innerC != SQL_C_BINARY) bytes.append(innerC == SQL_C_WCHAR ? 2 : 1, '\0');
      std::string all(kSelfDescribingValueOffset, '\0');
      std::memcpy(all.data(), &inner, sizeof inner);
      all += bytes;
      if (buf && length > 0) {
        size_t n = std::min(all.size(), static_cast<size_t>(length));
        std::memcpy(buf, all.data(), n);
        truncated = n < all.size();
      }
      return static_cast<SQLLEN>(all.size());
    }
  }
  if (isVariable(ctype)) {
    Piece p = putVariable(ctype, variableBytes(ctype, v.text), 0, buf, length);
    truncated = p.truncated;
    return p.indicator;
  }
  std::string bytes = fixedBytes(ctype, v.text);
  if (bytes.empty()) return static_cast<SQLLEN>(v.text.size());  // unknown C type: length only
  if (buf) std::memcpy(buf, bytes.data(), length > 0 ? std::min(bytes.size(), static_cast<size_t>(length)) : bytes.size());
  return static_cast<SQLLEN>(bytes.size());
}

// ------------------------------------------------------------ diagnostics

Handle* diagHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV: return as<Env>(h, Kind::Env);
    case SQL_HANDLE_DBC: return as<Dbc>(h, Kind::Dbc);
    case SQL_HANDLE_STMT: return as<Stmt>(h, Kind::Stmt);
    default: return nullptr;
  }
}

// SQLGetFunctions: what the driver implements, less what the scenario denies.
const SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,  SQL_API_SQLFREEHANDLE,    SQL_API_SQLFREESTMT,       SQL_API_SQLSETENVATTR,
    SQL_API_SQLCONNECT,      SQL_API_SQLDRIVERCONNECT, SQL_API_SQLDISCONNECT,     SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLGETCONNECTATTR, SQL_API_SQLSETCONNECTOPTION, SQL_API_SQLGETINFO,   SQL_API_SQLGETFUNCTIONS,
    SQL_API_SQLENDTRAN,      SQL_API_SQLTRANSACT,      SQL_API_SQLPREPARE,        SQL_API_SQLEXECUTE,
    SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLDESCRIBECOL,  SQL_API_SQLROWCOUNT,       SQL_API_SQLBINDCOL,
    SQL_API_SQLFETCH,        SQL_API_SQLGETDATA,       SQL_API_SQLMORERESULTS,    SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLBINDPARAMETER, SQL_API_SQLPARAMDATA,    SQL_API_SQLPUTDATA,        SQL_API_SQLTABLES,
    SQL_API_SQLCOLUMNS,      SQL_API_SQLSTATISTICS,    SQL_API_SQLERROR,          SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETDIAGFIELD, SQL_API_SQLCANCEL};

bool supports(const Dbc& dbc, SQLUSMALLINT id) {
  if (id == SQL_API_SQLMORERESULTS && !dbc.script.moreResults) return false;
  return std::find(std::begin(kFunctions), std::end(kFunctions), id) != std::end(kFunctions);
}

// SQLGetInfo answers: strings, or 16-/32-bit numbers.
struct Info {
  const char* text;
  int bits;
  SQLUINTEGER number;
};

bool infoFor(SQLUSMALLINT type, Info& info) {
  switch (type) {
    case SQL_DRIVER_ODBC_VER: info = {"03.52", 0, 0}; return true;
    case SQL_DRIVER_NAME: info = {"libwsqltestdrv.so", 0, 0}; return true;
    case SQL_DRIVER_VER: info = {"01.00.0000", 0, 0}; return true;
    case SQL_DBMS_NAME: info = {"wsqltest", 0, 0}; return true;
    case SQL_DBMS_VER: info = {"01.00.0000", 0, 0}; return true;
    case SQL_DATA_SOURCE_READ_ONLY: info = {"N", 0, 0}; return true;
    case SQL_CURSOR_COMMIT_BEHAVIOR: case SQL_CURSOR_ROLLBACK_BEHAVIOR: info = {nullptr, 16, SQL_CB_PRESERVE}; return true;
    case SQL_TXN_CAPABLE: info = {nullptr, 16, SQL_TC_ALL}; return true;
    case SQL_MAX_CONCURRENT_ACTIVITIES: case SQL_MAX_DRIVER_CONNECTIONS: info = {nullptr, 16, 0}; return true;
    case SQL_GETDATA_EXTENSIONS: info = {nullptr, 32, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER}; return true;
    case SQL_ASYNC_MODE: info = {nullptr, 32, SQL_AM_NONE}; return true;
    default: return false;
  }
}

template <class Ch>
SQLRETURN getInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len, bool wide) {
  Dbc* dbc = as<Dbc>(h, Kind::Dbc);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diags.clear();
  logCall(dbc, wide ? "SQLGetInfoW" : "SQLGetInfo", std::to_string(type));
  Info info{};
  if (!infoFor(type, info)) {
    addDiag(*dbc, "HY096", "[wsqltestdrv]Information type out of range");
    return SQL_ERROR;
  }
  if (info.text) {
    SQLSMALLINT chars = 0;
    bool cut = wide ? putWide(info.text, static_cast<SQLWCHAR*>(value), max / 2, &chars)
                    : putNarrow(info.text, static_cast<SQLCHAR*>(value), max, &chars);
    if (len) *len = static_cast<SQLSMALLINT>(chars * sizeof(Ch));
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  }
  if (info.bits == 16) {
    if (value) *static_cast<SQLUSMALLINT*>(value) = static_cast<SQLUSMALLINT>(info.number);
    if (len) *len = 2;
  } else {
    if (value) *static_cast<SQLUINTEGER*>(value) = info.number;
    if (len) *len = 4;
  }
  return SQL_SUCCESS;
}

SQLRETURN setConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLULEN value, const char* call) {
  Dbc* dbc = as<Dbc>(h, Kind::Dbc);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diags.clear();
  logCall(dbc, call, std::to_string(attr) + " " + std::to_string(value));
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*dbc, nullptr, "SQLSETCONNECTATTR", *dbc, code) && failed(code)) return code;
  if (attr == SQL_ATTR_AUTOCOMMIT) dbc->autocommit = value;
  return code;
}

SQLRETURN getConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER* len, const char* call) {
  Dbc* dbc = as<Dbc>(h, Kind::Dbc);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diags.clear();
  logCall(dbc, call, std::to_string(attr));
  if (attr != SQL_ATTR_AUTOCOMMIT) {
    addDiag(*dbc, "HY092", "[wsqltestdrv]Invalid attribute/option identifier");
    return SQL_ERROR;
  }
  if (value) *static_cast<SQLUINTEGER*>(value) = static_cast<SQLUINTEGER>(dbc->autocommit);
  if (len) *len = sizeof(SQLUINTEGER);
  return SQL_SUCCESS;
}

SQLRETURN setStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, const char* call) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, call, std::to_string(attr) + " " + std::to_string(reinterpret_cast<SQLULEN>(value)));
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*s->dbc, s, "SQLSETSTMTATTR", *s, code) && failed(code)) return code;
  if (attr == SQL_ATTR_MAX_ROWS) s->maxRows = reinterpret_cast<SQLULEN>(value);
  return code;
}

// Ends the transaction of one connection; on an environment, which no
// driver manager call here uses, there is nothing to script.
SQLRETURN endTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  if (type == SQL_HANDLE_ENV) return as<Env>(h, Kind::Env) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
  Dbc* dbc = type == SQL_HANDLE_DBC ? as<Dbc>(h, Kind::Dbc) : nullptr;
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diags.clear();
  logCall(dbc, "SQLEndTran", std::to_string(completion));
  SQLRETURN code = SQL_SUCCESS;
  scripted(*dbc, nullptr, "SQLENDTRAN", *dbc, code);
  return code;
}

// A parameter value for the call log: its length in bytes and its text.
std::string paramText(const Binding& p, const void* data, SQLLEN length) {
  if (length == SQL_NULL_DATA || !data) return "NULL";
  std::string text;
  if (p.ctype == SQL_C_WCHAR) {
    text = fromUtf16(static_cast<const SQLWCHAR*>(data), length == SQL_NTS ? SQL_NTS : length / 2);
  } else if (p.ctype == SQL_C_CHAR) {
    text = length == SQL_NTS ? std::string(static_cast<const char*>(data))
                             : std::string(static_cast<const char*>(data), static_cast<size_t>(length));
  } else {
    text = "(C type " + std::to_string(p.ctype) + ")";
  }
  return std::to_string(length) + " " + text;
}

// Runs a prepared statement once its parameters are all there.
SQLRETURN finishExecute(Stmt& s, SQLRETURN code) {
  startResults(s);
  s.needData = 0;
  return code;
}

}  // namespace

// ================================================== exported entry points

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (!output) return SQL_ERROR;
  switch (type) {
    case SQL_HANDLE_ENV:
      *output = new Env;
      return SQL_SUCCESS;
    case SQL_HANDLE_DBC:
      if (!as<Env>(input, Kind::Env)) return SQL_INVALID_HANDLE;
      *output = new Dbc;
      return SQL_SUCCESS;
    case SQL_HANDLE_STMT: {
      Dbc* dbc = as<Dbc>(input, Kind::Dbc);
      if (!dbc) return SQL_INVALID_HANDLE;
      dbc->diags.clear();
      logCall(dbc, "SQLAllocHandle", "STMT");
      SQLRETURN code = SQL_SUCCESS;
      if (scripted(*dbc, nullptr, "SQLALLOCSTMT", *dbc, code) && failed(code)) {
        *output = SQL_NULL_HSTMT;
        return code;
      }
      *output = new Stmt(dbc);
      return code;
    }
    default:
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE h) {
  switch (type) {
    case SQL_HANDLE_ENV:
      if (Env* e = as<Env>(h, Kind::Env)) { delete e; return SQL_SUCCESS; }
      return SQL_INVALID_HANDLE;
    case SQL_HANDLE_DBC:
      if (Dbc* d = as<Dbc>(h, Kind::Dbc)) {
        freeStatements(*d);
        delete d;
        return SQL_SUCCESS;
      }
      return SQL_INVALID_HANDLE;
    case SQL_HANDLE_STMT:
      if (Stmt* s = as<Stmt>(h, Kind::Stmt)) {
        s->diags.clear();
        logCall(s->dbc, "SQLFreeHandle", "STMT");
        SQLRETURN code = SQL_SUCCESS;
        if (scripted(*s->dbc, s, "SQLFREESTMT", *s, code) && failed(code)) return code;
        delete s;
        return code;
      }
      return SQL_INVALID_HANDLE;
    default:
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT h, SQLUSMALLINT option) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLFreeStmt", std::to_string(option));
  SQLRETURN code = SQL_SUCCESS;
  if (option == SQL_DROP && scripted(*s->dbc, s, "SQLFREESTMT", *s, code) && failed(code)) return code;
  switch (option) {
    case SQL_DROP: delete s; break;
    case SQL_CLOSE: s->executed = false; s->result = s->script.results.size(); break;
    case SQL_UNBIND: s->columns.clear(); break;
    case SQL_RESET_PARAMS: s->params.clear(); break;
    default: break;
  }
  return code;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV h, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
  return as<Env>(h, Kind::Env) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
}

SQLRETURN SQL_API SQLConnectW(SQLHDBC h, SQLWCHAR* dsn, SQLSMALLINT dsnLen, SQLWCHAR*, SQLSMALLINT, SQLWCHAR*,
                              SQLSMALLINT) {
  Dbc* dbc = as<Dbc>(h, Kind::Dbc);
  if (!dbc) return SQL_INVALID_HANDLE;
  std::string name = fromUtf16(dsn, dsnLen);
  return connect(*dbc, profile(name, "Scenario"), "DSN=" + name);
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC h, SQLHWND, SQLWCHAR* in, SQLSMALLINT inLen, SQLWCHAR* out,
                                    SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT) {
  Dbc* dbc = as<Dbc>(h, Kind::Dbc);
  if (!dbc) return SQL_INVALID_HANDLE;
  std::string str = fromUtf16(in, inLen);
  std::string path = connectStringValue(str, "Scenario");
  if (path.empty()) {
    std::string dsn = connectStringValue(str, "DSN");
    if (!dsn.empty()) path = profile(dsn, "Scenario");
  }
  SQLRETURN code = connect(*dbc, path, str);
  if (!failed(code)) putWide(str, out, outMax, outLen);
  return code;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC h) {
  Dbc* dbc = as<Dbc>(h, Kind::Dbc);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diags.clear();
  logCall(dbc, "SQLDisconnect");
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*dbc, nullptr, "SQLDISCONNECT", *dbc, code) && failed(code)) return code;
  dbc->connected = false;
  freeStatements(*dbc);
  return code;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return setConnectAttr(h, attr, reinterpret_cast<SQLULEN>(value), "SQLSetConnectAttr");
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return setConnectAttr(h, attr, reinterpret_cast<SQLULEN>(value), "SQLSetConnectAttrW");
}

SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC h, SQLUSMALLINT option, SQLULEN value) {
  return setConnectAttr(h, option, value, "SQLSetConnectOption");
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  return getConnectAttr(h, attr, value, len, "SQLGetConnectAttr");
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER, SQLINTEGER* len) {
  return getConnectAttr(h, attr, value, len, "SQLGetConnectAttrW");
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len) {
  return getInfo<SQLCHAR>(h, type, value, max, len, false);
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC h, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len) {
  return getInfo<SQLWCHAR>(h, type, value, max, len, true);
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC h, SQLUSMALLINT id, SQLUSMALLINT* supported) {
  Dbc* dbc = as<Dbc>(h, Kind::Dbc);
  if (!dbc) return SQL_INVALID_HANDLE;
  dbc->diags.clear();
  logCall(dbc, "SQLGetFunctions", std::to_string(id));
  if (!supported) return SQL_SUCCESS;
  if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::memset(supported, 0, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * sizeof(SQLUSMALLINT));
    for (SQLUSMALLINT f : kFunctions)
      if (supports(*dbc, f)) supported[f >> 4] |= static_cast<SQLUSMALLINT>(1 << (f & 0xF));
  } else if (id == SQL_API_ALL_FUNCTIONS) {
    for (SQLUSMALLINT f = 0; f < 100; ++f) supported[f] = supports(*dbc, f) ? SQL_TRUE : SQL_FALSE;
  } else {
    *supported = supports(*dbc, id) ? SQL_TRUE : SQL_FALSE;
  }
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT completion) {
  return endTran(type, h, completion);
}

SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  if (dbc) return endTran(SQL_HANDLE_DBC, dbc, static_cast<SQLSMALLINT>(completion));
  return endTran(SQL_HANDLE_ENV, env, static_cast<SQLSMALLINT>(completion));
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR* text, SQLINTEGER len) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  beginStatement(*s);
  logCall(s->dbc, "SQLPrepareW", fromUtf16(text, len));
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*s->dbc, s, "SQLPREPARE", *s, code) && failed(code)) s->prepared = false;
  return code;
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  std::string params;
  for (const auto& [number, p] : s->params)
    if (p.indicator && *p.indicator != SQL_DATA_AT_EXEC && *p.indicator > SQL_LEN_DATA_AT_EXEC_OFFSET)
      params += " param " + std::to_string(number) + " " + paramText(p, p.buffer, *p.indicator);
  logCall(s->dbc, "SQLExecute", params.empty() ? "" : params.substr(1));
  if (!s->prepared) {
    addDiag(*s, "HY010", "[wsqltestdrv]Function sequence error");
    return SQL_ERROR;
  }
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*s->dbc, s, "SQLEXECUTE", *s, code) && failed(code)) return code;
  for (const auto& [number, p] : s->params) {
    if (!p.indicator || (*p.indicator != SQL_DATA_AT_EXEC && *p.indicator > SQL_LEN_DATA_AT_EXEC_OFFSET)) continue;
    if (!s->dbc->script.dataAtExec) {
      addDiag(*s, "HYC00", "[wsqltestdrv]Optional feature not implemented");
      return SQL_ERROR;
    }
    s->needData = 1;
    s->needParam = number;
    return SQL_NEED_DATA;
  }
  return finishExecute(*s, code);
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT, SQLSMALLINT ctype, SQLSMALLINT,
                                   SQLULEN, SQLSMALLINT, SQLPOINTER value, SQLLEN length, SQLLEN* indicator) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLBindParameter", std::to_string(number));
  s->params[number] = Binding{ctype, value, length, indicator};
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT h, SQLPOINTER* token) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLParamData");
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*s->dbc, s, "SQLPARAMDATA", *s, code) && failed(code)) return code;
  if (s->needData == 1) {
    if (token) *token = s->params[s->needParam].buffer;
    s->needData = 2;
    return SQL_NEED_DATA;
  }
  if (s->needData == 2) return finishExecute(*s, code);
  addDiag(*s, "HY010", "[wsqltestdrv]Function sequence error");
  return SQL_ERROR;
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN length) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLPutData", paramText(s->params[s->needParam], data, length));
  if (s->needData != 2) {
    addDiag(*s, "HY010", "[wsqltestdrv]Function sequence error");
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                             SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* types, SQLSMALLINT typesLen) {
  return catalogCall(h, "SQLTables", wideArg(cat, catLen) + " " + wideArg(sch, schLen) + " " +
                                          wideArg(tab, tabLen) + " " + wideArg(types, typesLen));
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                              SQLWCHAR* tab, SQLSMALLINT tabLen, SQLWCHAR* col, SQLSMALLINT colLen) {
  return catalogCall(h, "SQLColumns", wideArg(cat, catLen) + " " + wideArg(sch, schLen) + " " +
                                           wideArg(tab, tabLen) + " " + wideArg(col, colLen));
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR* cat, SQLSMALLINT catLen, SQLWCHAR* sch, SQLSMALLINT schLen,
                                 SQLWCHAR* tab, SQLSMALLINT tabLen, SQLUSMALLINT unique, SQLUSMALLINT reserved) {
  return catalogCall(h, "SQLStatistics", wideArg(cat, catLen) + " " + wideArg(sch, schLen) + " " +
                                              wideArg(tab, tabLen) + " " + std::to_string(unique) + " " +
                                              std::to_string(reserved));
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT* count) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLNumResultCols");
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*s->dbc, s, "SQLNUMRESULTCOLS", *s, code) && failed(code)) return code;
  const Result* r = s->prepared ? currentResult(*s) : nullptr;
  if (count) *count = r ? static_cast<SQLSMALLINT>(std::min<size_t>(r->columns.size(), 32767)) : 0;
  return code;
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT col, SQLWCHAR* name, SQLSMALLINT nameMax,
                                  SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                  SQLSMALLINT* nullable) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLDescribeColW", std::to_string(col));
  SQLRETURN code = SQL_SUCCESS;
  bool ruled = scripted(*s->dbc, s, "SQLDESCRIBECOL", *s, code);
  if (ruled && failed(code)) return code;
  const Result* r = s->prepared ? currentResult(*s) : nullptr;
  if (!r || col < 1 || col > r->columns.size()) {
    addDiag(*s, "07009", "[wsqltestdrv]Invalid descriptor index");
    return SQL_ERROR;
  }
  const Column& c = r->columns[col - 1];
  bool cut = putWide(c.name, name, nameMax, nameLen);
  if (type) *type = c.type;
  if (size) *size = c.size;
  if (digits) *digits = c.digits;
  if (nullable) *nullable = c.nullable;
  if (cut && !ruled) {
    addDiag(*s, "01004", "[wsqltestdrv]String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return code;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN* count) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLRowCount");
  SQLRETURN code = SQL_SUCCESS;
  if (scripted(*s->dbc, s, "SQLROWCOUNT", *s, code) && failed(code)) return code;
  const Result* r = s->executed ? currentResult(*s) : nullptr;
  SQLLEN n = r ? r->rowCount.value_or(r->columns.empty() ? 0 : -1) : -1;
  if (count) *count = n;
  return code;
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buffer, SQLLEN length,
                             SQLLEN* indicator) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLBindCol", std::to_string(col) + " " + std::to_string(ctype) + " " + std::to_string(length));
  if (buffer == nullptr && indicator == nullptr) s->columns.erase(col);
  else s->columns[col] = Binding{ctype, buffer, length, indicator};
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLFetch");
  const Result* r = s->executed ? currentResult(*s) : nullptr;
  if (!r || r->columns.empty()) {
    addDiag(*s, "24000", "[wsqltestdrv]Invalid cursor state");
    return SQL_ERROR;
  }
  SQLRETURN code = SQL_SUCCESS;
  bool ruled = scripted(*s->dbc, s, "SQLFETCH", *s, code);
  if (ruled && failed(code)) return code;
  if ((s->maxRows > 0 && static_cast<SQLULEN>(s->fetched) >= s->maxRows) ||
      static_cast<size_t>(s->row + 1) >= r->rows.size()) {
    s->row = static_cast<long>(r->rows.size());
    return ruled ? code : SQL_NO_DATA;
  }
  ++s->row;
  ++s->fetched;
  s->getDataOffset.clear();
  s->getDataDone.clear();
  const Row& row = r->rows[static_cast<size_t>(s->row)];
  bool anyCut = false;
  for (auto& [col, b] : s->columns) {
    if (col < 1 || col > row.values.size()) continue;
    bool cut = false;
    SQLLEN ind = putValue(r->columns[col - 1], row.values[col - 1], b.ctype, b.buffer, b.length, cut);
    anyCut = anyCut || cut;
    if (row.indicators[col - 1]) ind = *row.indicators[col - 1];
    if (b.indicator) *b.indicator = ind;
  }
  if (anyCut && !ruled) {
    addDiag(*s, "01004", "[wsqltestdrv]String data, right truncated");
    return SQL_SUCCESS_WITH_INFO;
  }
  return code;
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER buffer, SQLLEN length,
                             SQLLEN* indicator) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLGetData", std::to_string(col) + " " + std::to_string(ctype) + " " + std::to_string(length));
  const Result* r = s->executed ? currentResult(*s) : nullptr;
  if (!r || s->row < 0 || static_cast<size_t>(s->row) >= r->rows.size()) {
    addDiag(*s, "24000", "[wsqltestdrv]Invalid cursor state");
    return SQL_ERROR;
  }
  if (col < 1 || col > r->columns.size()) {
    addDiag(*s, "07009", "[wsqltestdrv]Invalid descriptor index");
    return SQL_ERROR;
  }
  SQLRETURN code = SQL_SUCCESS;
  bool ruled = scripted(*s->dbc, s, "SQLGETDATA", *s, code);
  if (ruled && failed(code)) return code;
  const Column& c = r->columns[col - 1];
  const Value& v = r->rows[static_cast<size_t>(s->row)].values[col - 1];
  if (c.getData == GetDataMode::NoData || s->getDataDone[col]) return SQL_NO_DATA;
  if (v.null || !isVariable(ctype)) {
    bool cut = false;
    SQLLEN ind = putValue(c, v, ctype, buffer, length, cut);
    if (indicator) *indicator = ind;
    s->getDataDone[col] = true;
    return code;
  }
  std::string bytes = variableBytes(ctype, v.text);
  size_t& offset = s->getDataOffset[col];
  Piece p = putVariable(ctype, bytes, offset, buffer, length);
  offset += p.consumed;
  SQLLEN ind = p.indicator;
  if (c.getData == GetDataMode::Nts && ctype != SQL_C_BINARY) ind = SQL_NTS;
  else if (c.getData == GetDataMode::NoTotal && p.truncated) ind = SQL_NO_TOTAL;
  if (indicator) *indicator = ind;
  if (p.truncated) {
    addDiag(*s, "01004", "[wsqltestdrv]String data, right truncated");
    return ruled ? code : SQL_SUCCESS_WITH_INFO;
  }
  s->getDataDone[col] = true;
  return code;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
  Stmt* s = as<Stmt>(h, Kind::Stmt);
  if (!s) return SQL_INVALID_HANDLE;
  s->diags.clear();
  logCall(s->dbc, "SQLMoreResults");
  SQLRETURN code = SQL_SUCCESS;
  bool ruled = scripted(*s->dbc, s, "SQLMORERESULTS", *s, code);
  if (ruled && failed(code)) return code;
  if (!s->executed || s->result + 1 >= s->script.results.size()) {
    s->result = s->script.results.size();
    return ruled ? code : SQL_NO_DATA;
  }
  ++s->result;
  s->row = -1;
  s->fetched = 0;
  return code;
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return setStmtAttr(h, attr, value, "SQLSetStmtAttr");
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT h, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER) {
  return setStmtAttr(h, attr, value, "SQLSetStmtAttrW");
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT h) { return as<Stmt>(h, Kind::Stmt) ? SQL_SUCCESS : SQL_INVALID_HANDLE; }

SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLWCHAR* state,
                                 SQLINTEGER* native, SQLWCHAR* message, SQLSMALLINT max, SQLSMALLINT* len) {
  Handle* hd = diagHandle(type, h);
  if (!hd) return SQL_INVALID_HANDLE;
  if (rec < 1) return SQL_ERROR;
  if (static_cast<size_t>(rec) > hd->diags.size()) return SQL_NO_DATA;
  const Diag& d = hd->diags[static_cast<size_t>(rec - 1)];
  putWide(d.state, state, 6, nullptr);
  if (native) *native = d.native;
  return putWide(d.message, message, max, len) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE h, SQLSMALLINT rec, SQLSMALLINT field,
                                   SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len) {
  Handle* hd = diagHandle(type, h);
  if (!hd) return SQL_INVALID_HANDLE;
  if (rec == 0) {
    if (field == SQL_DIAG_NUMBER) {
      if (value) *static_cast<SQLINTEGER*>(value) = static_cast<SQLINTEGER>(hd->diags.size());
      return SQL_SUCCESS;
    }
    if (field == SQL_DIAG_RETURNCODE || field == SQL_DIAG_ROW_COUNT || field == SQL_DIAG_CURSOR_ROW_COUNT) {
      if (value && field == SQL_DIAG_RETURNCODE) *static_cast<SQLRETURN*>(value) = SQL_SUCCESS;
      else if (value) *static_cast<SQLLEN*>(value) = 0;
      return SQL_SUCCESS;
    }
    return SQL_ERROR;
  }
  if (rec < 1) return SQL_ERROR;
  if (static_cast<size_t>(rec) > hd->diags.size()) return SQL_NO_DATA;
  const Diag& d = hd->diags[static_cast<size_t>(rec - 1)];
  auto text = [&](const std::string& t) {
    SQLSMALLINT chars = 0;
    bool cut = putWide(t, static_cast<SQLWCHAR*>(value), max / 2, &chars);
    if (len) *len = static_cast<SQLSMALLINT>(chars * 2);
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
  };
  switch (field) {
    case SQL_DIAG_SQLSTATE: return text(d.state);
    case SQL_DIAG_MESSAGE_TEXT: return text(d.message);
    case SQL_DIAG_NATIVE:
      if (value) *static_cast<SQLINTEGER*>(value) = d.native;
      return SQL_SUCCESS;
    case SQL_DIAG_CLASS_ORIGIN: case SQL_DIAG_SUBCLASS_ORIGIN:
      return text(d.state.rfind("IM", 0) == 0 ? "ODBC 3.0" : "ISO 9075");
    case SQL_DIAG_CONNECTION_NAME: case SQL_DIAG_SERVER_NAME: return text("");
    case SQL_DIAG_COLUMN_NUMBER: case SQL_DIAG_ROW_NUMBER:
      if (value) *static_cast<SQLLEN*>(value) = -1;
      return SQL_SUCCESS;
    default: return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLErrorW(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLWCHAR* state, SQLINTEGER* native,
                            SQLWCHAR* message, SQLSMALLINT max, SQLSMALLINT* len) {
  Handle* hd = stmt ? static_cast<Handle*>(as<Stmt>(stmt, Kind::Stmt))
               : dbc ? static_cast<Handle*>(as<Dbc>(dbc, Kind::Dbc))
                     : static_cast<Handle*>(as<Env>(env, Kind::Env));
  if (!hd) return SQL_INVALID_HANDLE;
  if (hd->diags.empty()) return SQL_NO_DATA;
  Diag d = hd->diags.front();
  hd->diags.erase(hd->diags.begin());
  putWide(d.state, state, 6, nullptr);
  if (native) *native = d.native;
  return putWide(d.message, message, max, len) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // extern "C"
