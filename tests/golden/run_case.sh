#!/usr/bin/env bash
# Runs one golden case: run_case.sh WSQL CASEDIR
#
# The case folder layout is described in README.md beside this script. For
# each data source named in the case's `db` file (or once, when there is none)
# the case files are copied into a fresh working directory with @DSN@ and
# @WORK@ substituted, a fresh copy of the test data is made (the scripted test
# driver plays the case's `scenario` file instead), the case's `prepare`
# program, if present, makes further input there, WSQL is run there
# with the case's arguments and input, and its standard output, standard error
# and exit status are compared byte for byte with the expected files, after
# the elapsed-time figures are normalised. Then `check`, if present, runs.
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
#
# By hand, with a running test environment:
#   . "$(scripts/testenv start)"
#   tests/golden/run_case.sh build/wsql tests/golden/<case>
#   GOLDEN_UPDATE=1 tests/golden/run_case.sh build/wsql tests/golden/<case>
# SQLite-only cases also run without scripts/testenv.
#
# run_case.sh --normalise FILE... applies the same normalisation to files in
# place; a `check` program gets this script's path in WSQL_RUN_CASE (and
# WSQL_WORK, WSQL_DSN) to compare files that wsql wrote, e.g. a RESFILE.
set -u -o pipefail
# The tools below handle outputs as bytes; wsql itself gets its own locale.
export LC_ALL=C

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=scripts/testlib.sh
. "$ROOT/scripts/testlib.sh"

DEFAULT_TIMEOUT=120
CHECK_TIMEOUT=60
# Locale and time zone wsql runs under, so that its output is reproducible.
WSQL_RUN_LOCALE=C.UTF-8
WSQL_RUN_TZ=UTC
KNOWN_DBS="sqlite pg mariadb testdrv"
EXPECTED_NAMES="stdout stderr status"

# Drops the databases made for this case and removes its temporary files,
# also after a failure or an interrupt.
cleanup() {
  local db
  for db in "${PG_DBS[@]}"; do
    pg_admin -c "DROP DATABASE IF EXISTS \"$db\" WITH (FORCE)" >/dev/null 2>&1 || true
  done
  for db in "${MARIADB_DBS[@]}"; do
    mariadb_admin -e "DROP DATABASE IF EXISTS \`$db\`" >/dev/null 2>&1 || true
  done
  if [ -n "${WSQL_KEEP_WORK:-}" ]; then
    echo "kept: $TMPROOT"
  else
    rm -rf "$TMPROOT"
  fi
}

# pg_admin PSQL-ARGS... -> runs psql as the test role on the maintenance database.
pg_admin() {
  PGPASSWORD=$WSQL_PG_PASSWORD psql -X -q -v ON_ERROR_STOP=1 -h "$WSQL_PGHOST" \
    -p "$WSQL_PG_PORT" -U "$WSQL_PG_USER" -d postgres "$@"
}

# mariadb_admin CLIENT-ARGS... -> runs the mariadb client as the test role.
mariadb_admin() {
  mariadb --no-defaults --protocol=tcp -h "$WSQL_MARIADB_HOST" -P "$WSQL_MARIADB_PORT" \
    -u "$WSQL_MARIADB_USER" -p"$WSQL_MARIADB_PASSWORD" --default-character-set=utf8mb4 \
    --batch --silent "$@"
}

# sed_escape TEXT -> TEXT quoted for the pattern side of a sed substitution.
sed_escape() { printf '%s' "$1" | sed 's/[][\/.*^$|+?(){}]/\\&/g'; }
# sed_escape_repl TEXT -> TEXT quoted for the replacement side.
sed_escape_repl() { printf '%s' "$1" | sed 's/[\/&|]/\\&/g'; }

