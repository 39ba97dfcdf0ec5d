# Shared set-up of the stream tests: a private SQLite data source "s" in a
# temporary folder, and the SQLite driver registered beside it.
set -euo pipefail
WSQL=$(readlink -f "$1")
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/testlib.sh
. "$ROOT/scripts/testlib.sh"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/wsql-stream.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
wsql_write_odbcinst "$WORK" "$ROOT" >/dev/null
printf '[s]\nDriver=SQLite3\nDatabase=%s/s.db\n' "$WORK" >"$WORK/odbc.ini"
export ODBCSYSINI=$WORK ODBCINI=$WORK/odbc.ini LC_ALL=C.UTF-8
cd "$WORK"

fail() { echo "$(basename "$0" .sh): $*"; exit 1; }
# normalise FILE -> the elapsed-time figures replaced by N
normalise() { sed -E -e 's/-?[0-9]+ ms/N ms/g' -e 's/\r$//' "$1"; }
