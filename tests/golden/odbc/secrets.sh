#!/bin/sh
# The `check` of the odbc/secrets_pg* cases. Passwords given to CONNECT,
# MULTICONNECT and CUSTOMCONNECT (PWD=), right and wrong, never show up in the
# RESFILE and ERRFILE files and large-column files, with every output class on
# (standard output and error are the expected files). The one place where one
# may appear is the connect string that CUSTOMCONNECT announces by design (the
# line after "SQL: connecting with connect_string:"). Input is not echoed here
# (-e would repeat it).
set -e
fail() { echo "$*"; exit 1; }
# The session did what it should, so the files are worth checking.
grep -q 'password authentication failed' err.txt || fail "no failed connect in err.txt"
grep -qx 'after the command file	' res.txt || fail "no result after the command file"
grep -qx 'after the custom connection	' res.txt || fail "no result after the custom connection"
grep -q '^SQL: 2 connections have been successful\.$' res.txt || fail "no multi connections"
grep -q -F "PWD=Cu5tomPw-2b9d" res.txt || fail "connect string not announced"
[ -n "$(find lc -type f)" ] || fail "no large-column file"
for pw in wsqlpw Wr0ngPw-7c1e Mu1tiPw-4d2a Cu5tomPw-2b9d; do
  find res.txt err.txt lc -type f -exec awk -v pw="$pw" 'FNR == 1 { prev = "" }
    index($0, pw) && prev != "SQL: connecting with connect_string:" {
      print "password in output: " FILENAME ":" FNR ": " $0; bad = 1 } { prev = $0 } END { exit bad }' {} +
done
