#!/usr/bin/env bash
# Against the test servers: a MariaDB session killed by the server connects
# again (the lost handle is released first), standard output closed at start
# does not end up in the PostgreSQL socket, and a failing statement shows its
# own prepare and execute times, never the previous statement's; a connection
# asked on the command line takes its password from the environment; wide
# text is printed in the code set of a locale that is not UTF-8.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
needs WSQL_PG_PORT WSQL_MARIADB_PORT
pid=""
on_exit() { exec 3>&-; [ -z "$pid" ] || kill "$pid" 2>/dev/null || true; }
pg_entry '[mariadb]' 'Driver=MariaDB Unicode' "Server=$WSQL_MARIADB_HOST" "Port=$WSQL_MARIADB_PORT" \
  "User=$WSQL_MARIADB_USER" "Password=$WSQL_MARIADB_PASSWORD" >odbc.ini

# 1. The server kills the MariaDB session; a later CONNECT works again.
mkfifo in
timeout -k 5 60 "$WSQL" -q <in >out 2>err &
pid=$!
exec 3>in
printf 'connect mariadb\nresfile id.txt\nselect connection_id() as id;\nresfile\n' >&3
for _ in $(seq 1 300); do [ -s id.txt ] && grep -q '^[0-9]' id.txt && break; sleep 0.1; done
id=$(grep -m1 '^[0-9]' id.txt | tr -d '\t') || fail "no connection id"
wsql_mariadb_client -e "KILL $id"
printf "select 1;\nselect 1;\nconnect mariadb\nselect 'back again' as phase;\n" >&3
exec 3>&-
wait "$pid" || fail "wsql ended with status $?"
pid=""
grep -q 'SQL: Connection to the database was lost.' err || fail "the killed session was not seen as lost"
grep -qx 'back again	' out || fail "CONNECT after the lost connection did not work"
! grep -q '08002' err || fail "the driver manager still held the lost connection"

# 2. Standard output closed: statements succeed, nothing reaches the socket.
rc=0
printf "connect pg\nselect 1 as one;\nresfile r.txt\nselect 'still connected' as phase;\n" |
  "$WSQL" >&- 2>err || rc=$?
[ "$rc" = 0 ] || fail "with standard output closed: status $rc"
[ ! -s err ] || fail "with standard output closed something failed"
grep -qx 'still connected	' r.txt || fail "the connection did not survive the closed standard output"

# 3. Times: the failing statements after a slow one show their own figures.
printf 'connect pg\nselect pg_sleep(1);\nselect 1/0;\nselect pg_sleep(1);\nselect bogus from nowhere;\n' |
  "$WSQL" -q -x 9 >out 2>err || true
awk -F'[ \t]+' '/^Elapsed time: Prepare/ { n++; p = $4; e = $7; f = $11
       if (p < 0 || e < 0 || f < 0) { print "negative figure: " $0; bad = 1 }
       if ((n == 2 || n == 4) && p + e >= 900) { print "stale times: " $0; bad = 1 } }
     END { if (n != 4) { print n " timing lines"; bad = 1 }; exit bad }' out ||
  fail "the failing statements did not show their own times"
# 4. A connection from the command line: --user, the password from
# WSQL_PASSWORD, never written anywhere.
conn="DRIVER=PostgreSQL Unicode;Servername=$WSQL_PGHOST;Port=$WSQL_PG_PORT;Database=postgres;SSLmode=disable"
WSQL_PASSWORD=$WSQL_PG_PASSWORD "$WSQL" --connect "$conn" --user "$WSQL_PG_USER" \
  --command "select 'by --connect' as phase;" >out 2>err || fail "--connect with --user failed"
grep -qx 'by --connect	' out || fail "no result through --connect"
! grep -q -- "$WSQL_PG_PASSWORD" out err || fail "the password was written"
# 5. Wide text (PostgreSQL's) in a Latin-1 locale, made here: Latin-1 bytes.
# (glibc keeps a few bytes of a locale loaded from LOCPATH for good: no leak
# check there under the sanitizers.)
localedef -i en_US -f ISO-8859-1 "$WORK/latin1" >/dev/null 2>&1 || skip "no Latin-1 locale (localedef, package locales)"
printf "connect pg\nselect 'h' || chr(233) || 'llo' as w;\n" | LOCPATH=$WORK LC_ALL=latin1 ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
  "$WSQL" -q >out 2>err
LC_ALL=C grep -qx "$(printf 'h\351llo\t')" out || fail "the wide text was not printed in Latin-1"
echo "unattended: ok"
