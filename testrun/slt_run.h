// A sqllogictest file run against a data source: in the child, the records
// are executed and compared; the parent gets the outcome through a pipe.
#pragma once

#include <string>
#include <vector>

#include "options.h"

struct SltOutcome {
    std::string engine;                 // sqllogictest's name of the database
    std::vector<std::string> failures;  // "line N: what went wrong", in file order
    std::string actual;                 // the file with every query's actual results
    std::string toWrite;                // what --record writes; empty: nothing
    long ran = 0;                       // records run
    bool skipped = false;               // nothing ran: the file halted or skipped all on this engine
};

// Runs the file at path on source (null: none was given) in this process
// and writes the encoded outcome to fd. The exit status of the child.
int slt_child(const std::string& path, const TestSource* source, const std::string& user, RecordMode record,
              int fd);

// Reads what slt_child wrote; false when it is not whole (the child died).
bool slt_decode(const std::string& bytes, SltOutcome& out);

// Connects to source and writes its database's name (the lower-cased first
// word of SQL_DBMS_NAME) to fd, encoded as an outcome: engine, or a failure.
int dbms_probe_child(const TestSource& source, const std::string& user, int fd);
