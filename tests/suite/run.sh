#!/usr/bin/env bash
# Runs the test files under tests/suite with wsql's own test runner, against
# fresh copies of the test data on SQLite, PostgreSQL and MariaDB: data
# sources named sqlite, pg and mariadb, databases named wsql_suite (the names
# are in the expected output).
#   run.sh WSQL [RUNNER OPTIONS...]   e.g. --record to write new expected files
. "$(dirname "${BASH_SOURCE[0]}")/../server/common.sh"
needs WSQL_PG_PORT WSQL_MARIADB_PORT WSQL_PG_TEMPLATE
shift
DB=wsql_suite
pg_admin() {
  PGPASSWORD=$WSQL_PG_PASSWORD psql -X -q -v ON_ERROR_STOP=1 -h "$WSQL_PGHOST" \
    -p "$WSQL_PG_PORT" -U "$WSQL_PG_USER" -d postgres "$@" >/dev/null
}
drop_dbs() {
  pg_admin -c "DROP DATABASE IF EXISTS $DB WITH (FORCE)"
  wsql_mariadb_client -e "DROP DATABASE IF EXISTS $DB"
}
on_exit() { drop_dbs >/dev/null 2>&1 || true; }
drop_dbs 2>/dev/null
wsql_sqlite_db "$WORK/test.sqlite"
pg_admin -c "CREATE DATABASE $DB TEMPLATE \"$WSQL_PG_TEMPLATE\""
wsql_mariadb_load "$DB" "$ROOT/tests/data/mariadb.sql" >/dev/null
{ wsql_odbc_entry sqlite "$WORK/test.sqlite"; wsql_odbc_entry pg "$DB"; wsql_odbc_entry mariadb "$DB"; } >"$ODBCINI"
export TZ=UTC HOME=$WORK
unset LANG LANGUAGE PGHOST PGPORT PGUSER PGPASSWORD PGDATABASE MYSQL_HOST MYSQL_TCP_PORT MYSQL_PWD
# The MariaDB server quotes its version in messages; a server update changes no file.
# tests/suite/lenient runs with --lenient as well.
cd "$ROOT"
sources=(--dsn=sqlite --dsn=pg --dsn=mariadb --mask='[0-9.]+-MariaDB[-+.~a-z0-9]*')
rc=0
"$WSQL" --test -e "${sources[@]}" "$@" tests/suite/echo tests/suite/slt || rc=$?
"$WSQL" --test -e --lenient "${sources[@]}" "$@" tests/suite/lenient || rc=$?
# Every csv and json value of tests/suite/readback, read back by Python against
# what sqlite3, psql and the mariadb client print of the same rows.
RB=tests/suite/readback
pg_client() {
  PGPASSWORD=$WSQL_PG_PASSWORD psql -X -q -v ON_ERROR_STOP=1 -h "$WSQL_PGHOST" \
    -p "$WSQL_PG_PORT" -U "$WSQL_PG_USER" -d $DB "$@"
}
query="select * from readback order by id;"
pg_client -f $RB/pg.sql >/dev/null
pg_client -A -F $'\x1f' -R $'\x1e' -P footer=off -P null=$'\x01' -c "$query" >"$WORK/pg.ref"
wsql_mariadb_client -D $DB <$RB/mariadb.sql
wsql_mariadb_client -D $DB --xml --binary-as-hex -e "$query" >"$WORK/mariadb.ref"
sqlite3 -bail "$WORK/test.sqlite" <$RB/sqlite.sql
sqlite3 -json "$WORK/test.sqlite" "$query" >"$WORK/sqlite.ref"
for db in sqlite pg mariadb; do
  for f in csv json; do
    "$WSQL" -q -m 0 --format=$f --command "$query" $db >"$WORK/$db.$f" 2>"$WORK/$db.err" || cat "$WORK/$db.err"
  done
  python3 $RB/compare.py "$WORK/$db.ref" $db "$WORK/$db.csv" "$WORK/$db.json" || { echo "FAIL readback [$db]"; rc=1; }
done
exit $rc
