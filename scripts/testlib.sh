# Shell functions shared by scripts/test, scripts/testenv, scripts/demo and
# tests/golden/run_case.sh. Source it; it defines functions and nothing runs.
#
# A test environment is one folder (WSQL_TEST_DIR) holding:
#   odbc/odbcinst.ini   drivers "SQLite3", "PostgreSQL Unicode" and the
#                       project's scripted "WsqlTest" (ODBCSYSINI)
#   odbc/odbc.ini       empty, so no system data source leaks in
#   template.sqlite     the SQLite test database built from tests/data/sqlite.sql
#   pg/                 a private PostgreSQL cluster (owned by the postgres user)
#   env.sh              export lines for everything above

# Driver shared objects, found through the owning Debian package first and a
# list of usual folders second.
WSQL_SQLITE_DRIVER_FILE=libsqlite3odbc.so
WSQL_SQLITE_DRIVER_PKG=libsqliteodbc
WSQL_PG_DRIVER_FILE=psqlodbcw.so
WSQL_PG_DRIVER_PKG=odbc-postgresql
WSQL_DRIVER_DIRS="/usr/lib/x86_64-linux-gnu/odbc /usr/lib/odbc /usr/lib64 /usr/local/lib /usr/lib"
# The scripted test driver built with wsql (tests/testdriver), below the build
# folder: $WSQL_BUILD_DIR, or <repo>/build.
WSQL_TESTDRV_FILE=tests/testdriver/libwsqltestdrv.so
WSQL_TESTDRV_NAME=WsqlTest

# Credentials of the test role; a wrong-password case relies on these.
WSQL_PG_ROLE=wsql
WSQL_PG_ROLE_PASSWORD=wsqlpw
WSQL_PG_TEMPLATE_DB=wsql_template
# One golden case opens 200 connections at once.
WSQL_PG_MAX_CONNECTIONS=250
# Ports tried for the private server, and how many random picks before giving up.
WSQL_PG_PORT_MIN=20000
WSQL_PG_PORT_SPAN=30000
WSQL_PG_START_ATTEMPTS=10

wsql_log() { printf '%s\n' "$*" >&2; }

# wsql_find_driver FILE PACKAGE -> prints the path of the driver FILE, or
# nothing (status 1) when it is not installed.
wsql_find_driver() {
  local file=$1 pkg=$2 path="" dir
  if command -v dpkg >/dev/null 2>&1; then
    path=$(dpkg -L "$pkg" 2>/dev/null | grep "/${file}\$" | head -n 1 || true)
  fi
  if [ -z "$path" ] || [ ! -e "$path" ]; then
    path=""
    for dir in $WSQL_DRIVER_DIRS; do
      if [ -e "$dir/$file" ]; then path=$dir/$file; break; fi
    done
  fi
  [ -n "$path" ] || return 1
  printf '%s\n' "$path"
}

# wsql_testdrv_path ROOT -> prints where the build puts the scripted test
# driver (whether it is built yet or not).
wsql_testdrv_path() {
  printf '%s/%s\n' "${WSQL_BUILD_DIR:-$1/build}" "$WSQL_TESTDRV_FILE"
}

# wsql_write_odbcinst DIR [ROOT] -> writes DIR/odbcinst.ini naming the test
# drivers (those found; the scripted one when ROOT is given) and an empty
# DIR/odbc.ini. Status 1 if no driver found.
wsql_write_odbcinst() {
  local dir=$1 root=${2:-} sqlite pg testdrv=""
  mkdir -p "$dir"
  sqlite=$(wsql_find_driver "$WSQL_SQLITE_DRIVER_FILE" "$WSQL_SQLITE_DRIVER_PKG") || sqlite=""
  pg=$(wsql_find_driver "$WSQL_PG_DRIVER_FILE" "$WSQL_PG_DRIVER_PKG") || pg=""
  [ -n "$root" ] && testdrv=$(wsql_testdrv_path "$root")
  {
    if [ -n "$sqlite" ]; then
      printf '[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=%s\n\n' "$sqlite"
    fi
    if [ -n "$pg" ]; then
      printf '[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode)\nDriver=%s\n\n' "$pg"
    fi
    # Written even before the build made the file; such runs then skip.
    # DontDLClose keeps it loaded, so that it counts the connections of a
    # whole wsql run.
    if [ -n "$testdrv" ]; then
      printf '[%s]\nDescription=wsql scripted test driver\nDriver=%s\nDontDLClose=1\n\n' \
        "$WSQL_TESTDRV_NAME" "$testdrv"
    fi
  } >"$dir/odbcinst.ini"
  : >"$dir/odbc.ini"
  [ -n "$sqlite$pg" ]
}

