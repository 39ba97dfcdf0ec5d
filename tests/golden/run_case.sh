#!/usr/bin/env bash
# Runs one golden case: run_case.sh WSQL CASEDIR. README.md beside this script
# describes the case files, the placeholders, what is normalised and how
# GOLDEN_UPDATE=1 writes the expected files.
# run_case.sh --normalise FILE... normalises files in place, for `check`
# programs (it gets this script's path in WSQL_RUN_CASE).
#
# Exit status: 0 passed, 1 failed, 77 skipped (the case needs a data source
# whose environment is missing and WSQL_REQUIRE_DB is not set).
#
# Environment (written by scripts/test and scripts/testenv):
#   WSQL_SQLITE_TEMPLATE  SQLite test database to copy; when unset it is
#                         built from tests/data/sqlite.sql with sqlite3
#   ODBCSYSINI            folder of the odbcinst.ini naming the test drivers;
#                         when unset one is written for the run
#   WSQL_BUILD_DIR        build folder holding the scripted test driver
#                         (default <repo>/build), when ODBCSYSINI is unset
#   WSQL_PGHOST, WSQL_PG_PORT, WSQL_PG_USER, WSQL_PG_PASSWORD, WSQL_PG_TEMPLATE
#                         PostgreSQL test server; pg runs skip without them
#   WSQL_MARIADB_HOST, WSQL_MARIADB_PORT, WSQL_MARIADB_USER, WSQL_MARIADB_PASSWORD,
#   WSQL_MARIADB_VERSION  MariaDB test server; mariadb runs skip without them
#   WSQL_REQUIRE_DB=1     a missing data source fails instead of skipping
#   GOLDEN_UPDATE=1       write the actual outputs as the expected files
#   WSQL_KEEP_WORK=1      keep the working directories (path printed)
#   WSQL_CASE_TIMEOUT     seconds before wsql is killed (default 120)
set -u -o pipefail
# The tools below handle outputs as bytes; wsql itself gets its own locale.
export LC_ALL=C
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=scripts/testlib.sh
. "$ROOT/scripts/testlib.sh"
KNOWN="sqlite pg mariadb testdrv"
NAMES="stdout stderr status"
# Client settings of the caller that would change what wsql or a driver does.
UNSET=()
for v in LANG LANGUAGE ODBCINSTINI PGHOST PGHOSTADDR PGPORT PGUSER PGPASSWORD PGPASSFILE PGDATABASE \
  PGSERVICE PGSERVICEFILE PGOPTIONS PGSSLMODE MYSQL_HOST MYSQL_TCP_PORT MYSQL_UNIX_PORT MYSQL_PWD MARIADB_HOST; do
  UNSET+=(-u "$v")
done

# sed_escape TEXT -> TEXT quoted for the pattern side of a sed substitution.
sed_escape() { printf '%s' "$1" | sed 's/[][\/.*^$|+?(){}]/\\&/g'; }

# normalise WORK FILE... -> in place: @WORK@ back for the working directory
# WORK (when not empty), @DATABASE@ for the run's server database RUN_DB,
# @MARIADBVERSION@ for the server's version text, @PGPORT@ and @MARIADBPORT@
# for the ports where they follow "port"; run-dependent figures become N and
# the build time DATE.
normalise() {
  local work=$1 back=()
  shift
  [ -n "$work" ] && back=(-e "s|$(sed_escape "$work")|@WORK@|g")
  [ -n "${RUN_DB:-}" ] && back+=(-e "s/$(sed_escape "$RUN_DB")/@DATABASE@/g")
  [ -n "${WSQL_MARIADB_VERSION:-}" ] &&
    back+=(-e "s/$(sed_escape "$WSQL_MARIADB_VERSION")/@MARIADBVERSION@/g")
  [ -n "${WSQL_PG_PORT:-}" ] &&
    back+=(-e "s/([Pp][Oo][Rr][Tt][ =:]+)$WSQL_PG_PORT([^0-9]|\$)/\1@PGPORT@\2/g")
  [ -n "${WSQL_MARIADB_PORT:-}" ] &&
    back+=(-e "s/([Pp][Oo][Rr][Tt][ =:]+)$WSQL_MARIADB_PORT([^0-9]|\$)/\1@MARIADBPORT@\2/g")
  sed -E -i "${back[@]}" \
    -e 's/Elapsed time -?[0-9]+ ms\./Elapsed time N ms./g' \
    -e 's/Elapsed time: Prepare -?[0-9]+ ms\.\t Execute -?[0-9]+ ms\.\t Fetch results -?[0-9]+ ms\./Elapsed time: Prepare N ms.\t Execute N ms.\t Fetch results N ms./g' \
    -e 's/Time taken = -?[0-9]+(\.[0-9]*)? sec\(s\)/Time taken = N sec(s)/g' \
    -e 's/(Rows selected = -?[0-9]+\. Fetch results )-?[0-9]+( ms Elapased time )-?[0-9]+( ms Reading more\.\.\.)/\1N\2N\3/g' \
    -e 's/Compiled on [0-9]{2}:[0-9]{2}:[0-9]{2},[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}/Compiled on DATE/g' \
    -- "$@"
}

