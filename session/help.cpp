// The HELP command: the command forms the client understands.
#include "isql.h"
#include "isqltm.h"

namespace {
constexpr const char* kHelpLines[] = {
    "List of commands supported by Interactive SQL\n\n",
    "> AUTOCOMMIT ON|OFF\n",
    "> CMDFILE file_name\n",
    "> COMMIT\n",
    "> CONNECT user*password@database\n",
    "> CONNECT \"user@example.com\"*\"password\"@database\n",
    "> CUSTOMCONNECT \"connect string\"\n",
    "> DISCONNECT\n",
    "> MULTICONNECT count user*password@database\n",
    "> MULTIDISCONNECT\n",
    "> ECHO information;\n",
    "> # comment\n",
    "> SHOW TABLES [CATALOG[.OWNER[.TABLE_NAME]]] [;]\n",
    "> LIST TABLES [CATALOG[.OWNER[.TABLE_NAME]]] [;]\n",
    "> DESCRIBE [[CATALOG.]OWNER.]TABLE_NAME [;]\n",
    "> DESCRIBE select_stmt;\n",
    "> EXEC sql_stmt;\n",
    "> !sql_stmt;\n",
    "> sql_stmt;\n",
    "> EXIT\n",
    "> FETCH block_size\n",
    "> HELP\n",
    "> MAXROWS number\n",
    "> NCMDFILE unicode file_name\n",
    "> QUERYTIMEOUT number\n",
    "> REPEAT number\n  command 1\n  ...\n  command n\n  END\n",
    "> RESFILE {file_name}\n",
    "> ROLLBACK\n",
    "> TIMER START\n",
    "> TIMER STOP\n",
    "> WAIT time_in_seconds\n",
};
}  // namespace

void isql_cmdhelp() {
    for (const char* line : kHelpLines) isql_trace(gfpResFile, TRACE_NOTICE, "%s", line);
}