# db_unavailable DB -> prints why DB cannot be used here; status 1 when it can.
db_unavailable() {
  case "$1" in
    sqlite)
      if [ -z "${WSQL_SQLITE_TEMPLATE:-}" ] && ! command -v sqlite3 >/dev/null 2>&1; then
        echo "sqlite3 not installed and WSQL_SQLITE_TEMPLATE not set"; return 0
      fi
      if [ -z "${ODBCSYSINI:-}" ] && ! wsql_find_driver "$WSQL_SQLITE_DRIVER_FILE" "$WSQL_SQLITE_DRIVER_PKG" >/dev/null; then
        echo "SQLite ODBC driver not installed"; return 0
      fi
      ;;
    pg)
      if [ -z "${WSQL_PG_PORT:-}" ] || [ -z "${WSQL_PGHOST:-}" ]; then
        echo "no PostgreSQL test server (WSQL_PG_PORT unset; see scripts/testenv)"; return 0
      fi
      if ! command -v psql >/dev/null 2>&1; then echo "psql not installed"; return 0; fi
      ;;
    mariadb)
      if [ -z "${WSQL_MARIADB_PORT:-}" ] || [ -z "${WSQL_MARIADB_HOST:-}" ]; then
        echo "no MariaDB test server (WSQL_MARIADB_PORT unset; see scripts/testenv)"; return 0
      fi
      if ! command -v mariadb >/dev/null 2>&1; then echo "mariadb client not installed"; return 0; fi
      ;;
    testdrv)
      if [ ! -f "$(testdrv_file)" ]; then
        echo "scripted test driver not built ($(testdrv_file))"; return 0
      fi
      ;;
  esac
  return 1
}

# expected_file NAME DB -> prints the expected file for stream NAME in the run
# on DB: NAME.DB when present, else NAME; nothing when neither exists.
expected_file() {
  if [ -n "$2" ] && [ -f "$CASEDIR/$1.$2" ]; then
    printf '%s\n' "$CASEDIR/$1.$2"
  elif [ -f "$CASEDIR/$1" ]; then
    printf '%s\n' "$CASEDIR/$1"
  fi
}

# substitute FILE DSN WORK -> replaces @DSN@ (when DSN is not empty), @WORK@,
# @DATABASE@ (in pg and mariadb runs: the run's database, RUN_DB) and, in a
# pg run, @PGPORT@ (in a mariadb run, @MARIADBPORT@) in FILE, in place; files
# without a placeholder are left untouched.
substitute() {
  local file=$1 dsn=$2 work=$3
  grep -q -F -e '@DSN@' -e '@WORK@' -e '@DATABASE@' -e '@PGPORT@' -e '@MARIADBPORT@' -- "$file" \
    2>/dev/null || return 0
  local args=(-e "s|@WORK@|$(sed_escape_repl "$work")|g")
  [ -n "$RUN_DB" ] && args+=(-e "s|@DATABASE@|$RUN_DB|g")
  [ -n "$dsn" ] && args+=(-e "s|@DSN@|$(sed_escape_repl "$dsn")|g")
  [ "$dsn" = pg ] && args+=(-e "s|@PGPORT@|$WSQL_PG_PORT|g")
  [ "$dsn" = mariadb ] && args+=(-e "s|@MARIADBPORT@|$WSQL_MARIADB_PORT|g")
  sed -i "${args[@]}" -- "$file"
}

# normalise FILE WORK -> in place: puts @WORK@ back for the working directory
# WORK (when not empty), @DATABASE@ for the run's own server database (RUN_DB,
# when set; server messages name it), @MARIADBVERSION@ for the MariaDB server's
# version text (its messages quote it, and it changes with every update), and
# @PGPORT@ and @MARIADBPORT@ for the test servers' ports where they follow
# "port" (server messages, connect strings); turns the run-dependent figures
# into N and the build time and date into DATE.
normalise() {
  local file=$1 work=$2 back=()
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
    -- "$file"
}

