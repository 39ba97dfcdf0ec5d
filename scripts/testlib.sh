# Shell functions shared by scripts/test, scripts/testenv, scripts/demo and
# tests/golden/run_case.sh. Source it; it defines functions and nothing runs.
#
# A test environment is one folder (WSQL_TEST_DIR) holding:
#   odbc/odbcinst.ini   drivers "SQLite3", "PostgreSQL Unicode", "MariaDB
#                       Unicode" and the project's scripted "WsqlTest" (ODBCSYSINI)
#   odbc/odbc.ini       empty, so no system data source leaks in
#   template.sqlite     the SQLite test database built from tests/data/sqlite.sql
#   pg/                 a private PostgreSQL cluster (owned by the postgres user)
#   mariadb/            a private MariaDB server: data/, its socket, pid file
#                       and log (owned by the mysql user when run as root)
#   env.sh              export lines for everything above

# Driver shared objects, found through the owning Debian package first and a
# list of usual folders second.
WSQL_SQLITE_DRIVER_FILE=libsqlite3odbc.so
WSQL_SQLITE_DRIVER_PKG=libsqliteodbc
WSQL_PG_DRIVER_FILE=psqlodbcw.so
WSQL_PG_DRIVER_PKG=odbc-postgresql
WSQL_MARIADB_DRIVER_FILE=libmaodbc.so
WSQL_MARIADB_DRIVER_PKG=odbc-mariadb
WSQL_MARIADB_DRIVER_NAME="MariaDB Unicode"
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
# The MariaDB test server: same role and password as PostgreSQL's, a database
# loaded from tests/data/mariadb.sql at start, and seconds to wait for it.
WSQL_MARIADB_TEMPLATE_DB=wsql_template
WSQL_MARIADB_START_WAIT=60

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
  local dir=$1 root=${2:-} sqlite pg mariadb testdrv=""
  mkdir -p "$dir"
  sqlite=$(wsql_find_driver "$WSQL_SQLITE_DRIVER_FILE" "$WSQL_SQLITE_DRIVER_PKG") || sqlite=""
  pg=$(wsql_find_driver "$WSQL_PG_DRIVER_FILE" "$WSQL_PG_DRIVER_PKG") || pg=""
  mariadb=$(wsql_find_driver "$WSQL_MARIADB_DRIVER_FILE" "$WSQL_MARIADB_DRIVER_PKG") || mariadb=""
  [ -n "$root" ] && testdrv=$(wsql_testdrv_path "$root")
  {
    if [ -n "$sqlite" ]; then
      printf '[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=%s\n\n' "$sqlite"
    fi
    if [ -n "$pg" ]; then
      printf '[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode)\nDriver=%s\n\n' "$pg"
    fi
    if [ -n "$mariadb" ]; then
      printf '[%s]\nDescription=MariaDB Connector/ODBC (Unicode)\nDriver=%s\n\n' \
        "$WSQL_MARIADB_DRIVER_NAME" "$mariadb"
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

# wsql_sqlite_db FILE -> the SQLite test database at FILE: a copy of
# WSQL_SQLITE_TEMPLATE, else built from tests/data/sqlite.sql with sqlite3.
wsql_sqlite_db() {
  if [ -n "${WSQL_SQLITE_TEMPLATE:-}" ]; then cp -- "$WSQL_SQLITE_TEMPLATE" "$1"
  else sqlite3 -bail "$1" <"$(dirname "${BASH_SOURCE[0]}")/../tests/data/sqlite.sql" >/dev/null; fi
}

# wsql_demo_source DIR -> the demo data source "demo" of scripts/demo in DIR:
# DIR/demo.db built from demo/demo.sql (again only when that changed),
# DIR/odbcinst.ini naming the drivers found and DIR/odbc.ini, for
# ODBCSYSINI=DIR and ODBCINI=DIR/odbc.ini. Status 1 when a part is missing.
wsql_demo_source() {
  local sql
  sql=$(dirname "${BASH_SOURCE[0]}")/../demo/demo.sql
  if [ ! "$1/demo.db" -nt "$sql" ]; then
    mkdir -p "$1" && rm -f "$1/demo.db.new" && sqlite3 -bail "$1/demo.db.new" <"$sql" &&
      mv "$1/demo.db.new" "$1/demo.db" || return 1
  fi
  wsql_write_odbcinst "$1" && grep -qx '\[SQLite3\]' "$1/odbcinst.ini" &&
    wsql_odbc_entry sqlite "$1/demo.db" demo >"$1/odbc.ini"
}

# wsql_odbc_entry KIND DATABASE [NAME] -> the odbc.ini entry of a data source
# NAME (default KIND) of kind sqlite (DATABASE is the file), pg or mariadb (on
# the test server of WSQL_PGHOST... or WSQL_MARIADB_HOST..., as its role).
# SQLite steps through a result row by row (StepAPI=1) instead of reading it
# whole before the first row, as the demo data source does: same rows, bounded
# memory.
wsql_odbc_entry() {
  case $1 in
    sqlite) printf '[%s]\nDriver=SQLite3\nDatabase=%s\nStepAPI=1\n' "${3:-$1}" "$2" ;;
    pg) printf '[%s]\nDriver=PostgreSQL Unicode\nServername=%s\nPort=%s\nDatabase=%s\nUsername=%s\nPassword=%s\nSSLmode=disable\n' \
      "${3:-$1}" "$WSQL_PGHOST" "$WSQL_PG_PORT" "$2" "$WSQL_PG_USER" "$WSQL_PG_PASSWORD" ;;
    mariadb) printf '[%s]\nDriver=%s\nServer=%s\nPort=%s\nDatabase=%s\nUser=%s\nPassword=%s\n' "${3:-$1}" \
      "$WSQL_MARIADB_DRIVER_NAME" "$WSQL_MARIADB_HOST" "$WSQL_MARIADB_PORT" "$2" "$WSQL_MARIADB_USER" "$WSQL_MARIADB_PASSWORD" ;;
  esac
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

