#!/usr/bin/env bash
# Driver reports end to end: run.sh WSQL. The scripted test driver plays an honest driver, a lying
# one and one whose probes hang and crash; the real drivers (SQLite with StepAPI on and off,
# psqlODBC Unicode and ANSI, MariaDB) are reported where their test servers are found, and their
# reports and diffs compared with the expected files here after masking what varies by machine
# (versions, server and database names, paths). GOLDEN_UPDATE=1 writes the expected files.
# Exit status 0 passed, 1 failed, 77 skipped (no test driver built and no data source).
. "$(dirname "${BASH_SOURCE[0]}")/../server/common.sh"
HERE=$ROOT/tests/driver
export WSQL_BUILD_DIR=${WSQL_BUILD_DIR:-$(dirname "$WSQL")} ODBCSYSINI=$WORK/sys
mkdir -p "$ODBCSYSINI"
wsql_write_odbcinst "$ODBCSYSINI" "$ROOT" || true
# The ANSI build of psqlODBC sits beside the Unicode one.
unicode=$(sed -n '/^\[PostgreSQL Unicode\]$/,/^$/s/^Driver=//p' "$ODBCSYSINI/odbcinst.ini")
ansi=${unicode%psqlodbcw.so}psqlodbca.so
[ -n "$unicode" ] && [ -e "$ansi" ] &&
  printf '[PostgreSQL ANSI]\nDescription=PostgreSQL ODBC driver (ANSI)\nDriver=%s\n\n' "$ansi" >>"$ODBCSYSINI/odbcinst.ini"
has_driver() { grep -qx "\[$1\]" "$ODBCSYSINI/odbcinst.ini"; }
has_driver "$WSQL_TESTDRV_NAME" && [ -e "$(wsql_testdrv_path "$ROOT")" ] || skip "the scripted test driver is not built"

failures=0
bad() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect NAME FILE -> FILE, masked, is the expected file NAME (written with GOLDEN_UPDATE=1).
expect() {
  sed -E -e "s|$WORK|@WORK@|g" -e 's/\[ma-[0-9.]+\]/[ma-@VERSION@]/g' \
    -e "s/$(printf '%s' "${WSQL_MARIADB_VERSION:-@MARIADBVERSION@}" | sed 's/[][\/.*^$|+?(){}]/\\&/g')/@MARIADBVERSION@/g" \
    -e 's/^(  (driver path|driver manager version|driver version|DBMS version|SQL_DM_VER|SQL_DRIVER_VER|SQL_DBMS_VER|SQL_SERVER_NAME|SQL_DATABASE_NAME|SQL_USER_NAME|connection SQL_ATTR_CURRENT_CATALOG) +).*/\1@MASKED@/' \
    -e 's/^(changed driver\.driver path: ).*/\1@MASKED@/' "$2" >"$2.masked"
  if [ -n "${GOLDEN_UPDATE:-}" ]; then cp "$2.masked" "$HERE/expected/$1"; return; fi
  diff -u "$HERE/expected/$1" "$2.masked" >"$2.diff" || { bad "$1 differs:"; head -40 "$2.diff"; }
}
# report NAME INI [OPTION...] -> NAME.json and NAME.txt of data source "d" of INI; status 0 both.
report() {
  local name=$1 ini=$2 rc=0
  shift 2
  ODBCINI=$ini "$WSQL" --driver-report d --format=json "$@" >"$name.json" 2>"$name.err" || rc=$?
  [ $rc -eq 0 ] || bad "report $name: status $rc: $(cat "$name.err")"
  ODBCINI=$ini "$WSQL" --driver-report d "$@" >"$name.txt" 2>>"$name.err" || bad "text report $name failed"
  python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding="utf-8"))' "$name.json" || bad "$name.json is no JSON"
}
# differ A B STATUS [OPTION...] -> the diff of reports A and B in A-B.diff, with its expected status.
differ() {
  local a=$1 b=$2 want=$3 rc=0
  shift 3
  "$WSQL" --diff-reports "$a.json" "$b.json" "$@" >"$a-$b.diff" 2>&1 || rc=$?
  [ $rc -eq "$want" ] || bad "diff $a $b: status $rc, not $want: $(cat "$a-$b.diff")"
}
testdrv() { printf '[d]\nDriver=%s\nScenario=%s\n' "$WSQL_TESTDRV_NAME" "$HERE/$1.scenario" >"$1.ini"; }

# The scripted driver: each lie is a disagreement, and the diff lists those and nothing else.
for s in honest lying faults; do testdrv $s; done
report honest honest.ini
report lying lying.ini
expect honest.txt honest.txt
differ honest lying 1
expect honest-lying.diff honest-lying.diff
differ honest honest 0
"$WSQL" --diff-reports honest.json lying.json --format=json >lies.json || true
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert [x["key"] for x in d["differences"]] == ["probe.getdata_any_order", "probe.txn_capable"], d' lies.json ||
  bad "the JSON diff does not list the two lies"
differ honest lying 0 --ignore='probe.getdata_*' --ignore=probe.txn_capable

