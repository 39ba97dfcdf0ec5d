# Shared set-up of the stream tests: the server tests' set-up, a private
# SQLite data source "s" in the temporary folder, and the SQLite driver
# registered beside it.
. "$(dirname "${BASH_SOURCE[0]}")/../server/common.sh"
wsql_write_odbcinst "$WORK" "$ROOT" >/dev/null
wsql_odbc_entry sqlite "$WORK/s.db" s >"$WORK/odbc.ini"
export ODBCSYSINI=$WORK
# normalise FILE -> the elapsed-time figures replaced by N
normalise() { sed -E -e 's/-?[0-9]+ ms/N ms/g' -e 's/\r$//' "$1"; }
