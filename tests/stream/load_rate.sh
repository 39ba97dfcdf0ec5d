#!/usr/bin/env bash
# Load runs against a schedule (--rate). A server that stalls for 2 s shows
# in the pass latencies of a paced run, counted from each pass's scheduled
# start, and not in those of the closed model, where the passes just wait;
# the paced run keeps its rate, and a ramp its mean; --latency-limit skips
# the passes that are already too late; the run's rate is the sum of its
# jobs' rates; and --progress writes its lines to a log that is no terminal.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
[ -f "$(wsql_testdrv_path "$ROOT")" ] || skip "the scripted test driver is not built"
printf '[t]\nDriver=%s\nScenario=%s/scenario\n' "$WSQL_TESTDRV_NAME" "$WORK" >>odbc.ini
# The 20th execution of each job takes 2 s, the others no time.
printf 'STATEMENT *\nSQLExecute#20 0\nDELAY 2000\nSQLExecute 0\nRESULT\nROWCOUNT 1\n' >scenario

# run NAME ARGS... -> a load run of "select 1;" on t, its report in NAME.json
run() {
  local name=$1; shift
  "$WSQL" "$@" --report="$name.json" --command 'select 1;' t >out 2>err || fail "the run $name failed"
}
# check NAME PYTHON -> the Python expression holds of the report r of NAME
# (p: its pass latencies, g: its lag, in milliseconds)
check() {
  python3 -c "import json, sys
r = json.load(open('$1.json')); p = r['pass_latency']; g = r['lag']
sys.exit(0 if $2 else 1)" || fail "$1: not $2: $(head -c 2000 "$1.json")"
}

run closed --jobs 1 --runs 300
check closed "p['max_ms'] >= 2000 and p['p99_ms'] < 1500 and p['count'] == r['passes'] == 300"

run paced --jobs 2 --duration 4 --rate=100 --progress=1
check paced "p['p99_ms'] >= 1500 and g['max_ms'] >= 1500 and r['late_passes'] == r['skipped_passes'] == 0"
# About 400 passes (Poisson: 20 either way), none lost to the stall.
check paced "300 <= r['passes'] <= 500 and p['count'] == g['count'] == r['passes']"
# One span for every rate: the last job's is the run's, and the rates of
# the jobs (both ran to the end) add up to the run's.
check paced "max(j['seconds'] for j in r['jobs']) == r['elapsed_seconds']"
check paced "abs(sum(j['passes'] / j['seconds'] for j in r['jobs']) * r['elapsed_seconds'] / r['passes'] - 1) < 0.01"
grep -q '^Passes (complete runs of the script): [0-9]* ([0-9.]*/s)$' out || fail "no line of passes"
grep -q '^Schedule lag: mean [0-9.]* ms, p50 [0-9.]* ms, p95 [0-9.]* ms, p99 [0-9.]* ms, max [0-9.]* ms$' out ||
  fail "no line of the schedule lag"
line='progress: [0-9.]+ s, [0-9.]+ passes/s, [0-9.]+ statements/s, pass p50 [0-9.]+ ms, p99 [0-9.]+ ms, 0 failed'
[ "$(grep -Ec "^$line\$" err)" -ge 2 ] && ! grep -Evq "^$line\$" err || fail "no progress lines in the log"

# Passes more than 500 ms behind are skipped, so none that ran started
# later than that; the stalled one itself is late.
run limited --jobs 1 --duration 3 --rate=50 --latency-limit=500
check limited "r['skipped_passes'] >= 30 and r['late_passes'] >= 1 and g['max_us'] <= 500000"
grep -q '^Load run: 1 jobs, duration 3 s, rate 50 passes/s, latency limit 500 ms$' out || fail "no plan of the pacing"
# A ramp from 0 to 200 passes a second over 2 s: about 200 passes (Poisson: 14 either way).
"$WSQL" --jobs 2 --duration 2 --rate=0:200 --report=ramp.json --command 'select 1;' s >out 2>err || fail "the ramp failed"
check ramp "120 <= r['passes'] <= 280 and r['plan'] == 'duration 2 s, rate 0 to 200 passes/s'"
echo "load_rate: ok"
