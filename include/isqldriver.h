// The driver report (wsql --driver-report, --diff-reports, \driver: what a
// driver claims, probes of those claims, the diff of two reports; the code
// under driver/). The one way in from the session and the executable.
#pragma once

#include <sql.h>

#include <string>

// Whether the command line asks for a report or a diff: --driver-report or
// --diff-reports before any "--".
bool isql_driver_requested(int argc, char** argv);
// Runs it; the exit status: a report 0 written, 2 not (no connection, bad
// options); a diff 0 equal, 1 different, 2 a file unreadable or no report.
int isql_driver_main(int argc, char** argv);
// The options, the probes and what each one checks, for --help=driver.
const char* isql_driver_help();

// The few items a user checks first, of a connection the session holds, as
// lines of text.
std::string isql_driver_summary(SQLHDBC dbc);
// The whole report as text, its probes run on connections of their own made
// from the session's data source, connect string, user and password. False
// with why (the diagnostics) when the data source cannot be reached.
bool isql_driver_full_report(SQLHENV env, SQLHDBC dbc, const std::string& dsn, const std::string& connect,
                             const std::string& user, const std::string& password, std::string& text,
                             std::string& why);