# write_odbc_ini WORK DB DATA -> the run's data sources: "sqlite" on the SQLite
# copy DATA, "pg" or "mariadb" on the database DATA, or "testdrv" on the
# scripted test driver playing WORK/scenario, whichever DB names.
write_odbc_ini() {
  local work=$1 db=$2 data=$3
  case "$db" in
    sqlite)
      printf '[sqlite]\nDriver=SQLite3\nDatabase=%s\n' "$data" ;;
    pg)
      printf '[pg]\nDriver=PostgreSQL Unicode\nServername=%s\nPort=%s\nDatabase=%s\nUsername=%s\nPassword=%s\nSSLmode=disable\n' \
        "$WSQL_PGHOST" "$WSQL_PG_PORT" "$data" "$WSQL_PG_USER" "$WSQL_PG_PASSWORD" ;;
    mariadb)
      printf '[mariadb]\nDriver=%s\nServer=%s\nPort=%s\nDatabase=%s\nUser=%s\nPassword=%s\n' \
        "$WSQL_MARIADB_DRIVER_NAME" "$WSQL_MARIADB_HOST" "$WSQL_MARIADB_PORT" "$data" \
        "$WSQL_MARIADB_USER" "$WSQL_MARIADB_PASSWORD" ;;
    testdrv)
      printf '[testdrv]\nDriver=%s\nScenario=%s\n' "$WSQL_TESTDRV_NAME" "$work/scenario" ;;
    *) : ;;
  esac >"$work/odbc.ini"
}

# sysini_dir -> prints the folder holding odbcinst.ini for the runs, writing
# one into the temporary folder when the environment names none.
sysini_dir() {
  if [ -n "${ODBCSYSINI:-}" ]; then
    printf '%s\n' "$ODBCSYSINI"
    return
  fi
  if [ ! -f "$TMPROOT/sys/odbcinst.ini" ]; then
    wsql_write_odbcinst "$TMPROOT/sys" "$ROOT" || true
  fi
  printf '%s\n' "$TMPROOT/sys"
}

# testdrv_file -> prints the library that the "WsqlTest" entry of the runs'
# odbcinst.ini names (nothing when there is no such entry).
testdrv_file() {
  sed -n "/^\[$WSQL_TESTDRV_NAME\]\$/,/^\[/s/^Driver=//p" "$(sysini_dir)/odbcinst.ini" 2>/dev/null | head -n 1
}

# sqlite_template -> prints the SQLite database to copy for a run.
sqlite_template() {
  if [ -n "${WSQL_SQLITE_TEMPLATE:-}" ]; then
    printf '%s\n' "$WSQL_SQLITE_TEMPLATE"
    return
  fi
  if [ ! -f "$TMPROOT/template.sqlite" ]; then
    sqlite3 -bail "$TMPROOT/template.sqlite" <"$ROOT/tests/data/sqlite.sql" >&2 || return 1
  fi
  printf '%s\n' "$TMPROOT/template.sqlite"
}