if [ "${1:-}" = --normalise ]; then
  shift
  normalise "${WSQL_WORK:-}" "$@" || exit 1
  exit 0
fi
[ $# -eq 2 ] || { echo "usage: $0 WSQL CASEDIR" >&2; exit 2; }
WSQL=$(realpath -- "$1") || exit 1
CASEDIR=$(cd "$2" 2>/dev/null && pwd) || { echo "no case folder $2" >&2; exit 1; }
CASE=${CASEDIR#"$HERE"/}
TIMEOUT=${WSQL_CASE_TIMEOUT:-120}
UPDATE="" PASSED=PASS
[ "${GOLDEN_UPDATE:-0}" = 0 ] || UPDATE=1 PASSED=ran
T=$(mktemp -d "${TMPDIR:-/tmp}/wsql-case.XXXXXX") && T=$(cd "$T" && pwd -P) || exit 1
SERVER_DBS=()
RUN_DB=""

pg_admin() {
  PGPASSWORD=$WSQL_PG_PASSWORD psql -X -q -v ON_ERROR_STOP=1 -h "$WSQL_PGHOST" \
    -p "$WSQL_PG_PORT" -U "$WSQL_PG_USER" -d postgres "$@"
}

# Drops the server databases of the case, also after a failure or an interrupt.
cleanup() {
  local d
  for d in "${SERVER_DBS[@]}"; do
    case $d in
      *_pg) pg_admin -c "DROP DATABASE IF EXISTS \"$d\" WITH (FORCE)" ;;
      *) wsql_mariadb_client -e "DROP DATABASE IF EXISTS \`$d\`" ;;
    esac >/dev/null 2>&1
  done
  if [ -n "${WSQL_KEEP_WORK:-}" ]; then echo "kept: $T"; else rm -rf "$T"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

SYSINI=${ODBCSYSINI:-$T/sys}
[ -n "${ODBCSYSINI:-}" ] || wsql_write_odbcinst "$SYSINI" "$ROOT"
TESTDRV=$(sed -n "/^\[$WSQL_TESTDRV_NAME\]\$/,/^\[/s/^Driver=//p" "$SYSINI/odbcinst.ini" 2>/dev/null | head -n 1)

# unavailable DB -> prints why data source DB cannot be used here, if it cannot.
unavailable() {
  case $1 in
    sqlite)
      [ -n "${WSQL_SQLITE_TEMPLATE:-}" ] || command -v sqlite3 >/dev/null ||
        echo "sqlite3 not installed and WSQL_SQLITE_TEMPLATE not set"
      grep -qx '\[SQLite3\]' "$SYSINI/odbcinst.ini" || echo "SQLite ODBC driver not installed" ;;
    pg)
      [ -n "${WSQL_PG_PORT:-}" ] && [ -n "${WSQL_PGHOST:-}" ] ||
        echo "no PostgreSQL test server (WSQL_PG_PORT unset; see scripts/testenv)"
      command -v psql >/dev/null || echo "psql not installed" ;;
    mariadb)
      [ -n "${WSQL_MARIADB_PORT:-}" ] && [ -n "${WSQL_MARIADB_HOST:-}" ] ||
        echo "no MariaDB test server (WSQL_MARIADB_PORT unset; see scripts/testenv)"
      command -v mariadb >/dev/null || echo "mariadb client not installed" ;;
    testdrv) [ -f "$TESTDRV" ] || echo "scripted test driver not built ($TESTDRV)" ;;
  esac
}

# hook NAME DB WORK -> runs the case's optional program NAME (`prepare` before
# wsql, `check` after it) in WORK; when it fails, shows its output, status 1.
hook() {
  local work=$3 cmd=(sh "./$1") rc=0
  [ -f "$work/$1" ] || return 0
  [ -x "$work/$1" ] && cmd=("./$1")
  (cd "$work" && exec env LC_ALL=C.UTF-8 TZ=UTC WSQL_DSN="$2" WSQL_WORK="$work" \
    WSQL_RUN_CASE="$HERE/${BASH_SOURCE[0]##*/}" ODBCINI="$work/odbc.ini" ODBCSYSINI="$SYSINI" \
    timeout --foreground -k 10 60 "${cmd[@]}") >"$T/$1.out" 2>&1 || rc=$?
  [ $rc -eq 0 ] || { echo "$1 failed (status $rc):"; cat "$T/$1.out"; return 1; }
}

