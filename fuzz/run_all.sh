#!/bin/bash
# Runs every fuzz target of a fuzz build for SECONDS each, JOBS targets at a
# time, each on its own seed folder from make_seeds.py (grown in place), and
# prints one line per target: runs, coverage, new inputs, findings.
#
#   fuzz/run_all.sh BUILD SEEDS [SECONDS] [JOBS] [TARGET...]
#
# Findings are written to SEEDS/findings/<target>/; the logs to SEEDS/logs/.
set -eu
build=$1
seeds=$2
seconds=${3:-1800}
jobs=${4:-2}
shift 2
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift
if [ $# -eq 0 ]; then
  set -- $(cd "$build/bin" && ls *_fuzz)
fi
mkdir -p "$seeds/logs"

run_one() {
  target=$1
  mkdir -p "$seeds/$target" "$seeds/findings/$target"
  start=$(date +%s)
  # -rss_limit_mb: the readers' own budgets plus ASan's shadow.
  "$build/bin/$target" "$seeds/$target" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=4096 -max_len=1048576 -print_final_stats=1 \
    -artifact_prefix="$seeds/findings/$target/" >"$seeds/logs/$target.log" 2>&1 || true
  end=$(date +%s)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$seeds/logs/$target.log")
  cov=$(grep -o 'cov: [0-9]*' "$seeds/logs/$target.log" | tail -1)
  found=$(ls "$seeds/findings/$target" | wc -l)
  echo "$target: ${runs:-?} runs in $((end - start)) s, $cov, findings $found"
}

running=0
for target in "$@"; do
  run_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n 2>/dev/null || wait
    running=$((running - 1))
  fi
done
wait