# run_one DB OUT -> one run of the case on data source DB (empty: none); the
# normalised outputs go to OUT/stdout, OUT/stderr, OUT/status. Status 0 when
# the run could be made (whatever wsql did), 1 when setting it up failed.
run_one() {
  local db=$1 out=$2 work data="" stdin=/dev/null args=() status f d
  work=$TMPROOT/work${db:+.$db}
  # The server database of the run, named before the files mention it.
  RUN_DB=""
  case "$db" in pg | mariadb) RUN_DB=wsql_t_$$_${RANDOM}_${db} ;; esac
  mkdir -p "$work" "$out"
  # The case files, less the expected outputs.
  cp -a -- "$CASEDIR/." "$work/"
  for f in $EXPECTED_NAMES; do
    rm -f -- "$work/$f"
    for d in $KNOWN_DBS; do rm -f -- "$work/$f.$d"; done
  done
  while IFS= read -r -d '' f; do
    substitute "$f" "$db" "$work"
  done < <(find "$work" -type f -print0)

  case "$db" in
    sqlite)
      data=$work/test.sqlite
      cp -- "$(sqlite_template)" "$data" || { echo "cannot copy the SQLite test database"; return 1; }
      ;;
    pg)
      data=$RUN_DB
      PG_DBS+=("$data")
      pg_admin -c "CREATE DATABASE \"$data\" TEMPLATE \"$WSQL_PG_TEMPLATE\"" \
        || { echo "cannot clone the PostgreSQL test database"; return 1; }
      ;;
    mariadb)
      # No template databases in MariaDB: a new database gets the test data.
      data=$RUN_DB
      MARIADB_DBS+=("$data")
      { printf 'CREATE DATABASE `%s` CHARACTER SET utf8mb4;\nUSE `%s`;\n' "$data" "$data"
        cat -- "$ROOT/tests/data/mariadb.sql"; } | mariadb_admin >/dev/null \
        || { echo "cannot create the MariaDB test database"; return 1; }
      ;;
  esac
  write_odbc_ini "$work" "$db" "$data"
  run_hook prepare "$db" "$work" || return 1

  [ -f "$work/args" ] && mapfile -t args <"$work/args"
  [ -f "$work/stdin" ] && stdin=$work/stdin

  (
    cd "$work" || exit 1
    exec env -u LANG -u LANGUAGE -u ODBCINSTINI \
      -u PGHOST -u PGHOSTADDR -u PGPORT -u PGUSER -u PGPASSWORD -u PGPASSFILE \
      -u PGDATABASE -u PGSERVICE -u PGSERVICEFILE -u PGOPTIONS -u PGSSLMODE \
      -u MYSQL_HOST -u MYSQL_TCP_PORT -u MYSQL_UNIX_PORT -u MYSQL_PWD -u MARIADB_HOST \
      LC_ALL="$WSQL_RUN_LOCALE" TZ="$WSQL_RUN_TZ" HOME="$work" \
      ODBCINI="$work/odbc.ini" ODBCSYSINI="$(sysini_dir)" \
      timeout --foreground -k 10 "$TIMEOUT" \
      bash -c 'exec -a wsql "$0" "$@"' "$WSQL" "${args[@]}"
  ) <"$stdin" >"$out/stdout" 2>"$out/stderr"
  status=$?
  [ "$status" -eq 124 ] && echo "wsql timed out after $TIMEOUT s"
  printf '%s\n' "$status" >"$out/status"
  normalise "$out/stdout" "$work"
  normalise "$out/stderr" "$work"
  # The server databases stay until the end, for `check`; cleanup drops them.
  return 0
}

# run_hook NAME DB WORK -> runs the case's optional program NAME in WORK:
# `prepare` before wsql (to make input too big to keep in the repository),
# `check` after it (for the files wsql wrote). Status 0 when there is none or
# it passed; else its output is shown and the status is 1.
run_hook() {
  local name=$1 db=$2 work=$3 cmd rc=0
  [ -f "$work/$name" ] || return 0
  if [ -x "$work/$name" ]; then cmd=("./$name"); else cmd=(sh "./$name"); fi
  (
    cd "$work" || exit 1
    exec env LC_ALL="$WSQL_RUN_LOCALE" TZ="$WSQL_RUN_TZ" WSQL_DSN="$db" WSQL_WORK="$work" \
      WSQL_RUN_CASE="$HERE/run_case.sh" \
      ODBCINI="$work/odbc.ini" ODBCSYSINI="$(sysini_dir)" \
      timeout --foreground -k 10 "$CHECK_TIMEOUT" "${cmd[@]}"
  ) >"$TMPROOT/$name.out" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "$name failed (status $rc):"
    cat "$TMPROOT/$name.out"
    return 1
  fi
  return 0
}

# compare DB OUT -> compares the outputs in OUT with the expected files of the
# run on DB, printing a unified diff of each difference. Status 1 on any.
compare() {
  local db=$1 out=$2 name exp want got bad=0
  for name in stdout stderr; do
    exp=$(expected_file "$name" "$db")
    want=$TMPROOT/expected.$name
    if [ -n "$exp" ]; then
      cp -- "$exp" "$want"
      [ -n "$db" ] && sed -i "s|@DSN@|$db|g" -- "$want"
    else
      : >"$want"
    fi
    if ! cmp -s -- "$want" "$out/$name"; then
      bad=1
      echo "--- $name differs from ${exp:-"(no file: empty)"}"
      diff -u -a --label "expected/$name" --label "actual/$name" -- "$want" "$out/$name"
    fi
  done
  exp=$(expected_file status "$db")
  want=0
  [ -n "$exp" ] && want=$(tr -d ' \t\r\n' <"$exp")
  got=$(cat "$out/status")
  if [ "$want" != "$got" ]; then
    bad=1
    echo "--- exit status differs: expected $want, actual $got"
  fi
  return $bad
}

