// Product version and the build report of -v.
#include <cstdio>

#include "isqltm.h"
#include "platform.h"

namespace {
constexpr const char kProductVersion[] = "8.1.0.0163";
}

const char* ZvGetProductVersion() { return kProductVersion; }

// Written on standard output whatever the trace mask.
void versionInfo() {
    printf("Product Version: %s\n", ZvGetProductVersion());
    printf("Compiled with the following flags:\n");
    printf("EXPORTDLL\tTM_TRACE\tOPTIMIZE_TM_TRACE\tLINT_ARGS\tPACK_PACKET\t"
           "MEASURE_TURN_AROUND_TIME\tSUPPORT_SESS_FORK\tMEASURE_TIME\t\n");
    printf("Compiled on %s,%s\n", __TIME__, __DATE__);
    fflush(stdout);
}
