#!/usr/bin/env bash
# The built-in workloads on SQLite, PostgreSQL and MariaDB: a tpcb-like run
# after --init keeps every balance equal to the deltas of its history (in
# total and per account and teller, so every statement of a pass met the
# same rows), and --init alone loads the tables anew. A script given beside
# --workload is refused.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

rc=0; echo 'select 1;' | "$WSQL" --workload=select-only --jobs 1 --runs 1 s >out 2>err || rc=$?
[ "$rc" = 2 ] && grep -q '^SQL: --workload takes the place of the script' err || fail "a piped script beside --workload ran"

db=wsql_workload_$$
pg() { PGPASSWORD=$WSQL_PG_PASSWORD psql -X -q -h "$WSQL_PGHOST" -p "$WSQL_PG_PORT" -U "$WSQL_PG_USER" -d postgres "$@"; }
on_exit() {
  [ -z "${WSQL_PG_PORT:-}" ] || pg -c "drop database if exists $db" >/dev/null 2>&1
  [ -z "${WSQL_MARIADB_PORT:-}" ] || wsql_mariadb_client -e "drop database if exists $db" >/dev/null 2>&1
}
sources=s
if [ -n "${WSQL_PG_PORT:-}" ]; then
  pg -c "create database $db" && wsql_odbc_entry pg "$db" >>odbc.ini && sources+=" pg"
fi
if [ -n "${WSQL_MARIADB_PORT:-}" ]; then
  wsql_mariadb_client -e "create database $db" && wsql_odbc_entry mariadb "$db" >>odbc.ini && sources+=" mariadb"
fi
[ "$sources" != s ] || [ -z "${WSQL_REQUIRE_DB:-}" ] || fail "no test servers (see scripts/testenv)"

# The differences of the three balances from the deltas, the accounts and
# tellers whose balance is not their history's, and the history's rows.
drift() {
  local sum='(select sum(delta) from pgbench_history)' q
  q="select (select sum(abalance) from pgbench_accounts) - $sum as a, (select sum(tbalance) from pgbench_tellers) - $sum as t,
    (select sum(bbalance) from pgbench_branches) - $sum as b, (select count(*) from pgbench_accounts x join
    (select aid, sum(delta) as d from pgbench_history group by aid) h on h.aid = x.aid where x.abalance <> h.d) as wrong_a,
    (select count(*) from pgbench_tellers x join (select tid, sum(delta) as d from pgbench_history group by tid) h
    on h.tid = x.tid where x.tbalance <> h.d) as wrong_t, (select count(*) from pgbench_history) as n;"
  "$WSQL" -q --format=csv --command "$q" "$1" 2>/dev/null | tail -n 1 | tr -d '\r'
}
for dsn in $sources; do
  rc=0; "$WSQL" --init --scale=1 --workload=tpcb-like --jobs 2 --runs 40 "$dsn" >out 2>err || rc=$?
  [ "$rc" = 0 ] && [ ! -s err ] || fail "$dsn: the tpcb-like run ended with $rc"
  grep -q '^Initialised scale 1 on [A-Za-z]*: 100011 rows loaded in [0-9.]* s$' out || fail "$dsn: no line of --init"
  grep -q '^Passes (complete runs of the script): 80 ' out || fail "$dsn: not 80 passes"
  [ "$(drift "$dsn")" = 0,0,0,0,0,80 ] || fail "$dsn: balances and history disagree: $(drift "$dsn")"
  "$WSQL" --workload=select-only --jobs 2 --runs 20 "$dsn" >out 2>&1 && grep -q 'failed commands: 0$' out ||
    fail "$dsn: the select-only run failed"
  "$WSQL" --init "$dsn" >out 2>err && [ "$(drift "$dsn")" = ",,,0,0,0" ] || fail "$dsn: --init alone kept the run's rows"
done
echo "load_workload: ok ($sources)"
