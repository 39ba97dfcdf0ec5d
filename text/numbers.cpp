// Counts given on the command line.
#include <cerrno>
#include <cstdlib>

#include "isqlnumber.h"

bool isql_parse_count(const std::string& text, long long limit, long long& out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0' || n < 1 || n > limit) return false;
    out = n;
    return true;
}
