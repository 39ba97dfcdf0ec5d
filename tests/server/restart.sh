#!/usr/bin/env bash
# The PostgreSQL server is restarted, then stopped and started again, while
# one wsql session runs: each failing statement prints the driver's
# diagnostics, the session goes on, and CONNECT works once the server is back.
# Needs the test server of scripts/test (run alone: it stops that server).
set -euo pipefail
WSQL=$(readlink -f "$1")
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/testlib.sh
. "$ROOT/scripts/testlib.sh"

if [ -z "${WSQL_PG_DATA:-}" ] || [ -z "${WSQL_PG_PORT:-}" ]; then
  echo "restart: no PostgreSQL test server (see scripts/testenv)"
  [ -n "${WSQL_REQUIRE_DB:-}" ] && exit 1
  exit 77
fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/wsql-restart.XXXXXX")
pg_ctl() { wsql_as_pg "$WSQL_PG_BINDIR/pg_ctl" -D "$WSQL_PG_DATA" "$@" >/dev/null; }
cleanup() {
  # Leave the server running whatever happened.
  pg_ctl status || pg_ctl start -w -l "$WSQL_PG_DATA/../server.log" -o "-p $WSQL_PG_PORT" || true
  rm -rf "$WORK"
}
trap cleanup EXIT
printf '[pg]\nDriver=PostgreSQL Unicode\nServername=%s\nPort=%s\nDatabase=postgres\nUsername=%s\nPassword=%s\nSSLmode=disable\n' \
  "$WSQL_PGHOST" "$WSQL_PG_PORT" "$WSQL_PG_USER" "$WSQL_PG_PASSWORD" >"$WORK/odbc.ini"
export ODBCINI=$WORK/odbc.ini LC_ALL=C.UTF-8
cd "$WORK"

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
pg_ctl start -w -l "$WSQL_PG_DATA/../server.log" -o "-p $WSQL_PG_PORT"
status=0
wait "$pid" || status=$?

fail() { echo "restart: $*"; echo "--- stdout"; cat out; echo "--- stderr"; cat err; exit 1; }
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
