// Product version and the build report of -v.

#include "isqltm.h"
#include "platform.h"

namespace {
constexpr const char kProductVersion[] = "8.1.0.0163";
}

const char* ZvGetProductVersion() { return kProductVersion; }

// Written on standard output whatever the trace mask.
void versionInfo() {
    isql_print_always(stdout, "Product Version: %s\n", ZvGetProductVersion());
    isql_print_always(stdout, "Compiled with the following flags:\n");
    isql_print_always(stdout, "EXPORTDLL\tTM_TRACE\tOPTIMIZE_TM_TRACE\tLINT_ARGS\tPACK_PACKET\t"
           "MEASURE_TURN_AROUND_TIME\tSUPPORT_SESS_FORK\tMEASURE_TIME\t\n");
    isql_print_always(stdout, "Compiled on %s,%s\n", __TIME__, __DATE__);
}
