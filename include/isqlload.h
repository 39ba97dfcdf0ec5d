// Load runs: many jobs, each a session of its own on its own connection,
// running one script concurrently, and the report of what they measured
// (the code under load/). The one way in from the executable.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "isql.h"

// What the command line asked of a load run.
struct LoadArguments {
    // The load options in the order given: name without "--", and value
    // (empty for --merge-reports). None: no load run.
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> operands;  // the arguments after the options
    bool scriptUnreadable = false;      // -c or -n named a file that did not open
};

// Runs the load run, or the merge of reports, that args ask for and returns
// the exit status; called after the options and before ODBC is set up.
int isql_load_main(ClientState* first, const LoadArguments& args);
