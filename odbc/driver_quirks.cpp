// What lenient mode knows of particular drivers: one table, keyed by the
// driver's file name (SQL_DRIVER_NAME) and the first version it applies to
// (SQL_DRIVER_VER, compared as text: drivers give fixed-width numbers). The
// next quirk is a new field of DriverQuirks and a row here.
#include <cstring>

#include "isql.h"
#include "isqlodbc.h"

namespace {
struct KnownQuirk {
    const char* driverName;
    const char* firstVersion;
    DriverQuirks quirks;
};

const KnownQuirk kKnownQuirks[] = {
    // MariaDB Connector/ODBC appends "LIMIT n" to the statement text whenever
    // SQL_ATTR_MAX_ROWS is set, which the server refuses after CREATE, DROP,
    // CALL or SIGNAL.
    {"libmaodbc.so", "03.00.0000", {.rewritesMaxRows = true}},
};

constexpr SQLSMALLINT kInfoBytes = 256;
DriverQuirks gQuirks;  // of the driver on the shared connection
}  // namespace

const DriverQuirks& isql_driver_quirks() { return gQuirks; }

void isql_learn_driver_quirks(SQLHDBC hdbc) {
    gQuirks = DriverQuirks{};
    char name[kInfoBytes] = "";
    char version[kInfoBytes] = "";
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(hdbc, SQL_DRIVER_NAME, name, kInfoBytes, &length)) ||
        !SQL_SUCCEEDED(SQLGetInfo(hdbc, SQL_DRIVER_VER, version, kInfoBytes, &length)))
        return;
    for (const KnownQuirk& known : kKnownQuirks)
        if (strcmp(name, known.driverName) == 0 && strcmp(version, known.firstVersion) >= 0)
            gQuirks = known.quirks;
}

void isql_forget_driver_quirks() { gQuirks = DriverQuirks{}; }
