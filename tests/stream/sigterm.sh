#!/usr/bin/env bash
# A session stopped by SIGTERM in the middle of a result loses no row it had
# formatted: the output is rows 1..k, whole and in order, also those still in
# its buffer. The result's first 100000 rows come at once, then SQLite
# (stepping row by row) searches on without end; the signal comes once the
# last full buffer before that reached the file and wsql ran on in user
# space, so no write of its own is under way.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

printf '[step]\nDriver=SQLite3\nDatabase=%s/s.db\nStepAPI=1\n' "$WORK" >>odbc.ini
printf 'connect step\nwith recursive n(i) as (select 1 union all select i + 1 from n) select i from n where i <= 100000 or i < 0;\n' |
  "$WSQL" -q -m 0 >out 2>err &
pid=$!
{ printf 'ISQL> ISQL> i\t\n\n'; seq 1 100000 | sed 's/$/\t/'; } >rows
whole=$(stat -c %s rows)
# The prompts are written before the statement is read; the rows go out in
# buffers of 64 KiB after them.
flushed=$((12 + (whole - 12) / 65536 * 65536))
user_ticks() { awk '{ print $14 }' "/proc/$pid/stat"; }
for _ in $(seq 1200); do [ "$(stat -c %s out)" -ge "$flushed" ] && break; sleep 0.05; done
ticks=$(user_ticks)
for _ in $(seq 1200); do [ "$(user_ticks)" -ge $((ticks + 2)) ] && break; sleep 0.05; done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
fail() { echo "sigterm: $*"; exit 1; }
[ "$status" -eq 143 ] || fail "expected the end by SIGTERM (143), got $status"
size=$(stat -c %s out)
[ "$size" -gt "$flushed" ] || fail "the rows in the buffer were lost ($size bytes)"
cmp -n "$size" out rows || fail "the output is not the first rows in order"
[ -z "$(tail -c 1 out)" ] || fail "the output ends inside a row"
echo "sigterm: ok, $size of $whole bytes"
