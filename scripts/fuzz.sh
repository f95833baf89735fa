#!/usr/bin/env bash
# Fuzzes the simulated library's system file reader with libFuzzer:
#   scripts/fuzz.sh [SECONDS]   run for SECONDS (default 1800)
#   scripts/fuzz.sh --minimise  fold what the runs found into sim/fuzz/corpus,
#                               keeping only inputs that add coverage
# Runs start from the kept corpus and the example systems (the built-in one
# and the user guide's); what they add collects in build/fuzz/corpus. A crash,
# hang or leak stops the run and leaves its input in build/fuzz/findings/;
# make it a test case.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh fuzz >/dev/null
fuzzer=build/fuzz/sim/sim_system_fuzzer
seeds=build/fuzz/seeds
mkdir -p build/fuzz/corpus build/fuzz/findings "$seeds"
cp sim/default_system.json "$seeds/built_in.json"
sed -n '/^```json$/,/^```$/p' docs/user-guide.md | sed '1d;$d' >"$seeds/user_guide.json"
options=(-dict=build/fuzz/sim/system.dict -max_len=16384 -timeout=10 -rss_limit_mb=2048
  -print_final_stats=1 -artifact_prefix=build/fuzz/findings/)

if [ "${1:-}" = "--minimise" ]; then
  # Keeps the fewest inputs that reach the code edges the seeds do not;
  # the seeds come from their own files at every run.
  merged=$(mktemp -d)
  cp "$seeds"/* "$merged"/
  "$fuzzer" "${options[@]}" -use_counters=0 -merge=1 "$merged" sim/fuzz/corpus build/fuzz/corpus
  for seed in "$seeds"/*; do rm "$merged/$(basename "$seed")"; done
  rm -rf sim/fuzz/corpus
  mv "$merged" sim/fuzz/corpus
  chmod 755 sim/fuzz/corpus
  echo "fuzz: sim/fuzz/corpus holds $(ls sim/fuzz/corpus | wc -l) inputs"
  exit 0
fi
# The progress goes to build/fuzz/last_run.log (tail -f it); the screen gets
# the summary, or the end of the log when the run found something.
log=build/fuzz/last_run.log
if ! "$fuzzer" "${options[@]}" -max_total_time="${1:-1800}" build/fuzz/corpus sim/fuzz/corpus \
  "$seeds" >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "fuzz: a finding is in build/fuzz/findings/ (log: $log)" >&2
  exit 1
fi
grep -E '^(Done|stat::)' "$log"