# wsql_pg_bindir -> prints the folder of the newest installed PostgreSQL
# server binaries (initdb, pg_ctl).
wsql_pg_bindir() {
  local best d
  best=$( { for d in /usr/lib/postgresql/*/bin; do
              [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ] && printf '%s\n' "$d"
            done; } | sort -V | tail -n 1) || true
  if [ -z "$best" ] && command -v pg_ctl >/dev/null 2>&1 && command -v initdb >/dev/null 2>&1; then
    best=$(dirname "$(command -v pg_ctl)")
  fi
  [ -n "$best" ] || return 1
  printf '%s\n' "$best"
}

# wsql_as_pg CMD... -> runs CMD as the postgres user when we are root
# (PostgreSQL refuses to run as root), as ourselves otherwise; cwd is /.
wsql_as_pg() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd / && runuser -u postgres -- "$@")
  else
    (cd / && "$@")
  fi
}

# wsql_port_in_use PORT -> status 0 when something accepts connections on
# 127.0.0.1:PORT.
wsql_port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# wsql_pg_start DIR ROOT -> initialises and starts a private cluster in
# DIR/pg, creates the test role and the template database loaded from
# ROOT/tests/data/pg.sql. Sets WSQL_PG_PORT, WSQL_PG_DATA, WSQL_PG_BINDIR.
# On failure prints the server log and returns 1 (the caller stops it).
wsql_pg_start() {
  local dir=$1 root=$2 bindir pgdir data port attempt started=0
  bindir=$(wsql_pg_bindir) || { wsql_log "PostgreSQL server binaries not found"; return 1; }
  pgdir=$dir/pg
  data=$pgdir/data
  mkdir -p "$pgdir"
  chmod 755 "$dir"
  chmod 700 "$pgdir"
  if [ "$(id -u)" -eq 0 ]; then chown postgres:postgres "$pgdir"; fi
  WSQL_PG_BINDIR=$bindir
  WSQL_PG_DATA=$data

  wsql_as_pg "$bindir/initdb" -D "$data" -U postgres -E UTF8 --locale=C.UTF-8 \
      --auth-local=trust --auth-host=scram-sha-256 --no-sync >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; return 1; }

  # Later settings in the file win over initdb's.
  wsql_as_pg tee -a "$data/postgresql.conf" >/dev/null <<EOF
# Private test server of wsql.
listen_addresses = '127.0.0.1'
unix_socket_directories = '$pgdir'
max_connections = $WSQL_PG_MAX_CONNECTIONS
fsync = off
synchronous_commit = off
full_page_writes = off
autovacuum = off
password_encryption = 'scram-sha-256'
timezone = 'UTC'
log_timezone = 'UTC'
lc_messages = 'C'
datestyle = 'iso, mdy'
EOF
  wsql_as_pg tee "$data/pg_hba.conf" >/dev/null <<EOF
local all all trust
host all all 127.0.0.1/32 scram-sha-256
EOF

  # A random free port; another process may grab it between the probe and the
  # bind, in which case the start fails and the next pick is tried.
  for ((attempt = 1; attempt <= WSQL_PG_START_ATTEMPTS; attempt++)); do
    port=$((WSQL_PG_PORT_MIN + (RANDOM * 32768 + RANDOM) % WSQL_PG_PORT_SPAN))
    if wsql_port_in_use "$port"; then continue; fi
    if wsql_as_pg "$bindir/pg_ctl" start -w -t 60 -D "$data" -l "$pgdir/server.log" \
         -o "-p $port" >/dev/null 2>&1; then
      started=1
      break
    fi
  done
  if [ "$started" -ne 1 ]; then
    wsql_log "PostgreSQL test server did not start; its log:"
    cat "$pgdir/server.log" >&2 2>/dev/null || true
    return 1
  fi
  WSQL_PG_PORT=$port

  psql -X -q -v ON_ERROR_STOP=1 -h "$pgdir" -p "$port" -U postgres -d postgres <<EOF || return 1
CREATE ROLE $WSQL_PG_ROLE LOGIN SUPERUSER PASSWORD '$WSQL_PG_ROLE_PASSWORD';
CREATE DATABASE $WSQL_PG_TEMPLATE_DB OWNER $WSQL_PG_ROLE;
EOF
  # Loaded over TCP with the password, which also proves that login works.
  PGPASSWORD=$WSQL_PG_ROLE_PASSWORD psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" \
      -U "$WSQL_PG_ROLE" -d "$WSQL_PG_TEMPLATE_DB" -f "$root/tests/data/pg.sql" \
      >"$dir/pgload.log" 2>&1 \
    || { wsql_log "loading tests/data/pg.sql failed:"; cat "$dir/pgload.log" >&2; return 1; }
  psql -X -q -v ON_ERROR_STOP=1 -h "$pgdir" -p "$port" -U postgres -d postgres \
       -c "ALTER DATABASE $WSQL_PG_TEMPLATE_DB IS_TEMPLATE true" || return 1
}

# wsql_pg_stop DATA BINDIR -> stops the cluster in DATA at once; quiet and
# harmless when it is not running.
wsql_pg_stop() {
  local data=$1 bindir=$2
  [ -n "$data" ] && [ -f "$data/postmaster.pid" ] || return 0
  wsql_as_pg "$bindir/pg_ctl" stop -D "$data" -m immediate -w -t 30 >/dev/null 2>&1 || true
}

# wsql_env_start DIR ROOT -> builds a whole test environment in DIR (created
# empty by the caller) and writes DIR/env.sh. Status 1 on any failure, with
# whatever was started still recorded in DIR/env.sh for wsql_env_stop.
wsql_env_start() {
  local dir=$1 root=$2 rc=0
  WSQL_PG_PORT="" WSQL_PG_DATA="" WSQL_PG_BINDIR=""
  wsql_write_odbcinst "$dir/odbc" "$root" || { wsql_log "no ODBC test driver found"; return 1; }
  rm -f "$dir/template.sqlite"
  sqlite3 -bail "$dir/template.sqlite" <"$root/tests/data/sqlite.sql" \
    || { wsql_log "loading tests/data/sqlite.sql failed"; return 1; }
  wsql_pg_start "$dir" "$root" || rc=1
  wsql_write_env "$dir"
  return $rc
}

# wsql_write_env DIR -> writes DIR/env.sh with the variables that
# run_case.sh and wsql_env_stop read.
wsql_write_env() {
  local dir=$1
  {
    printf '# Test environment of wsql; source this file.\n'
    printf 'export WSQL_TEST_DIR=%q\n' "$dir"
    printf 'export ODBCSYSINI=%q\n' "$dir/odbc"
    printf 'export WSQL_SQLITE_TEMPLATE=%q\n' "$dir/template.sqlite"
    printf 'export WSQL_PG_DATA=%q\n' "$WSQL_PG_DATA"
    printf 'export WSQL_PG_BINDIR=%q\n' "$WSQL_PG_BINDIR"
    if [ -n "$WSQL_PG_PORT" ]; then
      printf 'export WSQL_PGHOST=127.0.0.1\n'
      printf 'export WSQL_PG_PORT=%q\n' "$WSQL_PG_PORT"
      printf 'export WSQL_PG_USER=%q\n' "$WSQL_PG_ROLE"
      printf 'export WSQL_PG_PASSWORD=%q\n' "$WSQL_PG_ROLE_PASSWORD"
      printf 'export WSQL_PG_TEMPLATE=%q\n' "$WSQL_PG_TEMPLATE_DB"
    fi
  } >"$dir/env.sh"
}

# wsql_env_stop DIR -> stops the server recorded in DIR/env.sh and removes DIR.
wsql_env_stop() {
  local dir=$1
  [ -n "$dir" ] && [ -d "$dir" ] || return 0
  if [ -f "$dir/env.sh" ]; then
    (
      # shellcheck disable=SC1091
      . "$dir/env.sh"
      wsql_pg_stop "$WSQL_PG_DATA" "$WSQL_PG_BINDIR"
    )
  elif [ -f "$dir/pg/data/postmaster.pid" ]; then
    wsql_pg_stop "$dir/pg/data" "$(wsql_pg_bindir || true)"
  fi
  rm -rf "$dir"
}
