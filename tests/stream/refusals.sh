#!/usr/bin/env bash
# What the command line asks and cannot be done is refused at once with a
# reason and status 2, before any command runs: empty values, a second data
# source, --connect beside one, a --user the locale cannot read, a --job-output
# that names a file, a connection that cannot be made.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# refused ARGS... -> wsql with ARGS ran nothing, said why and exited with 2
refused() {
  local why=$1; shift
  rc=0; "$WSQL" --command "echo ran" "$@" >out 2>err </dev/null || rc=$?
  [ "$rc" = 2 ] && grep -qF -- "$why" err && ! grep -q '^ran$' out ||
    fail "$*: status $rc (not 2), no \"$why\", or a command ran: $(cat err)"
}
refused 'The data source name on the command line is empty' ''
refused 'Only one data source name may be given on the command line, not also t' s t
refused '--connect needs a connect string' --connect=
refused 'Give a data source name or --connect, not both' s --connect 'DSN=s'
refused '--user is not valid text in the locale' s --user "$(printf 'b\377d')"
refused 'could not be made; no command was run' nosuchdsn
refused '--report needs a file name' --jobs 1 --runs 1 --report=
refused '--job-output needs a folder name' --jobs 1 --runs 1 --job-output=
: >plain.txt && refused 'plain.txt of --job-output cannot be made: Not a directory' --jobs 1 --runs 1 --job-output=plain.txt s
# --version: the version line and status 0, whatever else follows.
[[ $("$WSQL" --version s) =~ ^wsql\ [0-9.]+$ ]] || fail "--version did not print the version line"
echo "refusals: ok"
