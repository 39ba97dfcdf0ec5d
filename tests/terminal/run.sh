#!/usr/bin/env bash
# Runs one terminal case of terminal.py: run.sh WSQL CASE
#
# Sets up a private folder with the SQLite data sources "sqlite" and "step"
# (the same copy of the test data, the latter fetching row by row) and, when
# the PostgreSQL test server of scripts/testenv is known (WSQL_PG_PORT etc.),
# "pg" on its maintenance database, then drives WSQL through a
# pseudo-terminal. HOME is a folder of its own, for the history file.
#
# Exit status: 0 passed, 1 failed, 77 skipped (no python3-pexpect, or a case
# that needs PostgreSQL without the test server; WSQL_REQUIRE_DB=1 makes
# that a failure).
set -euo pipefail
WSQL=$(readlink -f "$1")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=scripts/testlib.sh
. "$ROOT/scripts/testlib.sh"

if ! python3 -c 'import pexpect' 2>/dev/null; then
  echo "terminal: python3-pexpect not installed (scripts/setup)"
  [ -n "${WSQL_REQUIRE_DB:-}" ] && exit 1
  exit 77
fi
WORK=$(mktemp -d "${TMPDIR:-/tmp}/wsql-terminal.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
if [ -n "${WSQL_SQLITE_TEMPLATE:-}" ]; then
  cp -- "$WSQL_SQLITE_TEMPLATE" test.sqlite
else
  sqlite3 -bail test.sqlite <"$ROOT/tests/data/sqlite.sql" >/dev/null
fi
if [ -z "${ODBCSYSINI:-}" ]; then
  wsql_write_odbcinst "$WORK/sys" >/dev/null
  export ODBCSYSINI=$WORK/sys
fi
{
  printf '[sqlite]\nDriver=SQLite3\nDatabase=%s\n' "$WORK/test.sqlite"
  printf '[step]\nDriver=SQLite3\nDatabase=%s\nStepAPI=1\n' "$WORK/test.sqlite"
  if [ -n "${WSQL_PG_PORT:-}" ] && [ -n "${WSQL_PGHOST:-}" ]; then
    printf '[pg]\nDriver=PostgreSQL Unicode\nServername=%s\nPort=%s\nDatabase=postgres\nUsername=%s\nPassword=%s\nSSLmode=disable\n' \
      "$WSQL_PGHOST" "$WSQL_PG_PORT" "$WSQL_PG_USER" "$WSQL_PG_PASSWORD"
  fi
} >odbc.ini
mkdir home
env -u LANG -u LANGUAGE -u EDITRC LC_ALL=C.UTF-8 TERM=xterm HOME="$WORK/home" \
  ODBCINI="$WORK/odbc.ini" WSQL_HAVE_PG="${WSQL_PG_PORT:+1}" \
  timeout --foreground -k 10 300 python3 "$HERE/terminal.py" "$WSQL" "$2"