# wsql_mariadb_bin NAME -> prints the path of the MariaDB program NAME
# (mariadbd lives in sbin, which a plain user's PATH may lack); status 1 when
# it is not installed.
wsql_mariadb_bin() {
  local d
  command -v "$1" 2>/dev/null && return 0
  for d in /usr/sbin /usr/bin /usr/local/sbin /usr/local/bin; do
    if [ -x "$d/$1" ]; then printf '%s\n' "$d/$1"; return 0; fi
  done
  return 1
}

# wsql_mariadb_client ARGS... -> runs the mariadb client as the test role over
# TCP, reading no option file, in UTF-8 (the locale may be C), in batch mode.
# Needs WSQL_MARIADB_PORT; WSQL_MARIADB_HOST defaults to 127.0.0.1.
wsql_mariadb_client() {
  mariadb --no-defaults --protocol=tcp -h "${WSQL_MARIADB_HOST:-127.0.0.1}" \
    -P "$WSQL_MARIADB_PORT" -u "$WSQL_PG_ROLE" -p"$WSQL_PG_ROLE_PASSWORD" \
    --default-character-set=utf8mb4 --batch --silent "$@"
}

# wsql_mariadb_load DB FILE -> creates the database DB and runs the SQL FILE
# in it, in one client call. Needs WSQL_MARIADB_PORT.
wsql_mariadb_load() {
  { printf 'CREATE DATABASE `%s` CHARACTER SET utf8mb4;\nUSE `%s`;\n' "$1" "$1"
    cat -- "$2"; } | wsql_mariadb_client
}

# wsql_mariadb_pid MDIR -> prints the process id of the server started in MDIR
# while that very server still runs (the recorded id is checked against the
# running program and its data folder, so a reused id is never taken).
wsql_mariadb_pid() {
  local mdir=$1 pid cmd
  [ -f "$mdir/launch.pid" ] || return 1
  pid=$(cat "$mdir/launch.pid" 2>/dev/null) || return 1
  case "$pid" in '' | *[!0-9]*) return 1 ;; esac
  cmd=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
  case "$cmd" in
    *mariadbd*"--datadir=$mdir/data "*) printf '%s\n' "$pid" ;;
    *) return 1 ;;
  esac
}

# wsql_mariadb_opts MDIR -> sets WSQL_MARIADB_OPTS to the options that the
# data folder set-up and the server share: data in MDIR/data, run as the mysql
# user when we are root (mariadbd refuses root), and a small throwaway server
# with no durability.
wsql_mariadb_opts() {
  WSQL_MARIADB_OPTS=(--datadir="$1/data")
  [ "$(id -u)" -eq 0 ] && WSQL_MARIADB_OPTS+=(--user=mysql)
  WSQL_MARIADB_OPTS+=(--innodb-buffer-pool-size=32M --innodb-log-file-size=16M
    --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 --innodb-flush-method=nosync)
}

