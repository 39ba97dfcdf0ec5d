#!/usr/bin/env bash
# Runs every example of README.md and man/wsql.1 against a private copy of the demo data source:
# examples.sh WSQL. Exit status 0 passed, 1 failed, 77 skipped (no sqlite3 or SQLite ODBC driver,
# and WSQL_REQUIRE_DB unset).

# An example is a README code block (``` fences) or a manual .EX/.EE block. How it runs is said by
# a mark on a line of its own before it (in the manual before its .in/.EX lines):
# `<!-- example: MARK -->` in README.md, `.\" example: MARK` in the manual. MARK is one of
#   sh [status=N]       the block is a bash script, run with -e (default of ```sh blocks)
#   session             "$ command" lines are commands, run in order by one bash -e; the lines after
#                       the "ISQL> ", "Cont> " and "CMD #n> " prompts that follow one are its
#                       standard input; other lines are output (default of blocks beginning "$ ")
#   file NAME: COMMAND  the block is written to the file NAME, then COMMAND runs
#   skip REASON         not run (needs a server, installs on the machine, shows output...)
# A block with neither mark nor default fails, so that no new example escapes the check. It passes
# when it ends with status 0 (or N) and, with status 0, writes no line on standard error and no
# line holding "rror" on standard output that the block does not show itself.

# Each block runs in a folder of its own, which is HOME and holds .demo/ (the data source "demo" as
# scripts/demo makes it, one copy that the blocks share in their order; ODBCSYSINI and ODBCINI
# point there, as the documents tell readers to do), tmp/ (which stands in for /tmp/ in the
# block's text) and the files of given/: case.sql stands for the reader's own script, scripts/demo
# for what scripts/demo does once it has built wsql. The wsql on PATH is WSQL.
. "$(dirname "${BASH_SOURCE[0]}")/../server/common.sh"
wsql_demo_source "$WORK/demo" >/dev/null 2>&1 || skip "sqlite3 or the SQLite ODBC driver is missing"

# Each block to b.N (the manual's with its escapes undone), "place mark" to b.N.mark and the bash
# script that runs it to b.N.script: a sh block itself, for a session its commands each fed the
# lines typed at the prompts after it.
cd "$ROOT" && awk -v dir="$WORK" 'FILENAME ~ /\.1$/ {
    gsub(/\\f[BIPR]|\\&/, ""); gsub(/\\\(aq/, "\047"); gsub(/\\\(dq/, "\""); gsub(/\\-/, "-"); gsub(/\\e/, "\\") }
  function put() { if (c != "") t = t (i == "" ? c : "{\n" c "\n} <<\047EXAMPLE_INPUT\047\n" i "EXAMPLE_INPUT") "\n" }
  !f && match($0, /^(<!--|\.\\") example: /) { m = substr($0, RLENGTH + 1); sub(/ -->$/, "", m); next }
  !f && /^(```|\.EX$)/ { f = dir "/b." ++n; at = FILENAME ":" FNR; sh = /^```(sh|bash)$/; c = i = t = body = ""; next }
  f && /^(```|\.EE)$/ { put(); m = m != "" ? m : sh ? "sh" : body ~ /^\$ / ? "session" : "none"
    printf "%s", body >f; printf "%s", (m ~ /^sh/ ? body : t) >(f ".script"); print at, m >(f ".mark"); f = m = "" }
  f { body = body $0 "\n" }
  f && /^\$ / { put(); c = substr($0, 3); i = "" }
  f && match($0, /^(ISQL|Cont|CMD #[0-9]+)> ?/) { i = i substr($0, RLENGTH + 1) "\n" }' README.md man/wsql.1

# A block marked "servers" runs again with DSN=pg and DSN=mariadb in its environment, the data
# sources of those names on the test servers beside "demo" (skipped without them).
servers=""
if [ -n "${WSQL_PG_PORT:-}" ] && [ -n "${WSQL_MARIADB_PORT:-}" ]; then
  wsql_mariadb_client -e 'CREATE DATABASE IF NOT EXISTS wsql_docs' &&
    { cat "$WORK/demo/odbc.ini"; wsql_odbc_entry pg postgres; wsql_odbc_entry mariadb wsql_docs; } >"$WORK/servers.ini" &&
    servers="pg mariadb"
fi
[ -n "$servers" ] || [ -z "${WSQL_REQUIRE_DB:-}" ] || { echo "examples: the test servers are needed"; exit 1; }

for ((n = 1; n <= $(ls "$WORK"/b.*.mark | wc -l); n++)); do
  read -r place kind arg <"$WORK/b.$n.mark"
  [ "$kind" != skip ] || { echo "$place: skipped $arg"; continue; }
  dsns=demo
  [[ ! $arg =~ (^| )servers( |$) ]] || dsns="demo $servers"
  for dsn in $dsns; do
  b=$WORK/b.$n.$dsn w=$WORK/w.$n.$dsn status=0 rc=0 ini=$WORK/demo/odbc.ini
  [ "$dsn" = demo ] || ini=$WORK/servers.ini
  cp "$WORK/b.$n" "$b" && cp "$WORK/b.$n.script" "$b.script"
  mkdir -p "$w/tmp" && cp -R "$ROOT/tests/docs/given/." "$w" && ln -s ../demo "$w/.demo" && sed -i "s|/tmp/|$w/tmp/|g" "$b"{,.script}
  [[ $kind =~ ^(sh|session|file)$ ]] || { echo "$place: FAIL: no mark says how to run it"; failed=1; continue; }
  [[ ! $arg =~ status=([0-9]+) ]] || status=${BASH_REMATCH[1]}
  [ "$kind" != file ] || { cp "$b" "$w/${arg%%: *}" && echo "${arg#*: }" >"$b.script"; }
  (cd "$w" && exec env -u LANG -u LANGUAGE -u ODBCINSTINI HOME="$w" ODBCSYSINI="$w/.demo" ODBCINI="$ini" DSN="$dsn" \
    PATH="${WSQL%/*}:$PATH" timeout 300 bash -e "$b.script") </dev/null >"$w/out" 2>"$w/err" || rc=$?
  { cat "$w/err"; grep rror "$w/out" || true; } | sed 's/[[:space:]]*$//' |
    { grep -vxF -f <(sed 's/[[:space:]]*$//' "$b") || true; } >"$w/unexpected"
  [ "$rc" -eq "$status" ] && { [ "$status" -ne 0 ] || [ ! -s "$w/unexpected" ]; } && echo "$place ($dsn): ok" && continue
  echo "$place ($dsn): FAIL: status $rc (expected $status); unexpected lines:"; head -n 20 "$w/unexpected"; failed=1
  done
done
exit "${failed:-0}"
