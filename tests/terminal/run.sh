#!/usr/bin/env bash
# Runs one terminal case of terminal.py: run.sh WSQL CASE
#
# Sets up a private folder with the SQLite data sources "sqlite" and "step"
# (the same copy of the test data, both fetching row by row; "step" names the
# data source of the cases that rely on that) and, when
# the PostgreSQL test server of scripts/testenv is known (WSQL_PG_PORT etc.),
# "pg" on its maintenance database, then drives WSQL through a
# pseudo-terminal. HOME is a folder of its own, for the history file.
#
# Exit status: 0 passed, 1 failed, 77 skipped (no python3-pexpect, or the
# cases "cancel" and "completion_lost", which need PostgreSQL, without the
# test server; WSQL_REQUIRE_DB=1 makes that a failure).
. "$(dirname "${BASH_SOURCE[0]}")/../server/common.sh"
# shellcheck disable=SC2034  # read by skip and needs
NAME=terminal/$2
python3 -c 'import pexpect' 2>/dev/null || skip "python3-pexpect not installed (scripts/setup)"
case $2 in cancel | completion_lost) needs WSQL_PG_PORT WSQL_PGHOST ;; esac
wsql_sqlite_db test.sqlite
[ -n "${ODBCSYSINI:-}" ] || { wsql_write_odbcinst "$WORK/sys" >/dev/null; export ODBCSYSINI=$WORK/sys; }
{
  wsql_odbc_entry sqlite "$WORK/test.sqlite"
  wsql_odbc_entry sqlite "$WORK/test.sqlite" step
  [ -z "${WSQL_PG_PORT:-}" ] || [ -z "${WSQL_PGHOST:-}" ] || pg_entry
} >odbc.ini
mkdir home
env -u LANG -u LANGUAGE -u EDITRC LC_ALL=C.UTF-8 TERM=xterm HOME="$WORK/home" \
  timeout --foreground -k 10 300 python3 "$ROOT/tests/terminal/terminal.py" "$WSQL" "$2"