# A probe that hangs and one that crashes are lost; the report is still written, whole.
start=$SECONDS
report faults faults.ini --probe-timeout=2
grep -q '^  numeric_precision  *lost .*no answer within 2 s' faults.txt || bad "the hanging probe is not reported lost"
grep -q '^  describe_col_sizes  *lost .*signal 4' faults.txt || bad "the crashing probe is not reported lost"
grep -q '^\[probes\] 13 items' faults.txt || bad "probes are missing beside the lost ones"
[ $((SECONDS - start)) -lt 30 ] || bad "the hanging probe held the report up"

# In a session: \driver names the driver, \driver full is the report with its probes.
printf '\\driver\n\\driver full\n' | ODBCINI=lying.ini "$WSQL" d >session.out 2>&1 || bad "session failed: $(cat session.out)"
grep -q '^  SQL_DRIVER_NAME  *libwsqltestdrv.so$' session.out || bad "\\driver does not name the driver"
grep -q '^  txn_capable  *disagree ' session.out || bad "\\driver full shows no probes: $(cat session.out)"

# Bad input: no connection, unreadable files, files that are no report.
printf '[d]\nDriver=%s\n' "$WSQL_TESTDRV_NAME" >noscenario.ini
rc=0; ODBCINI=noscenario.ini "$WSQL" --driver-report d >out 2>err || rc=$?
[ $rc -eq 2 ] && grep -q 'cannot connect to d: HY000 .*cannot open scenario file' err || bad "no connection: status $rc: $(cat err)"
for args in "--driver-report" "--driver-report d --probe-timeout=0" "--driver-report d --format=xml" \
            "--driver-report d --bogus" "--diff-reports honest.json"; do
  rc=0; ODBCINI=honest.ini "$WSQL" $args >out 2>err || rc=$?
  [ $rc -eq 2 ] && grep -q '^wsql: ' err && [ ! -s out ] || bad "wsql $args: status $rc, $(cat err)"
done
echo '{"rows": []}' >other.json
echo 'not json' >broken.txt
for f in missing.json other.json broken.txt; do
  rc=0; "$WSQL" --diff-reports honest.json "$f" >out 2>err || rc=$?
  [ $rc -eq 2 ] && grep -q "^wsql: $f" err || bad "--diff-reports of $f: status $rc: $(cat err)"
done

# A password in --connect is gone from the process list once the options are read.
printf 'SQLConnect 0\nDELAY 3000\n' >slow.scenario
printf '[slow]\nDriver=%s\nScenario=%s\n' "$WSQL_TESTDRV_NAME" "$PWD/slow.scenario" >slow.ini
for form in "--connect=DSN=slow;PWD=sesame" "--connect DSN=slow;PWD=sesame"; do
  # shellcheck disable=SC2086 # the second form is two words
  ODBCINI=slow.ini "$WSQL" --driver-report --no-probes $form >/dev/null 2>&1 & pid=$!
  sleep 1
  ! ps -o args= -p "$pid" | grep -q sesame || bad "$form: the process list shows the password"
  wait "$pid" || true
done

# The real drivers, where found.
if has_driver SQLite3 && wsql_sqlite_db "$WORK/real.sqlite" 2>/dev/null; then
  for step in 1 0; do printf '[d]\nDriver=SQLite3\nDatabase=%s\nStepAPI=%s\n' "$WORK/real.sqlite" $step >sqlite$step.ini; done
  report sqlite_step_on sqlite1.ini
  report sqlite_step_off sqlite0.ini
  expect sqlite_step_on.txt sqlite_step_on.txt
  expect sqlite_step_off.txt sqlite_step_off.txt
  differ sqlite_step_on sqlite_step_off 1
  expect sqlite_step_on-sqlite_step_off.diff sqlite_step_on-sqlite_step_off.diff
fi
if [ -n "${WSQL_PG_PORT:-}" ] && has_driver "PostgreSQL ANSI"; then
  wsql_odbc_entry pg postgres d >pg_unicode.ini
  sed 's/^Driver=.*/Driver=PostgreSQL ANSI/' pg_unicode.ini >pg_ansi.ini
  report pg_unicode pg_unicode.ini
  report pg_ansi pg_ansi.ini
  expect pg_unicode.txt pg_unicode.txt
  expect pg_ansi.txt pg_ansi.txt
  differ pg_unicode pg_ansi 1
  expect pg_unicode-pg_ansi.diff pg_unicode-pg_ansi.diff
fi
if [ -n "${WSQL_MARIADB_PORT:-}" ] && wsql_mariadb_client -e 'CREATE DATABASE IF NOT EXISTS wsql_driver_report' 2>/dev/null; then
  wsql_odbc_entry mariadb wsql_driver_report d >mariadb.ini
  report mariadb mariadb.ini
  expect mariadb.txt mariadb.txt
fi
if [ -n "${WSQL_REQUIRE_DB:-}" ]; then
  for f in sqlite_step_on pg_unicode pg_ansi mariadb; do [ -f "$f.json" ] || bad "no report of $f: its data source is missing"; done
fi
[ $failures -eq 0 ] || exit 1
echo "driver reports: passed"
