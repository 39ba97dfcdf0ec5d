// JUnit XML, as CI systems read it: one testsuite per data source, one
// testcase per file.
#pragma once

#include <string>
#include <vector>

struct JunitCase {
    enum class Outcome { Passed, Failed, Skipped };
    std::string name;        // the file's path
    double seconds = 0;
    Outcome outcome = Outcome::Passed;
    std::string message;     // failure or skip: one line
    std::string details;     // failure: the diff
};

struct JunitSuite {
    std::string name;  // the data source
    std::vector<JunitCase> cases;
};

// The whole document.
std::string junit_xml(const std::vector<JunitSuite>& suites);
