#!/usr/bin/env bash
# Output that cannot be written is never lost in silence: each failed stream
# is named once on the error stream, the session goes on, and the exit status
# is 4. A results reader that goes away ends the session (141) instead of
# letting it run for nobody. Also: a statement too large for the memory limit
# fails alone, closed standard descriptors are not reused, replaced results
# files and the settings file are closed, and --command texts that cannot be
# held are reported.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# expect STATUS FILE TEXT -> the last run ended with STATUS and FILE holds TEXT
expect() {
  [ "$rc" = "$1" ] || fail "expected status $1, got $rc (${3})"
  grep -qF -- "$3" "$2" || { cat "$2"; fail "$2 lacks: $3"; }
}
sqlite3 s.db "create table big(x integer, t longvarchar);
  with recursive c(n) as (select 1 union all select n + 1 from c limit 200000)
  insert into big select n, 'row' from c;
  insert into big values (0, replace(hex(zeroblob(500000)), '00', 'ab'));"

# Standard output on a device that is always full.
rc=0; printf 'connect s\nselect x from big;\necho still going\n' | "$WSQL" -m 0 >/dev/full 2>err || rc=$?
expect 4 err "SQL: Output to standard output was lost: No space left on device"
[ "$(grep -c 'was lost' err)" = 1 ] || fail "the lost standard output was reported more than once"
# With an ERRFILE in force the report goes there, like every other error.
printf 'errfile errors.txt\nconnect s\nselect x from big;\n' >full.sql
rc=0; "$WSQL" -q -m 0 -c full.sql >/dev/full 2>err || rc=$?
expect 4 errors.txt "SQL: Output to standard output was lost: No space left on device"
[ ! -s err ] || fail "the lost output was reported on standard error, not the ERRFILE"

# The reader goes away while SIGPIPE is ignored: the session ends at once.
rc=0
(trap '' PIPE; printf 'connect s\nselect x from big;\nselect x from big;\n' |
   "$WSQL" -m 0 2>err | head -c 10 >/dev/null; exit "${PIPESTATUS[1]}") || rc=$?
expect 141 err "SQL: Output to standard output was lost: Broken pipe"

# A full file system: results, errors and large-column files. A small tmpfs
# where one can be mounted, else a file size limit (EFBIG instead of ENOSPC).
mkdir full
if mount -t tmpfs -o size=256k tmpfs full 2>/dev/null; then
  trap 'umount "$WORK/full"; rm -rf "$WORK"' EXIT
  reason="No space left on device"
  limit() { "$@"; }
else
  reason="File too large"
  limit() { (trap '' XFSZ; ulimit -f 256; "$@"); }
fi
rc=0
printf 'connect s\nresfile full/results.txt\nselect x from big;\nresfile\necho results go on\n' |
  limit "$WSQL" -q -m 0 >out 2>err || rc=$?
expect 4 err "SQL: Output to full/results.txt was lost: $reason"
grep -q 'results go on' out || fail "the session did not go on after the results file filled"

rm -f full/results.txt
head -c 300000 /dev/zero >full/filler 2>/dev/null || true
rc=0
printf 'connect s\nerrfile full/errors.txt\nselect bogus from nowhere;\nerrfile\nselect bogus from nowhere;\n' |
  limit "$WSQL" -q >out 2>err || rc=$?
expect 4 err "SQL: Output to full/errors.txt was lost: $reason"
grep -q 'no such table' err || fail "errors after the full error file were not written"
rm -f full/filler full/errors.txt

rc=0
printf 'connect s\nselect t from big where x = 0;\n' | limit "$WSQL" -q -r -o full --on-error=continue >out 2>err || rc=$?
expect 4 err "SQL: Output to full/largecolresult/Column0Row1.txt was lost: $reason; the file was removed"
[ ! -e full/largecolresult/Column0Row1.txt ] || fail "a cut large-column file was left behind"
grep -q '^1 of 2 commands failed$' err || fail "the statement whose value was lost did not fail"

# A 100 MB statement under a memory limit fails alone; the next command runs.
# (Not in the sanitizer build: its runtime reserves more than the limit.)
if [ -z "${ASAN_OPTIONS:-}" ]; then
  python3 -c "import sys; sys.stdout.write('connect s\nselect 1 ' + '-- ' + 'x' * 100000000 + '\n;\nselect 42 as answer;\n')" >huge.sql
  rc=0
  (ulimit -v 600000; "$WSQL" -q -c huge.sql >out 2>err) || rc=$?
  expect 0 err "SQL: Out of memory"
  grep -q '^42' out || { cat out err; fail "the command after the huge statement did not run"; }
fi

# Standard output closed: nothing of wsql's lands in a descriptor opened later.
rc=0; printf 'connect s\nresfile r.txt\nselect 7 as seven;\n' | "$WSQL" -q >&- 2>err || rc=$?
[ "$rc" = 0 ] || fail "with standard output closed: status $rc"
grep -q '^7' r.txt || fail "with standard output closed the results file lost its rows"
! grep -q 'ISQL>' r.txt || fail "a prompt went into the results file"
# A RESFILE replaced in each of 200 passes, more than the descriptor limit:
# each replaced file is closed, so the session keeps working.
rc=0
(ulimit -n 64; printf 'repeat 200\nresfile r.txt\necho pass\nend\nresfile\necho after\n' |
   "$WSQL" -q >out 2>err) || rc=$?
expect 0 out " after"
[ ! -s err ] && [ "$(cat r.txt)" = " pass" ] || { cat err; fail "a replaced results file was left open"; }
# The settings file, read several times at start-up, is closed after each
# read: no descriptor of the running session is left on it.
: >odbcisql.ini
rm -f in; mkfifo in
"$WSQL" -q <in >out 2>err & pid=$!
exec 3>in
echo 'echo ready' >&3
for _ in $(seq 600); do grep -q ready out && break; sleep 0.05; done
open=$(find "/proc/$pid/fd" -lname "*/odbcisql.ini" | wc -l)
exec 3>&-
wait "$pid" || fail "the session with a settings file ended with status $?"
[ "$open" = 0 ] || fail "$open descriptors left on the settings file"
rm odbcisql.ini

# No room for the temporary file of the --command texts: said, and nothing runs.
rc=0; (trap '' XFSZ; ulimit -f 0; "$WSQL" --command 'echo not run') 2>&1 | cat >out || rc=$?
expect 255 out "SQL: Could not hold the --command texts"
! grep -q 'not run' out || fail "a --command text ran that could not be held"
echo "lost_output: ok"