# template_dsn FILE DB -> prints FILE with whole-word occurrences of DB
# turned into @DSN@.
template_dsn() {
  local w='[^A-Za-z0-9_]' d
  d=$(sed_escape "$2")
  # Twice, since a separator taken by one match cannot start the next.
  sed -E -e "s/(^|$w)$d($w|\$)/\\1@DSN@\\2/g" -e "s/(^|$w)$d($w|\$)/\\1@DSN@\\2/g" -- "$1"
}

# update_expected DBS... -> writes the expected files of the case from the
# actual outputs of every run: one common file where all runs agree (with
# @DSN@ put in where only the data source name differs); otherwise the output
# that most runs share (at least two) is the common file and the other runs
# get a file of their own each; with no such majority every run gets its own.
# Empty stderr and status 0 are written as absent files, unless a common file
# would then stand in for them.
update_expected() {
  local dbs=("$@") name db other n best bestn plain_from members
  for name in $EXPECTED_NAMES; do
    # The form of each run that others may share: its text with its own data
    # source name as @DSN@, where putting the name back gives the text again.
    for db in "${dbs[@]}"; do
      cp -- "$TMPROOT/out.$db/$name" "$TMPROOT/form.$db"
      [ "$name" = status ] && continue
      template_dsn "$TMPROOT/out.$db/$name" "$db" >"$TMPROOT/tmpl.$db"
      if sed "s|@DSN@|$db|g" "$TMPROOT/tmpl.$db" | cmp -s - "$TMPROOT/out.$db/$name"; then
        cp -- "$TMPROOT/tmpl.$db" "$TMPROOT/form.$db"
      fi
    done
    best="" bestn=1 members=" "
    for db in "${dbs[@]}"; do
      n=0
      for other in "${dbs[@]}"; do
        cmp -s "$TMPROOT/form.$db" "$TMPROOT/form.$other" && n=$((n + 1))
      done
      if [ "$n" -gt "$bestn" ]; then best=$db bestn=$n; fi
    done
    plain_from=""
    if [ "${#dbs[@]}" -gt 1 ] && same_outputs "$name" "${dbs[@]}"; then
      plain_from=$TMPROOT/out.${dbs[0]}/$name
      members=" ${dbs[*]} "
    elif [ "${#dbs[@]}" -eq 1 ]; then
      plain_from=$TMPROOT/out.${dbs[0]}/$name
      members=" ${dbs[0]} "
    elif [ -n "$best" ]; then
      plain_from=$TMPROOT/form.$best
      for db in "${dbs[@]}"; do
        cmp -s "$TMPROOT/form.$best" "$TMPROOT/form.$db" && members+="$db "
      done
    fi
    rm -f -- "$CASEDIR/$name"
    for db in "${dbs[@]}"; do rm -f -- "$CASEDIR/$name.$db"; done
    [ -n "$plain_from" ] && write_expected "$plain_from" "$CASEDIR/$name" "$name"
    for db in "${dbs[@]}"; do
      case "$members" in *" $db "*) continue ;; esac
      write_expected "$TMPROOT/out.$db/$name" "$CASEDIR/$name.$db" "$name" \
        "$([ -f "$CASEDIR/$name" ] && echo keep)"
    done
  done
}

# same_outputs NAME DBS... -> status 0 when the runs on DBS wrote the same
# NAME output, byte for byte.
same_outputs() {
  local name=$1 first=$2 db
  shift 2
  for db in "$@"; do
    cmp -s "$TMPROOT/out.$first/$name" "$TMPROOT/out.$db/$name" || return 1
  done
  return 0
}