# wsql_mariadb_init DIR -> creates the private data folder DIR/mariadb/data
# with mariadb-install-db (the slow part of the start, which may run while
# PostgreSQL starts); its output goes to DIR/mariadb-install.log. Status 1 on
# failure, with the reason on standard error.
wsql_mariadb_init() {
  local dir=$1 mdir=$1/mariadb installdb
  installdb=$(wsql_mariadb_bin mariadb-install-db) ||
    { wsql_log "MariaDB server not installed (mariadb-install-db)"; return 1; }
  mkdir -p "$mdir"
  chmod 755 "$dir"
  chmod 700 "$mdir"
  if [ "$(id -u)" -eq 0 ]; then
    chown mysql:mysql "$mdir" || { wsql_log "no mysql user to run MariaDB as"; return 1; }
  fi
  wsql_mariadb_opts "$mdir"
  # --no-defaults first: nothing is read from /etc/mysql.
  (cd / && "$installdb" --no-defaults "${WSQL_MARIADB_OPTS[@]}" \
      --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve) \
      >"$dir/mariadb-install.log" 2>&1 ||
    { wsql_log "mariadb-install-db failed:"; cat "$dir/mariadb-install.log" >&2; return 1; }
}

# wsql_mariadb_start DIR ROOT -> starts a private server on the data folder in
# DIR/mariadb (made by wsql_mariadb_init, which it runs when that has not been
# done) on a free loopback port with its socket in that folder, creates the
# test role (as for PostgreSQL) and the database wsql_template loaded from
# ROOT/tests/data/mariadb.sql. Sets WSQL_MARIADB_PORT, WSQL_MARIADB_SOCKET and
# WSQL_MARIADB_VERSION (the server's version text, which its messages quote).
# The system's MariaDB service and option files are never used. On failure
# prints the server log and returns 1 (the caller stops it).
wsql_mariadb_start() {
  local dir=$1 root=$2 mdir=$1/mariadb mariadbd port attempt pid deadline started=0 server=()
  mariadbd=$(wsql_mariadb_bin mariadbd) &&
    command -v mariadb >/dev/null 2>&1 && command -v mariadb-admin >/dev/null 2>&1 ||
    { wsql_log "MariaDB server or client not installed"; return 1; }
  if [ ! -d "$mdir/data/mysql" ]; then
    wsql_mariadb_init "$dir" || return 1
  fi
  wsql_mariadb_opts "$mdir"

  server=(--socket="$mdir/mariadb.sock" --pid-file="$mdir/mariadbd.pid"
    --log-error="$mdir/server.log" --bind-address=127.0.0.1 --skip-name-resolve
    --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci
    --default-time-zone=+00:00 --lc-messages=en_US --max-recursive-iterations=1000000
    --max-connections="$WSQL_PG_MAX_CONNECTIONS" --innodb-fast-shutdown=3)
  # A random free port, as for PostgreSQL; a server that ends before it
  # answers (the port was taken meanwhile) is tried again on another pick.
  for ((attempt = 1; attempt <= WSQL_PG_START_ATTEMPTS; attempt++)); do
    port=$((WSQL_PG_PORT_MIN + (RANDOM * 32768 + RANDOM) % WSQL_PG_PORT_SPAN))
    if wsql_port_in_use "$port"; then continue; fi
    # A session of its own, so that it outlives the starting shell like a daemon.
    (cd / && exec setsid "$mariadbd" --no-defaults "${WSQL_MARIADB_OPTS[@]}" "${server[@]}" \
      --port="$port") \
      </dev/null >/dev/null 2>&1 &
    pid=$!
    printf '%s\n' "$pid" >"$mdir/launch.pid"
    deadline=$((SECONDS + WSQL_MARIADB_START_WAIT))
    while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
      if mariadb-admin --no-defaults --socket="$mdir/mariadb.sock" -u root \
           --connect-timeout=2 ping >/dev/null 2>&1; then
        started=1
        break
      fi
      sleep 0.1
    done
    [ "$started" -eq 1 ] && break
    # Still running but not answering in time: no point in another port.
    kill -0 "$pid" 2>/dev/null && break
  done
  if [ "$started" -ne 1 ]; then
    wsql_log "MariaDB test server did not start; its log:"
    cat "$mdir/server.log" >&2 2>/dev/null || true
    return 1
  fi
  WSQL_MARIADB_PORT=$port
  WSQL_MARIADB_SOCKET=$mdir/mariadb.sock

  # Only the socket administrator root@localhost stays beside the test role.
  mariadb --no-defaults --socket="$WSQL_MARIADB_SOCKET" -u root --batch <<SQL || return 1
DELETE FROM mysql.global_priv WHERE NOT (Host = 'localhost' AND User IN ('root', 'mariadb.sys'));
DELETE FROM mysql.proxies_priv WHERE Host <> 'localhost';
FLUSH PRIVILEGES;
CREATE USER '$WSQL_PG_ROLE'@'%' IDENTIFIED BY '$WSQL_PG_ROLE_PASSWORD';
GRANT ALL PRIVILEGES ON *.* TO '$WSQL_PG_ROLE'@'%' WITH GRANT OPTION;
SQL
  WSQL_MARIADB_VERSION=$(mariadb --no-defaults --socket="$WSQL_MARIADB_SOCKET" -u root \
    --batch --skip-column-names -e 'SELECT VERSION()') || return 1
  # Loaded over TCP with the password, which also proves that login works.
  wsql_mariadb_load "$WSQL_MARIADB_TEMPLATE_DB" "$root/tests/data/mariadb.sql" \
      >"$dir/mariadbload.log" 2>&1 ||
    { wsql_log "loading tests/data/mariadb.sql failed:"; cat "$dir/mariadbload.log" >&2; return 1; }
}

