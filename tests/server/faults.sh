#!/usr/bin/env bash
# The PostgreSQL server is stopped while one wsql session fetches a long
# result, and again while it runs a long statement. Each failing call prints
# the driver's diagnostics, the session goes on, nothing hangs, and CONNECT
# works once the server is back.
# The session reads its commands from a pipe that this script feeds step by
# step, and the server is stopped only once the query is seen running on it,
# so the order of events does not depend on timing.
# Needs the test server of scripts/test (run alone: it stops that server).
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
needs WSQL_PG_DATA WSQL_PG_PORT
# Seconds before the session is killed: far more than the steps need.
SESSION_TIMEOUT=90
# Seconds to wait for a query to show up on the server.
APPEAR_TIMEOUT=30
pid=""
on_exit() {
  exec 3>&-
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  # Leave the server running whatever happened.
  pg_ctl status || pg_start || true
}
# Fetching through a cursor, ten rows at a time, keeps the result on the
# server while it is printed.
pg_entry UseDeclareFetch=1 Fetch=10 >odbc.ini

# wait_for_query PATTERN -> returns once a session on the server runs a query
# matching the SQL LIKE pattern; fails after APPEAR_TIMEOUT seconds.
wait_for_query() {
  local i n
  for ((i = 0; i < APPEAR_TIMEOUT * 10; i++)); do
    n=$(PGPASSWORD=$WSQL_PG_PASSWORD 3>&- psql -X -A -t -h "$WSQL_PGHOST" -p "$WSQL_PG_PORT" \
      -U "$WSQL_PG_USER" -d postgres -c \
      "select count(*) from pg_stat_activity where datname = 'postgres' and state = 'active' and pid <> pg_backend_pid() and query like '$1'")
    [ "$n" -gt 0 ] && return 0
    sleep 0.1
  done
  fail "no query like '$1' showed up on the server"
}

mkfifo in
timeout --foreground -k 5 "$SESSION_TIMEOUT" "$WSQL" -q <in >out 2>err &
pid=$!
exec 3>in

# 1. Stopped during a long result: 2000 rows, 20 ms each on the server.
printf 'connect pg\nmaxrows 0\nselect g, pg_sleep(0.02) as s from generate_series(1, 2000) g;\n' >&3
wait_for_query 'fetch % in "SQL_CUR%'
pg_ctl stop -m fast -w
printf "select 'while stopped' as phase;\n" >&3
pg_start
printf "connect pg\nselect 'after the long result' as phase;\n" >&3

# 2. Stopped during a long statement (sent with the cursor's declaration).
printf 'select pg_sleep(60) as long_statement;\n' >&3
wait_for_query '%select pg_sleep(60) as long_statement%'
pg_ctl stop -m fast -w
pg_start
printf "connect pg\nselect 'after the long statement' as phase;\n" >&3
exec 3>&-

status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 124 ] && fail "wsql did not end within $SESSION_TIMEOUT s"
[ "$status" -eq 0 ] || fail "wsql ended with status $status"

rows=$(grep -c -E '^[0-9]+		$' out || true)
[ "$rows" -gt 0 ] || fail "no row of the long result was printed"
[ "$rows" -lt 2000 ] || fail "the long result was printed whole"
grep -qx 'while stopped	' out && fail "'while stopped' should have failed"
grep -qx 'long_statement	' out && fail "the long statement should have failed"
for phase in 'after the long result' 'after the long statement'; do
  grep -qx "$phase	" out || fail "no result for '$phase'"
done
grep -q '^ODBC Call     = SQLFetch()$' err || fail "no diagnostics for the failed fetch"
# The fetch, the statement while stopped and the long statement.
[ "$(grep -c '^The following error information describes the failure$' err)" -ge 3 ] ||
  fail "expected diagnostics for the fetch and the two statements"
echo "faults: ok"
