# Shared set-up of the server, stream and terminal tests, sourced with wsql's path as $1: WSQL, the
# test library, a temporary folder WORK as the current folder and ODBCINI in
# it, and the helpers below. A test defines on_exit for its own clean-up.
set -euo pipefail
WSQL=$(readlink -f "$1")
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
NAME=$(basename "$0" .sh)
# shellcheck source=scripts/testlib.sh
. "$ROOT/scripts/testlib.sh"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/wsql-$NAME.XXXXXX")
on_exit() { :; }
trap 'on_exit; rm -rf "$WORK"' EXIT
export ODBCINI=$WORK/odbc.ini LC_ALL=C.UTF-8
cd "$WORK"

# skip TEXT -> ends the test as skipped (failed with WSQL_REQUIRE_DB), saying why.
skip() { echo "$NAME: $*"; [ -z "${WSQL_REQUIRE_DB:-}" ] || exit 1; exit 77; }
# needs VAR... -> skips the test when a VAR of the test servers' environment is unset.
needs() { local v; for v; do [ -n "${!v:-}" ] || skip "no test server ($v unset; see scripts/testenv)"; done; }

# pg_entry [LINE...] -> the data source "pg" on the test server's database
# postgres as the test role, with the extra LINEs.
pg_entry() { wsql_odbc_entry pg postgres; [ $# -eq 0 ] || printf '%s\n' "$@"; }

# pg_ctl ARGS... -> the test server's pg_ctl, quiet; the server it starts must
# not inherit a session's input pipe (descriptor 3), or the session would
# never see its end.
pg_ctl() { wsql_as_pg "$WSQL_PG_BINDIR/pg_ctl" -D "$WSQL_PG_DATA" "$@" >/dev/null 3>&-; }
pg_start() { pg_ctl start -w -l "$WSQL_PG_DATA/../server.log" -o "-p $WSQL_PG_PORT"; }

# fail TEXT -> ends the test as failed, with the session's outputs.
fail() {
  echo "$NAME: $*"
  for f in out err; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}