# run DB -> one run on data source DB (empty: none) in T/work[.DB], with its
# own data; normalised outputs in T/out.DB (or out.none). Status 1 when the run
# could not be set up, whatever wsql did.
run() {
  local db=$1 work=$T/work${1:+.$1} out=$T/out.${1:-none} ini sub n d args=() stdin=/dev/null status
  ini=$work/odbc.ini
  RUN_DB=""
  case $db in pg | mariadb) RUN_DB=wsql_t_$$_${RANDOM}_$db SERVER_DBS+=("$RUN_DB") ;; esac
  mkdir -p "$work" "$out"
  cp -a -- "$CASEDIR/." "$work/"
  for n in $NAMES; do for d in "" $KNOWN; do rm -f -- "$work/$n${d:+.$d}"; done; done
  sub=(-e "s|@WORK@|$(printf '%s' "$work" | sed 's/[\/&|]/\\&/g')|g")
  [ -n "$db" ] && sub+=(-e "s|@DSN@|$db|g")
  [ -n "$RUN_DB" ] && sub+=(-e "s|@DATABASE@|$RUN_DB|g")
  [ "$db" = pg ] && sub+=(-e "s|@PGPORT@|$WSQL_PG_PORT|g")
  [ "$db" = mariadb ] && sub+=(-e "s|@MARIADBPORT@|$WSQL_MARIADB_PORT|g")
  grep -rlZ -F -e @DSN@ -e @WORK@ -e @DATABASE@ -e @PGPORT@ -e @MARIADBPORT@ -- "$work" |
    xargs -0 -r sed -i "${sub[@]}" --

  : >"$ini"
  case $db in
    sqlite)
      wsql_sqlite_db "$work/test.sqlite" || { echo "cannot make the SQLite test database"; return 1; }
      wsql_odbc_entry sqlite "$work/test.sqlite" >"$ini" ;;
    pg)
      pg_admin -c "CREATE DATABASE \"$RUN_DB\" TEMPLATE \"$WSQL_PG_TEMPLATE\"" ||
        { echo "cannot clone the PostgreSQL test database"; return 1; }
      wsql_odbc_entry pg "$RUN_DB" >"$ini" ;;
    mariadb)
      # No template databases in MariaDB: a new database gets the test data.
      wsql_mariadb_load "$RUN_DB" "$ROOT/tests/data/mariadb.sql" >/dev/null ||
        { echo "cannot create the MariaDB test database"; return 1; }
      wsql_odbc_entry mariadb "$RUN_DB" >"$ini" ;;
    testdrv) printf '[testdrv]\nDriver=%s\nScenario=%s\n' "$WSQL_TESTDRV_NAME" "$work/scenario" >"$ini" ;;
  esac
  hook prepare "$db" "$work" || return 1

  [ -f "$work/args" ] && mapfile -t args <"$work/args"
  [ -f "$work/stdin" ] && stdin=$work/stdin
  (cd "$work" && exec env "${UNSET[@]}" LC_ALL=C.UTF-8 TZ=UTC HOME="$work" ODBCINI="$ini" \
    ODBCSYSINI="$SYSINI" timeout --foreground -k 10 "$TIMEOUT" \
    bash -c 'exec -a wsql "$0" "$@"' "$WSQL" "${args[@]}") <"$stdin" >"$out/stdout" 2>"$out/stderr"
  status=$?
  [ $status -eq 124 ] && echo "wsql timed out after $TIMEOUT s"
  echo "$status" >"$out/status"
  normalise "$work" "$out/stdout" "$out/stderr"
}

# expected NAME DB -> the expected file of stream NAME for the run on DB:
# NAME.DB, else NAME; nothing when neither exists.
expected() { local f=$CASEDIR/$1${2:+.$2}; [ -f "$f" ] || f=$CASEDIR/$1; [ ! -f "$f" ] || echo "$f"; }

# compare DB OUT -> shows how the outputs in OUT differ from the expected
# files of the run on DB, with @DSN@ in them replaced; status 1 if they do.
compare() {
  local db=$1 out=$2 n exp want got bad=0
  for n in stdout stderr; do
    exp=$(expected "$n" "$db")
    { [ -z "$exp" ] || sed "s|@DSN@|${db:-@DSN@}|g" -- "$exp"; } >"$T/expected.$n"
    cmp -s -- "$T/expected.$n" "$out/$n" && continue
    bad=1
    echo "--- $n differs from ${exp:-"(no file: empty)"}"
    diff -u -a --label "expected/$n" --label "actual/$n" -- "$T/expected.$n" "$out/$n"
  done
  exp=$(expected status "$db")
  want=0
  [ -z "$exp" ] || want=$(tr -d ' \t\r\n' <"$exp")
  got=$(cat "$out/status")
  [ "$want" = "$got" ] || { bad=1; echo "--- exit status differs: expected $want, actual $got"; }
  return $bad
}

