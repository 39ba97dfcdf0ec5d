// The claim sections of a report, read from a connected handle.
#pragma once

#include "probe_odbc.h"
#include "report.h"
#include "zvunicode.h"

// The driver's path is found through env from the data source name dsn.
ReportSection collect_driver(SQLHENV env, SQLHDBC dbc, const std::string& dsn);
ReportSection collect_info(SQLHDBC dbc);
ReportSection collect_functions(SQLHDBC dbc);
ReportSection collect_types(SQLHDBC dbc);
ReportSection collect_attributes(SQLHDBC dbc);
// One decoded SQLGetInfo answer by its name ("" for an unknown name).
std::string info_value(SQLHDBC dbc, const char* name);
std::string utf8_of_utf16_view(const char16_t* units, size_t count);
