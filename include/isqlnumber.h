// Counts given on the command line: pure, no output.
#pragma once

#include <string>

// A decimal number from 1 to limit, digits only; false for anything else
// (sign, blanks, overflow, trailing text).
bool isql_parse_count(const std::string& text, long long limit, long long& out);