# template_dsn FILE DB -> FILE with whole-word occurrences of DB as @DSN@.
template_dsn() {
  local w='[^A-Za-z0-9_]' d
  d=$(sed_escape "$2")
  # Twice, since a separator taken by one match cannot start the next.
  sed -E -e "s/(^|$w)$d($w|\$)/\\1@DSN@\\2/g" -e "s/(^|$w)$d($w|\$)/\\1@DSN@\\2/g" -- "$1"
}

# put FROM TO NAME [keep] -> copies FROM to TO (absent so far); an empty stderr
# or a status of 0 is left absent instead, unless keep is given.
put() {
  [ -z "${4:-}" ] && case $3 in stderr) [ ! -s "$1" ] ;; status) [ "$(cat "$1")" = 0 ] ;; *) false ;; esac &&
    return
  cp -- "$1" "$2" && echo "wrote ${2#"$HERE"/}"
}

# update DBS... -> writes the expected files from the runs on DBS: one common
# file when all agree; else the output most runs share (at least two, their
# own data source name as @DSN@) and a NAME.DB file for each other run; with
# no such majority, a NAME.DB file for every run.
update() {
  local n db o cnt best bestn plain members
  for n in $NAMES; do
    # The form of each run that others may share: its text with its own data
    # source name as @DSN@, where putting the name back gives the text again.
    for db in "$@"; do
      o=$T/out.$db/$n
      cp -- "$o" "$T/form.$db"
      [ "$n" = status ] && continue
      template_dsn "$o" "$db" >"$T/tmpl.$db"
      sed "s|@DSN@|$db|g" "$T/tmpl.$db" | cmp -s - "$o" && cp -- "$T/tmpl.$db" "$T/form.$db"
    done
    best="" bestn=1 plain="" members=" "
    for db in "$@"; do
      cnt=0
      for o in "$@"; do cmp -s "$T/form.$db" "$T/form.$o" && cnt=$((cnt + 1)); done
      [ $cnt -gt $bestn ] && best=$db bestn=$cnt
    done
    cnt=0
    for db in "$@"; do cmp -s "$T/out.$1/$n" "$T/out.$db/$n" || cnt=1; done
    if [ $cnt -eq 0 ]; then
      plain=$T/out.$1/$n members=" $* "
    elif [ -n "$best" ]; then
      plain=$T/form.$best
      for db in "$@"; do cmp -s "$plain" "$T/form.$db" && members+="$db "; done
    fi
    rm -f -- "$CASEDIR/$n"
    for db in "$@"; do rm -f -- "$CASEDIR/$n.$db"; done
    [ -n "$plain" ] && put "$plain" "$CASEDIR/$n" "$n"
    for db in "$@"; do
      case $members in *" $db "*) continue ;; esac
      put "$T/out.$db/$n" "$CASEDIR/$n.$db" "$n" "$([ -f "$CASEDIR/$n" ] && echo keep)"
    done
  done
}

dbs=()
[ -f "$CASEDIR/db" ] && read -r -a dbs < <(tr '\n' ' ' <"$CASEDIR/db"; echo)
for db in "${dbs[@]}"; do
  case " $KNOWN " in *" $db "*) ;; *) echo "$CASE: unknown data source '$db' in db (known: $KNOWN)"; exit 1 ;; esac
done
[ ${#dbs[@]} -gt 0 ] || dbs=("")
result=0 skipped=0 ran=()
for db in "${dbs[@]}"; do
  label=$CASE${db:+ [$db]}
  reason=$(unavailable "$db" | head -n 1)
  if [ -n "$reason" ] && [ -n "${WSQL_REQUIRE_DB:-}$UPDATE" ]; then echo "$label: FAIL: $reason"; result=1; continue; fi
  if [ -n "$reason" ]; then echo "$label: SKIP: $reason"; skipped=1; continue; fi
  run "$db" || { echo "$label: FAIL: could not set up the run"; result=1; continue; }
  ran+=("${db:-none}")
  ok=1
  [ -n "$UPDATE" ] || compare "$db" "$T/out.${db:-none}" || ok=0
  hook check "$db" "$T/work${db:+.$db}" || ok=0
  if [ $ok -eq 1 ]; then echo "$label: $PASSED"; continue; fi
  echo "$label: FAIL"
  result=1
  [ -n "${WSQL_KEEP_WORK:-}" ] || echo "(WSQL_KEEP_WORK=1 keeps the working directory)"
done

if [ -n "$UPDATE" ]; then
  [ $result -eq 0 ] || { echo "$CASE: expected files not updated"; exit 1; }
  update "${ran[@]}"
  exit 0
fi
[ $result -eq 0 ] || exit 1
[ $skipped -eq 0 ] || exit 77
