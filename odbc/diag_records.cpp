// Diagnostic records read into memory, for the code that talks ODBC on
// connections of its own (test-run children, driver-report probes) and lays
// the records out itself.
#include <algorithm>

#include "isqlodbc.h"
#include "zvunicode.h"

namespace {
constexpr SQLSMALLINT kStateUnits = 5;
constexpr SQLSMALLINT kMessageUnits = 1024;  // a longer message is cut
// A driver that answers every record number does not hold the reader up.
constexpr SQLSMALLINT kMaxRecords = 64;
}  // namespace

std::vector<IsqlDiagRecord> isql_diag_records(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<IsqlDiagRecord> out;
    for (SQLSMALLINT rec = 1; rec <= kMaxRecords; ++rec) {
        SQLWCHAR state[kStateUnits + 1] = {};
        SQLWCHAR message[kMessageUnits] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, rec, state, &native, message, kMessageUnits, &length)))
            break;
        const auto units = static_cast<size_t>(std::clamp<SQLSMALLINT>(length, 0, kMessageUnits - 1));
        out.push_back({utf8_of_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(state), kStateUnits)),
                       utf8_of_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(message), units))});
    }
    return out;
}
