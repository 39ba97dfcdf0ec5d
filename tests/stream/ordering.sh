#!/usr/bin/env bash
# Results and errors written to one file keep the order of the calls: the
# buffered output (both streams on a file) is byte for byte what the
# write-through output on a terminal shows, for the commands of ordering.sql.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

sqlite3 s.db "create table t(x integer, y text); insert into t values (1,'a'),(2,'b'),(3,NULL);"

cmds=$ROOT/tests/stream/ordering.sql
"$WSQL" -m 0 <"$cmds" >buffered 2>&1
# Under a terminal both streams are written through at once.
script -qec "\"$WSQL\" -m 0 <\"$cmds\"" /dev/null >terminal 2>&1

diff -u <(normalise terminal) <(normalise buffered) ||
  fail "buffered output differs from write-through output"
# The session really mixed the two streams.
grep -q 'no such table' buffered || fail "no error in the output"
grep -q 'Rows selected = 3' buffered || fail "no result in the output"
echo "ordering: ok"
