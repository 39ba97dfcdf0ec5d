#!/usr/bin/env bash
# The PostgreSQL server is restarted, then stopped and started again, while
# one wsql session runs: each failing statement prints the driver's
# diagnostics, the session goes on, and CONNECT works once the server is back.
# Needs the test server of scripts/test (run alone: it stops that server).
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
needs WSQL_PG_DATA WSQL_PG_PORT
# Leave the server running whatever happened.
on_exit() { pg_ctl status || pg_start || true; }
pg_entry >odbc.ini

# The WAITs leave room for the server changes made below at 1.5 s, 5.5 s
# and 9.5 s after the start.
cat >cmds <<'SQL'
connect pg
select 'before' as phase;
wait 4
select 'after restart' as phase;
connect pg
select 'reconnected' as phase;
wait 4
select 'while stopped' as phase;
connect pg
wait 4
connect pg
select 'back again' as phase;
SQL
timeout 60 "$WSQL" -q <cmds >out 2>err &
pid=$!
sleep 1.5
pg_ctl restart -m fast -w
sleep 4
pg_ctl stop -m fast -w
sleep 4
pg_start
status=0
wait "$pid" || status=$?

[ "$status" -eq 0 ] || fail "wsql ended with status $status"
for phase in before reconnected 'back again'; do
  grep -qx "$phase	" out || fail "no result for '$phase'"
done
for phase in 'after restart' 'while stopped'; do
  grep -qx "$phase	" out && fail "'$phase' should have failed"
done
# Two failed statements and one failed CONNECT, each with a diagnostics block.
[ "$(grep -c '^The following error information describes the failure$' err)" -ge 3 ] ||
  fail "expected diagnostics for the two statements and the connect"
grep -q '^SQL: Can'"'"'t connect to database pg$' err || fail "no connect failure while stopped"
echo "restart: ok"
