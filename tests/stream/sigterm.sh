#!/usr/bin/env bash
# A session stopped by SIGTERM in the middle of a result loses no row it had
# formatted: the output is rows 1..k, whole and in order, also those still in
# its buffer. The result's first 100000 rows come at once, then SQLite
# (stepping row by row) searches on without end; the signal comes once the
# last full buffer before that reached the file and wsql ran on in user
# space, so no write of its own is under way.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

wsql_odbc_entry sqlite "$WORK/s.db" step >>odbc.ini
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
[ "$status" -eq 143 ] || fail "expected the end by SIGTERM (143), got $status"
size=$(stat -c %s out)
[ "$size" -gt "$flushed" ] || fail "the rows in the buffer were lost ($size bytes)"
cmp -n "$size" out rows || fail "the output is not the first rows in order"
[ -z "$(tail -c 1 out)" ] || fail "the output ends inside a row"
echo "sigterm: rows kept, $size of $whole bytes"

# The signal while a write is under way (the reader of the pipe has paused,
# so wsql waits in write(2)): no byte is written twice, no row is cut.
sqlite3 s.db "create table big(x integer); with recursive c(n) as (select 1 union all select n + 1 from c limit 3000000) insert into big select n from c;"
{ printf 'ISQL> ISQL> x\t\n\n'; seq 1 3000000 | sed 's/$/\t/'; } >rows
for _ in 1 2 3 4 5; do
  rm -f pipe; mkfifo pipe
  printf 'connect s\nselect x from big;\n' | "$WSQL" -q -m 0 >pipe 2>err & pid=$!
  { head -c 1000000 >out; sleep 0.3; kill -TERM "$pid"; cat >>out; } <pipe
  wait "$pid" || true
  size=$(stat -c %s out)
  cmp -n "$size" out rows || fail "a write interrupted by the signal repeated or lost bytes"
  [ -z "$(tail -c 1 out)" ] || fail "the output ends inside a row after an interrupted write"
done

echo "sigterm: ok"
