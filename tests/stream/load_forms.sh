#!/usr/bin/env bash
# The other forms of a load run's report: the interval log adds up to the
# run's totals, a merge of the run's JSON alone gives its HTML page byte for
# byte, a crossed threshold with --abort-on-threshold stops the run with 5
# and a report, metrics pass promtool, and the page loads in a browser
# without a console message and shows its charts.
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$WSQL" --jobs 2 --duration 3 --interval 1 --interval-log=log.csv --report=a.json --report=a.html \
  --metrics-file=m.prom --threshold='p99<10s' --threshold='select 1:fail-rate<=0%' \
  --command='select 1;' s >out 2>err || fail "the run ended with $?"
head -n 1 log.csv | grep -qx 'start_epoch,elapsed_s,seconds,statements,failures,passes,p50_ms,p95_ms,p99_ms,max_ms' ||
  fail "no header in the interval log"
# total KEY -> the run's total of KEY (a regular expression) in a.json
total() { sed -nE "s/^  \"($1)\": ([0-9]+),\$/\\2/p" a.json; }
sums=$(awk -F, 'NR > 1 { s += $4; f += $5; p += $6 } END { print s, f, p }' log.csv)
[ "$sums" = "$(total statements) $(total failed_commands) $(total passes)" ] ||
  fail "the interval log adds up to $sums, not to the report's totals"
grep -q '^passed  select 1:fail-rate<=0%  (measured 0.000 %)$' out || fail "the thresholds are not in the report"
! grep -qiE '<script|src=|href=|url\(' a.html || fail "the page fetches something"
"$WSQL" --merge-reports a.json --report=b.html >out 2>err || fail "the merge ended with $?"
cmp -s a.html b.html || fail "the page of the merged report is not the run's"

# Reports of other interval lengths are not merged; a merge checks thresholds of its own.
sed 's/"interval_seconds": 1.000000/"interval_seconds": 2.000000/' a.json >two.json
rc=0; "$WSQL" --merge-reports a.json two.json >out 2>err || rc=$?
[ "$rc" = 2 ] && grep -q 'SQL: Could not merge the report two.json: its intervals (2 s) are not those' err ||
  fail "reports of other intervals were merged ($rc)"
rc=0; "$WSQL" --merge-reports a.json --threshold='tps>=1000000000' >out 2>err || rc=$?
[ "$rc" = 5 ] && grep -q '^FAILED  tps>=1000000000  (measured ' out || fail "a crossed threshold of a merge ended with $rc"

# A statement slower than its threshold stops a run meant to last a minute.
slow='with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) select count(*) from n;'
rc=0; timeout 20 "$WSQL" --jobs 1 --duration 60 --threshold='p99<1us' --abort-on-threshold --report=stop.json \
  --command "$slow" s >out 2>err || rc=$?
[ "$rc" = 5 ] || fail "a crossed threshold ended the run with $rc, not 5"
grep -q '^SQL: Threshold p99<1us crossed after [0-9.]* s (measured [0-9.]* ms); the run stops$' err &&
  grep -q '"passed": false' stop.json || fail "the stop went unsaid"

command -v promtool >/dev/null || skip "promtool not installed (package prometheus)"
promtool check metrics <m.prom || fail "promtool refuses the metrics file"
grep -q '^wsql_load_statements_total{run_id="[0-9a-f]\{32\}",jobs="2"} '"$(total statements)"'$' m.prom ||
  fail "the metrics file does not hold the run's last counts"

command -v chromium >/dev/null || skip "chromium not installed"
py=$(for p in python3 /usr/bin/python3; do "$p" -c 'import PIL' 2>/dev/null && echo "$p" && break; done) ||
  skip "no python3 with PIL (package python3-pil)"
timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=900,2000 \
  --enable-logging=stderr --log-level=0 --screenshot="$WORK/shot.png" "file://$WORK/a.html" >/dev/null 2>browser ||
  fail "chromium ended with $?: $(cat browser)"
! grep ':CONSOLE' browser || fail "the page wrote to the browser's console"
# Each chart's colours cover more than their legends' 56 pixels each: lines
# and bars are drawn (p50, p95 and p99 as one: equal percentiles overlap).
"$py" - "$WORK/shot.png" <<'EOF' || fail "a chart is missing from the screenshot"
import sys
from PIL import Image
seen = {}
for c in Image.open(sys.argv[1]).convert("RGB").getdata():
    seen[c] = seen.get(c, 0) + 1
charts = [["1f77b4"], ["ff7f0e"], ["2ca02c", "9467bd", "d62728"], ["17becf"]]
counts = [sum(seen.get(tuple(int(c[i:i + 2], 16) for i in (0, 2, 4)), 0) for c in chart) for chart in charts]
print(counts)
sys.exit(0 if all(n > 300 * len(chart) for n, chart in zip(counts, charts)) else 1)
EOF
