#!/usr/bin/env bash
# wsql --test itself: negative controls (planted errors in copies of the
# sqllogictest suite must fail with a diff and status 1), record mode, a
# missing expected file, a malformed record, a file that hangs, JUnit, shards
# and parallel files, and the runs that cannot start (status 2). On a private
# SQLite data source "s"; the planted copies also on PostgreSQL and MariaDB
# when their test servers are there.
. "$(dirname "${BASH_SOURCE[0]}")/../stream/common.sh"
# run NAME ARGS... -> wsql --test ARGS, its report in NAME.out, its status in $rc
run() { local name=$1; shift; rc=0; "$WSQL" --test "$@" >"$name.out" 2>"$name.err" </dev/null || rc=$?; }
# expect NAME STATUS TEXT... -> the run NAME ended with STATUS and its report holds each TEXT
expect() {
  local name=$1 status=$2 t; shift 2
  [ "$rc" = "$status" ] || fail "$name: status $rc, not $status: $(cat "$name.out" "$name.err")"
  for t; do grep -qF -- "$t" "$name.out" "$name.err" || fail "$name: no \"$t\" in: $(cat "$name.out" "$name.err")"; done
}
: >"$WORK/s.db"
SUITE=$ROOT/tests/suite/slt

# Negative controls: one planted error in each file of the suite.
mkdir planted
for f in "$SUITE"/*.test; do cp "$f" planted/; done
sed -i 's/^1\.500$/1.501/' planted/common.test
sed -i 's/^integer,real,text,null$/integer,real,text,text/' planted/sqlite_only.test
sed -i 's/^3 xxx$/3 xx/' planted/postgresql_only.test
sed -i 's/^1-2-3$/1-2-4/' planted/mysql_only.test
sources=(--dsn=s)
if [ -n "${WSQL_PG_PORT:-}" ] && [ -n "${WSQL_MARIADB_PORT:-}" ]; then
  wsql_mariadb_client -e 'CREATE DATABASE IF NOT EXISTS wsql_runner'
  { wsql_odbc_entry pg postgres; wsql_odbc_entry mariadb wsql_runner; } >>"$ODBCINI"
  sources+=(--dsn=pg --dsn=mariadb)
fi
run planted "${sources[@]}" planted
expect planted 1 '=== FAIL planted/common.test' 'line 10: the results differ' '-1.501' '+1.500' \
  '=== FAIL planted/sqlite_only.test' '+integer,real,text,null'
[ ${#sources[@]} = 1 ] || expect planted 1 'planted/postgresql_only.test [pg]' '+3 xxx' \
  'planted/mysql_only.test [mariadb]' '+1-2-3' '0 passed, 6 failed, 6 skipped'
tail -n 1 planted.out | grep -qE '^0 passed, [0-9]+ failed, [0-9]+ skipped$' || fail "planted: last line: $(tail -n 1 planted.out)"
# What failed is told, and no expected file was touched without --record.
cmp -s planted/common.test <(sed 's/^1\.500$/1.501/' "$SUITE/common.test") || fail "planted: a file changed without --record"

# --record=all fills the results in place; the file passes then.
run recorded --dsn=s --record=all planted/sqlite_only.test planted/common.test
expect recorded 0 'wrote planted/sqlite_only.test' 'wrote planted/common.test' '2 passed, 0 failed, 0 skipped'
cmp -s planted/common.test "$SUITE/common.test" || fail "record: common.test is not what it was before the plant"

# Scripts: a missing expected file, then --record, then a pass; a mask.
mkdir scripts
printf 'connect s\nselect 40 + 2 as answer;\n# mask: answer\n' >scripts/a.sql
printf 'connect s\nselect bogus;\n' >scripts/c.sql
run missing --dsn=s scripts
expect missing 1 'FAIL    scripts/a.sql' 'no expected file scripts/a.out (--record writes it)'
run record --record --on-error=stop scripts
expect record 0 'wrote scripts/a.out' 'wrote scripts/c.out' '2 passed, 0 failed, 0 skipped'
[ "$(tail -n 1 scripts/c.out)" = '[exit status 3]' ] || fail "record: no exit status in: $(cat scripts/c.out)"
grep -q '^<masked>' scripts/a.out && grep -qx 'Elapsed time N ms.' scripts/a.out || fail "record: masks not applied: $(cat scripts/a.out)"
sed -i 's/^42/41/' scripts/a.out
run differs --diff-dir=diffs --on-error=stop scripts
expect differs 1 '-41' '+42' 'the output differs from scripts/a.out'
[ -s diffs/scripts/a.sql.diff ] && grep -q '^42' diffs/scripts/a.sql.actual || fail "differs: --diff-dir kept no diff or output"

# A malformed record fails its file only; a hanging script is stopped.
printf 'query X\nselect 1\n' >scripts/bad.test
printf 'wait 30\n' >scripts/hangs.sql && : >scripts/hangs.out
run mixed --dsn=s --timeout=1 --junit=junit.xml --jobs=2 --on-error=stop scripts
expect mixed 1 'FAIL    scripts/bad.test' "line 1: column type 'X' is not I, T or R" \
  'FAIL    scripts/hangs.sql' 'still running after 1 s: stopped' 'ok      scripts/c.sql'
python3 - junit.xml <<'PY' || fail "junit: $(cat junit.xml)"
import sys, xml.dom.minidom
d = xml.dom.minidom.parse(sys.argv[1])
cases = d.getElementsByTagName("testcase")
failed = [c.getAttribute("name") for c in cases if c.getElementsByTagName("failure")]
assert len(cases) == 4 and sorted(failed) == ["scripts/a.sql", "scripts/bad.test", "scripts/hangs.sql"], failed
PY

# A source that cannot be reached fails its files; the others' run goes on.
run gone --dsn=s --dsn=nosuch --on-error=stop scripts/a.sql scripts/c.sql
expect gone 1 'ok      scripts/c.sql  [s]' 'FAIL    scripts/c.sql  [nosuch]' 'cannot connect to nosuch: [IM002]'

# Shards: together every file once, in the order of one run.
run whole --dsn=s --timeout=1 scripts
for i in 1 2 3; do run "shard$i" --dsn=s --timeout=1 --shard=$i/3 scripts; done
cat shard{1,2,3}.out | grep -E '^(ok|FAIL|skipped) ' | awk '{print $2}' | sort >sharded
grep -E '^(ok|FAIL|skipped) ' whole.out | awk '{print $2}' | sort | cmp -s - sharded || fail "shards: $(cat sharded)"

# Runs that cannot start.
run nopath scripts/none; expect nopath 2 'no such file or folder: scripts/none'
run badopt --jobs=0 scripts; expect badopt 2 '--jobs must be a number from 1 to 64'
run badmask --mask='(' scripts; expect badmask 2 'not a valid regular expression'
run cfile -c x scripts; expect cfile 2 '-c cannot be used with --test'
echo "runner: ok"