# wsql_mariadb_stop MDIR -> stops the server started in MDIR (DIR/mariadb)
# and waits for it to end; quiet and harmless when it is not running.
wsql_mariadb_stop() {
  local mdir=$1 pid i
  pid=$(wsql_mariadb_pid "$mdir") || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 300; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

# wsql_env_start DIR ROOT -> builds a whole test environment in DIR (created
# empty by the caller) and writes DIR/env.sh. Status 1 on any failure, with
# whatever was started still recorded in DIR/env.sh for wsql_env_stop.
wsql_env_start() {
  local dir=$1 root=$2 rc=0 init_pid
  WSQL_PG_PORT="" WSQL_PG_DATA="" WSQL_PG_BINDIR=""
  WSQL_MARIADB_PORT="" WSQL_MARIADB_SOCKET="" WSQL_MARIADB_VERSION=""
  wsql_write_odbcinst "$dir/odbc" "$root" || { wsql_log "no ODBC test driver found"; return 1; }
  rm -f "$dir/template.sqlite"
  sqlite3 -bail "$dir/template.sqlite" <"$root/tests/data/sqlite.sql" \
    || { wsql_log "loading tests/data/sqlite.sql failed"; return 1; }
  # MariaDB's data folder is made meanwhile; it is waited for in any case, so
  # that nothing still writes into DIR when the caller removes it.
  wsql_mariadb_init "$dir" 2>"$dir/mariadb-init.err" &
  init_pid=$!
  wsql_pg_start "$dir" "$root" || rc=1
  if ! wait "$init_pid"; then
    cat "$dir/mariadb-init.err" >&2
    rc=1
  fi
  [ $rc -eq 0 ] && { wsql_mariadb_start "$dir" "$root" || rc=1; }
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
    if [ -n "$WSQL_MARIADB_PORT" ]; then
      printf 'export WSQL_MARIADB_HOST=127.0.0.1\n'
      printf 'export WSQL_MARIADB_PORT=%q\n' "$WSQL_MARIADB_PORT"
      printf 'export WSQL_MARIADB_SOCKET=%q\n' "$WSQL_MARIADB_SOCKET"
      printf 'export WSQL_MARIADB_USER=%q\n' "$WSQL_PG_ROLE"
      printf 'export WSQL_MARIADB_PASSWORD=%q\n' "$WSQL_PG_ROLE_PASSWORD"
      printf 'export WSQL_MARIADB_TEMPLATE=%q\n' "$WSQL_MARIADB_TEMPLATE_DB"
      printf 'export WSQL_MARIADB_VERSION=%q\n' "$WSQL_MARIADB_VERSION"
    fi
  } >"$dir/env.sh"
}

# wsql_env_stop DIR -> stops the servers started in DIR (PostgreSQL as
# recorded in DIR/env.sh, MariaDB by its folder) and removes DIR.
wsql_env_stop() {
  local dir=$1
  [ -n "$dir" ] && [ -d "$dir" ] || return 0
  wsql_mariadb_stop "$dir/mariadb"
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
