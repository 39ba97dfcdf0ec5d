#!/bin/sh
# The `check` of the failures/lost_connection_* cases: the driver saw one
# statement only, the one that lost the connection; wsql refuses the later
# ones itself.
n=$(grep -c -E '^[0-9]+ (SQLPrepareW|SQLTables|SQLColumns|SQLStatistics)( |$)' calls.log)
[ "$n" = 1 ] || { echo "the driver saw $n statements, expected 1:"; cat calls.log; exit 1; }
