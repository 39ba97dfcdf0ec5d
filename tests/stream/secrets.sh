#!/usr/bin/env bash
# No password shows in the process list: the one of a --connect string is
# overwritten once read, in the session and in every job of a load run; an
# unknown option named like a password is refused without echoing its value.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# args_of PID -> its command line as ps shows it
args_of() { ps -o args= -p "$1"; }
"$WSQL" --connect 'DSN=s;PWD=sesame;SSLPassword={se;same}' --command 'wait 5' >out 2>err & pid=$!
for _ in $(seq 100); do grep -q 'connect_string' out && break; sleep 0.05; done  # the options are read
[[ $(args_of "$pid") =~ DSN=s && ! $(args_of "$pid") =~ sesame|se\;same ]] || fail "the session shows: $(args_of "$pid")"
kill "$pid"; wait "$pid" 2>/dev/null || true

"$WSQL" --jobs 2 --duration 5 --connect 'DSN=s;PWD=sesame' --command 'select 1;' >out 2>err & pid=$!
for _ in $(seq 100); do [ "$(wc -w <"/proc/$pid/task/$pid/children")" -ge 2 ] && break; sleep 0.05; done
jobs=$(cat "/proc/$pid/task/$pid/children")
[ -n "$jobs" ] || fail "no jobs to look at"
for p in $pid $jobs; do
  ! args_of "$p" | grep -q sesame || fail "process $p shows the password: $(args_of "$p")"
done
kill "$pid"; wait "$pid" 2>/dev/null || true

rc=0; "$WSQL" --password=sesame s >out 2>err || rc=$?
[ "$rc" = 255 ] || fail "--password ended with $rc"
! grep -q sesame out err || fail "the value of --password was echoed"
grep -q WSQL_PASSWORD err || fail "no pointer to WSQL_PASSWORD: $(cat err)"
echo "secrets: ok"
