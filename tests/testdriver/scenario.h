// The scenario of the scripted test driver: what one scenario file says, as
// read by loadScenario (scenario.cpp, where the file format is described).
#pragma once

#include <sql.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace wsqltestdrv {

struct Diag {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;
};

struct Rule {
  std::string call;  // canonical call name, e.g. "SQLEXECUTE"
  long nth = 0;      // 0: every call
  SQLRETURN code = SQL_SUCCESS;
  std::vector<Diag> diags;
};

enum class GetDataMode { Length, NoTotal, Nts, NoData };

struct Column {
  std::string name;
  SQLSMALLINT type = SQL_VARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = SQL_NULLABLE;
  GetDataMode getData = GetDataMode::Length;
};

struct Value {
  bool null = false;
  std::string text;
};

struct Row {
  std::vector<Value> values;
  std::vector<std::optional<SQLLEN>> indicators;  // scripted overrides
};

struct Result {
  std::vector<Column> columns;
  std::vector<Row> rows;
  std::optional<SQLLEN> rowCount;
};

struct StatementScript {
  std::vector<Rule> rules;
  std::vector<Result> results;
};

struct ConnectionScript {
  std::vector<Rule> rules;
  bool moreResults = true;
  bool dataAtExec = true;
  std::map<long, StatementScript> statements;
  std::optional<StatementScript> anyStatement;
};

struct Scenario {
  std::string logPath;
  std::map<long, ConnectionScript> connections;
  ConnectionScript anyConnection;
};

// Reads the scenario file at `path` into `sc`; on failure `error` says where
// and why.
bool loadScenario(const std::string& path, Scenario& sc, std::string& error);

// Canonical rule name of an ODBC call name ("SQLExecute" -> "SQLEXECUTE",
// aliases folded: SQLDriverConnect -> SQLCONNECT...); empty when unknown.
std::string canonicalCall(const std::string& name);

std::string upper(std::string s);

}  // namespace wsqltestdrv
