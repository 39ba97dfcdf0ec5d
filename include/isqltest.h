// The test runner (wsql --test: test files, their expected output and the
// report; the code under testrun/). The one way in from the executable.
#pragma once

// Whether the command line asks for a test run: --test before any "--".
bool isql_test_requested(int argc, char** argv);

// Runs the test run the command line asks for; its exit status: 0 all
// passed, 1 some failed, 2 the run could not start.
int isql_test_main(int argc, char** argv);

// The options of test runs, for --help=test.
const char* isql_test_help();
