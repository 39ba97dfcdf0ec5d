// The built-in workloads of load runs: pgbench's TPC-B-like transaction and
// its select-only one as scripts (--workload), and the four tables they run
// on, made and loaded as each database does it fastest (--init, --scale).
#pragma once

#include <string>

#include "isql.h"
#include "options.h"

// The script of r.workload at r.scale. False (said) when a script is given
// as well: -c, -n, --command, or bytes waiting on standard input.
bool load_workload_script(const LoadRequest& r, ClientState& first, std::string& script);

// Drops and makes pgbench_branches, pgbench_tellers, pgbench_accounts and
// pgbench_history for scale on the command line's connection, loads them in
// one transaction (the DDL too where the database allows it) and writes a
// one-line summary. It runs in a child process, so that the jobs forked
// later come from a process that never loaded a driver. The exit status of
// --init: 0 done; after the diagnostics, 2 when it could not start (no data
// source, no connection, a database it does not know) and 1 when a
// statement failed.
int load_init_tables(ClientState* first, long scale);

// --init with no run after it (r.initAlone): the exit status.
int load_init_main(const LoadRequest& r, ClientState* first);
