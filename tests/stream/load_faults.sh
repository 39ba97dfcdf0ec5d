#!/usr/bin/env bash
# A load run that went wrong says so. A script that would fail at every
# execution, or a threshold that cannot be read or names no statement of it,
# is refused before any job starts; a job whose output could not be
# written whole makes the status 4; a killed job's counts are marked as lower
# bounds; merged reports do not wrap at 2^64 nor count a run twice in silence;
# a run stopped by SIGTERM cancels the statements under way, counts them and
# exits 143.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# refused WHY ARGS... -> a load run with ARGS ran nothing, said WHY and exited with 2
refused() {
  local why=$1; shift
  rc=0; "$WSQL" --jobs 1 --runs 1 "$@" s >out 2>err || rc=$?
  [ "$rc" = 2 ] || fail "$* ended with $rc, not 2"
  grep -qF -- "SQL: $why" err && grep -q '; the load run did not start$' err || fail "$*: no \"$why\" in: $(cat err)"
  [ ! -s out ] || fail "$*: a run was reported"
}
printf '# lookups\nselect 1;\nselect ${WSQL_RANDOM(5,1)};\n' >bad.sql
refused 'Line 3 of bad.sql: expected ${WSQL_RANDOM(LOW,HIGH)} with integers LOW <= HIGH' -c bad.sql
refused 'Line 1 of --command: unknown substitution ${WSQL_FOO}' --command 'select ${WSQL_FOO};'
refused 'Line 1 of --command: no closing "}" after ${WSQL_JOB' --command "select '\${WSQL_JOB';"
refused 'Line 1 of --command: the statement has no closing ";"' --command 'select 1'
refused '--threshold=p99<20: a latency needs its unit us, ms or s, not ""' --threshold='p99<20' --command 'select 1;'
refused '--threshold=select 2:p99<2ms: the script has no statement "select 2"' --threshold='select 2:p99<2ms' \
  --command 'select 1;'
refused '--interval must be a number of seconds from 1 to 86400' --interval=0 --command 'select 1;'
printf '# nothing yet\n\n' >empty.sql
refused 'Nothing to run: empty.sql holds only empty lines and comments' -c empty.sql
refused '--rate must be a number of passes per second above 0 and at most 10000000, or FROM:TO' --rate=0:0
refused '--rate=FROM:TO needs --duration' --rate=1:2
refused '--latency-limit must be a number of milliseconds above 0' --latency-limit=1e3
refused '--progress must be a number of seconds from 1 to 604800' --progress=0.5

# A job's output on a full file system: a small tmpfs where one can be
# mounted, else a file size limit (the job's error file may be cut as well).
mkdir full
if mount -t tmpfs -o size=64k tmpfs full 2>/dev/null; then
  trap 'on_exit; umount "$WORK/full"; rm -rf "$WORK"' EXIT
  limit() { "$@"; }
else
  limit() { (trap '' XFSZ; ulimit -f 64; "$@"); }
fi
rows='with recursive n(i) as (select 1 union all select i + 1 from n where i < 50000) select i from n;'
rc=0; limit "$WSQL" -m 0 --jobs 1 --runs 1 --job-output=full/out --command "$rows" s >out 2>err || rc=$?
[ "$rc" = 4 ] || fail "a job whose output was cut ended with $rc, not 4"
grep -q 'SQL: Output of job 1 was lost: full/out/job-1.out, .err or a file it opened is not whole' err ||
  fail "the cut output went unsaid"
grep -q ' completed, output lost$' out || fail "the report does not tell the lost output"

# A job killed: its counts are lower bounds, in the text, the JSON and a merge.
setsid "$WSQL" --jobs 1 --duration 60 --report=k.json --command 'select 1;' s >out 2>err & pid=$!
on_exit() { kill -KILL -- -"$pid" 2>/dev/null || true; }
for _ in $(seq 600); do [ -n "$(cat "/proc/$pid/task/$pid/children")" ] && break; sleep 0.05; done
kill -KILL $(cat "/proc/$pid/task/$pid/children")
rc=0; wait "$pid" || rc=$?
[ "$rc" = 1 ] || fail "a run with a killed job ended with $rc, not 1"
grep -q 'killed by signal 9 (counts incomplete)$' out || fail "the killed job's counts look exact"
grep -q '"complete": false' k.json || fail "the JSON report has the killed job's counts as exact"
# The same report twice: said, and merged as asked.
rc=0; "$WSQL" --merge-reports k.json k.json >out 2>err || rc=$?
[ "$rc" = 1 ] || fail "merging a report with itself ended with $rc"
grep -q 'SQL: Warning: k.json holds run [0-9a-f]\{32\}, which is merged already' err || fail "no warning of a run merged twice"
[ "$(grep -c '(counts incomplete)$' out)" = 2 ] || fail "the merge lost the mark of incomplete counts"
# Counts that would pass 2^64 - 1 are refused, not wrapped.
sed -E 's/("job": 1, "statements": [0-9]+, "failed_commands": )[0-9]+/\118446744073709551615/' k.json >big.json
rc=0; "$WSQL" --merge-reports big.json k.json >out 2>err || rc=$?
[ "$rc" = 2 ] || fail "a merge past 2^64 - 1 ended with $rc, not 2"
grep -q 'SQL: Could not merge the report k.json: the merged counts would pass 18446744073709551615' err ||
  fail "no reason for the refused merge"

# Stopped by SIGTERM inside statements on PostgreSQL: the parent stops its
# jobs at once, every job's statement is cancelled on the server before wsql
# exits, and counted as cancelled.
if [ -z "${WSQL_PG_PORT:-}" ]; then
  [ -z "${WSQL_REQUIRE_DB:-}" ] || fail "no test server (WSQL_PG_PORT unset; see scripts/testenv)"
  echo "load_faults: ok (no PostgreSQL test server: its stop not tried)"
  exit 0
fi
pg_entry >>odbc.ini
sleeping() {
  PGPASSWORD=$WSQL_PG_PASSWORD psql -X -A -t -h "$WSQL_PGHOST" -p "$WSQL_PG_PORT" -U "$WSQL_PG_USER" -d postgres -c \
    "select count(*) from pg_stat_activity where query like 'select pg_sleep(40)%' and pid <> pg_backend_pid()"
}
setsid "$WSQL" --jobs 2 --duration 60 --command 'select pg_sleep(40);' pg >out 2>err & pid=$!
for _ in $(seq 600); do [ "$(sleeping)" -ge 2 ] && break; sleep 0.05; done
kill -TERM "$pid"
SECONDS=0; rc=0; wait "$pid" || rc=$?
[ "$SECONDS" -lt 10 ] || fail "the load run went on for $SECONDS s after SIGTERM"
sleep 1
[ "$(sleeping)" = 0 ] || fail "the statements of the stopped jobs still run on the server"
[ "$rc" = 143 ] || fail "the load run stopped by SIGTERM ended with $rc, not 143"
grep -Eq '^cancelled +2  ' out || fail "the two statements under way were not counted as cancelled"
[ "$(grep -Ec '^ +[12] +1 .* stopped$' out)" = 2 ] || fail "no report of two stopped jobs"
echo "load_faults: ok"
