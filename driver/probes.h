// The probes: small checks of a claim against what the driver does, each in
// a child process with a connection of its own and a time limit.
#pragma once

#include <span>

#include "probe_odbc.h"
#include "report.h"

struct ProbeContext {
    SQLHDBC dbc;
    std::string table;  // a name of its own for the probe's table
    std::string dbms;   // SQL_DBMS_NAME, for the few statements that differ
};

struct ProbeDef {
    const char* name;
    const char* checks;  // what it checks, for --help=driver and the manual
    ProbeResult (*run)(ProbeContext&);
};

std::span<const ProbeDef> probe_table();

// Runs each probe in a child that connects to source anew; a child that does
// not answer within seconds is killed. Results in the table's order.
std::vector<ProbeResult> run_probes(const ReportSource& source, int seconds);
// One probe's result line of the wire between child and parent, and back.
std::string probe_wire(const ProbeResult& r);
bool probe_from_wire(const std::string& line, ProbeResult& r);
