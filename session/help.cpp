// The HELP command: the help lines of the command table, in its order.
#include "isql.h"
#include "isqlcmd.h"
#include "isqltm.h"

void isql_cmdhelp() {
    isql_trace(gfpResFile, TRACE_NOTICE, "List of commands supported by Interactive SQL\n\n");
    for (const CommandInfo& command : isql_command_table())
        for (const char* line : command.help)
            if (line != nullptr) isql_trace(gfpResFile, TRACE_NOTICE, "%s", line);
}
