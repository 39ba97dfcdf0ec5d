#!/usr/bin/env bash
# A session stopped by SIGTERM in the middle of a long result loses no row it
# had formatted: the output ends with a complete row, rows 1..k in order.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

sqlite3 s.db "create table big(x integer); with recursive c(n) as (select 1 union all select n + 1 from c limit 3000000) insert into big select n from c;"
printf 'connect s\nselect x from big;\n' >cmds

"$WSQL" -q -m 0 <cmds >out 2>err &
pid=$!
# Wait until rows are streaming, then stop it.
for _ in $(seq 1 200); do
  [ -s out ] && [ "$(stat -c %s out)" -gt 1000000 ] && break
  sleep 0.05
done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
if [ "$status" -ne 143 ]; then
  echo "sigterm: expected the session to end by SIGTERM (143), got $status"
  exit 1
fi
# Skip the prompt, the header line and the empty line after it.
awk 'NR == 1 { next } NR == 2 { if ($0 != "") bad = 1; next }
     { if ($0 != (NR - 2) "\t") { print "sigterm: line " NR " is [" $0 "]"; bad = 1; exit } }
     END { exit bad }' out
if [ "$(tail -c 1 out | od -An -c | tr -d ' ')" != '\n' ]; then
  echo "sigterm: the output ends inside a row"
  exit 1
fi
rows=$(($(wc -l <out) - 2))
if [ "$rows" -ge 3000000 ]; then
  echo "sigterm: the session ended before the signal; nothing was tested"
  exit 1
fi
echo "sigterm: ok, $rows whole rows written before the signal"
