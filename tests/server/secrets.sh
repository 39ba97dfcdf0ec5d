#!/usr/bin/env bash
# Passwords given to CONNECT, MULTICONNECT and CUSTOMCONNECT (PWD=), right
# and wrong, never show up in what wsql writes: standard output and error,
# RESFILE and ERRFILE files and large-column files, with every output class
# on. The one place where one may appear is the connect string that
# CUSTOMCONNECT announces by design (the line after "SQL: connecting with
# connect_string:"). Input is not echoed here (-e would repeat it).
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
needs WSQL_PG_PORT WSQL_PGHOST
SESSION_TIMEOUT=120
RIGHT=$WSQL_PG_PASSWORD
WRONG=Wr0ngPw-7c1e
WRONG_MULTI=Mu1tiPw-4d2a
WRONG_CUSTOM=Cu5tomPw-2b9d
ANNOUNCE='SQL: connecting with connect_string:'

# No password in the data source entry: every one comes from a command.
pg_entry | grep -v -e '^Username=' -e '^Password=' >odbc.ini
custom="DRIVER={PostgreSQL Unicode};SERVER=$WSQL_PGHOST;PORT=$WSQL_PG_PORT;DATABASE=postgres;SSLMODE=disable;UID=$WSQL_PG_USER"

# A command file that connects elsewhere and disconnects: when it ends, the
# parent's connection is made again with the stored user name and password.
cat >inner.sql <<SQL
connect nosuch
disconnect
SQL
cat >session.sql <<SQL
connect $WSQL_PG_USER*$WRONG@pg
connect nobody*$WRONG@pg
connect $WSQL_PG_USER*$RIGHT@pg
select repeat('x', 40000) as big;
select no_such_column;
resfile res.txt
errfile err.txt
connect $WSQL_PG_USER*$WRONG@pg
connect $WSQL_PG_USER*$RIGHT@pg
cmdfile inner.sql
select cast('after the command file' as varchar(40)) as phase;
multiconnect 2 $WSQL_PG_USER*$WRONG_MULTI@pg
multiconnect 2 $WSQL_PG_USER*$RIGHT@pg
multidisconnect
customconnect "$custom;PWD=$WRONG_CUSTOM"
customconnect "$custom;PWD=$RIGHT"
cmdfile inner.sql
select cast('after the custom connection' as varchar(40)) as phase;
resfile
errfile
connect $WSQL_PG_USER*$WRONG@pg
SQL


# check_file FILE -> fails when a password is in FILE other than in the line
# after a connect-string announcement.
check_file() {
  local pw hits
  for pw in "$RIGHT" "$WRONG" "$WRONG_MULTI" "$WRONG_CUSTOM"; do
    hits=$(awk -v pw="$pw" -v ann="$ANNOUNCE" \
      'index($0, pw) && prev != ann { print FILENAME ":" FNR ": " $0 } { prev = $0 }' "$1")
    [ -z "$hits" ] || fail "password in output: $hits"
  done
}

# run NAME OPTIONS... -> one session over session.sql, checked.
run() {
  local name=$1 status=0 f
  shift
  rm -rf out err res.txt err.txt lc
  mkdir lc
  timeout --foreground -k 5 "$SESSION_TIMEOUT" "$WSQL" -x ff -r -o lc "$@" <session.sql \
    >out 2>err || status=$?
  [ "$status" -eq 0 ] || fail "$name: wsql ended with status $status"
  # The session did what it should, so the outputs are worth checking.
  grep -q 'password authentication failed' err.txt || fail "$name: no failed connect in err.txt"
  grep -qx 'after the command file	' res.txt || fail "$name: no result after the command file"
  grep -qx 'after the custom connection	' res.txt || fail "$name: no result after the custom connection"
  grep -q '^SQL: 2 connections have been successful\.$' res.txt || fail "$name: no multi connections"
  [ -n "$(find lc -type f)" ] || fail "$name: no large-column file"
  for f in out err res.txt err.txt $(find lc -type f); do check_file "$f"; done
  # The announced connect string is the only place, and it is there.
  grep -q -F "PWD=$WRONG_CUSTOM" res.txt || fail "$name: connect string not announced"
}

run 'all output classes'
# Errors on standard output, and UTF-8 input.
run 'test mode' -t
run 'UTF-8 input' -n session.sql
echo "secrets: ok"