# write_expected FROM TO NAME [keep] -> copies FROM to TO, or removes TO when
# FROM is the default (empty stderr, status 0) and keep is not given; stdout
# is always written.
write_expected() {
  local from=$1 to=$2 name=$3 keep=${4:-}
  if [ -z "$keep" ] &&
     { { [ "$name" = stderr ] && [ ! -s "$from" ]; } ||
       { [ "$name" = status ] && [ "$(cat "$from")" = 0 ]; }; }; then
    rm -f -- "$to"
  else
    cp -- "$from" "$to"
    echo "wrote ${to#"$HERE"/}"
  fi
}

main() {
  local dbs=() db reason result=0 skipped=0 ran=()
  if [ -f "$CASEDIR/db" ]; then
    read -r -a dbs < <(tr '\n\t' '  ' <"$CASEDIR/db"; echo)
  fi
  for db in "${dbs[@]}"; do
    case " $KNOWN_DBS " in
      *" $db "*) ;;
      *) echo "$CASE: unknown data source '$db' in db (known: $KNOWN_DBS)"; return 1 ;;
    esac
  done
  [ ${#dbs[@]} -eq 0 ] && dbs=("")

  for db in "${dbs[@]}"; do
    local label="$CASE${db:+ [$db]}"
    if [ -n "$db" ] && reason=$(db_unavailable "$db"); then
      if [ -n "${WSQL_REQUIRE_DB:-}" ] || [ -n "$UPDATE" ]; then
        echo "$label: FAIL: $reason"
        result=1
      else
        echo "$label: SKIP: $reason"
        skipped=1
      fi
      continue
    fi
    local out=$TMPROOT/out.${db:-none}
    if ! run_one "$db" "$out"; then
      echo "$label: FAIL: could not set up the run"
      result=1
      continue
    fi
    ran+=("${db:-none}")
    local ok=1
    if [ -z "$UPDATE" ]; then
      compare "$db" "$out" || ok=0
    fi
    run_hook check "$db" "$TMPROOT/work${db:+.$db}" || ok=0
    if [ $ok -eq 1 ]; then
      if [ -n "$UPDATE" ]; then echo "$label: ran"; else echo "$label: PASS"; fi
    else
      echo "$label: FAIL"
      result=1
      [ -n "${WSQL_KEEP_WORK:-}" ] || echo "(WSQL_KEEP_WORK=1 keeps the working directory)"
    fi
  done

  if [ -n "$UPDATE" ]; then
    if [ $result -ne 0 ]; then
      echo "$CASE: expected files not updated"
      return 1
    fi
    update_expected "${ran[@]}"
    return 0
  fi
  [ $result -ne 0 ] && return 1
  [ $skipped -ne 0 ] && return 77
  return 0
}

# With --normalise, only normalise the named files in place (for `check`
# programs comparing files that wsql wrote); WSQL_WORK, when set, becomes @WORK@.
if [ "${1:-}" = --normalise ]; then
  shift
  for f in "$@"; do normalise "$f" "${WSQL_WORK:-}" || exit 1; done
  exit 0
fi

if [ $# -ne 2 ]; then
  echo "usage: $0 WSQL CASEDIR" >&2
  exit 2
fi
WSQL=$(realpath -- "$1") || exit 1
CASEDIR=$(cd "$2" 2>/dev/null && pwd) || { echo "no case folder $2" >&2; exit 1; }
CASE=${CASEDIR#"$HERE"/}
TIMEOUT=${WSQL_CASE_TIMEOUT:-$DEFAULT_TIMEOUT}
UPDATE=${GOLDEN_UPDATE:-0}
[ "$UPDATE" = 0 ] && UPDATE=""

TMPROOT=$(mktemp -d "${TMPDIR:-/tmp}/wsql-case.XXXXXX") || exit 1
TMPROOT=$(cd "$TMPROOT" && pwd -P)
PG_DBS=()
MARIADB_DBS=()
RUN_DB=""

trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

main
