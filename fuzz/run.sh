#!/usr/bin/env bash
# Runs a fuzz target for a given time, one process at low priority:
#   fuzz/run.sh TARGET SECONDS     TARGET: patt param config capture detect codes
#   fuzz/run.sh all SECONDS        each target in turn, SECONDS each
# Builds the fuzz folder first when needed (BUILD_DIR, default build-fuzz;
# clang with MORVEX_FUZZ=ON). Seeds come from make_seeds; the corpus grows in
# BUILD_DIR/fuzz-corpus/TARGET and findings land in
# BUILD_DIR/fuzz-findings/TARGET/. Prints executions, rate and findings per
# target; exits 1 when anything was found.
set -euo pipefail

cd "$(dirname "$0")/.."
src=$PWD
build=${BUILD_DIR:-build-fuzz}
targets=(patt param config capture detect codes)

usage() { echo "usage: $0 {${targets[*]}|all} SECONDS" >&2; exit 2; }
[ $# -eq 2 ] || usage
[[ $2 =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ] || { echo "run.sh: \"$2\" is not a number of seconds" >&2; exit 2; }
seconds=$2
if [ "$1" = all ]; then
  chosen=("${targets[@]}")
else
  [[ " ${targets[*]} " == *" $1 "* ]] || { echo "run.sh: no fuzz target \"$1\"" >&2; usage; }
  chosen=("$1")
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVEX_FUZZ=ON -DMORVEX_BUILD_TESTS=OFF -DMORVEX_BUILD_BENCH=OFF -DMORVEX_WITH_DISPLAY=OFF
fi
nice cmake --build "$build" --target morvex_fuzz
seeds=$build/fuzz-seeds
rm -rf "$seeds"
"$build/bin/make_seeds" "$seeds"

# Longest input per target: a pattern file, a calibration record, a line
# of words, a short clip, four 128 x 128 frames of 4-byte pixels, a 36 x 36
# grid of raw float samples.
declare -A max_len=([patt]=20000 [param]=400 [config]=1024 [capture]=16384 [detect]=65540 [codes]=5188)
declare -A extra=([config]="-dict=$src/fuzz/config.dict" [capture]="-rss_limit_mb=2048")

found=0
for t in "${chosen[@]}"; do
  corpus=$build/fuzz-corpus/$t findings=$build/fuzz-findings/$t
  mkdir -p "$corpus" "$findings"
  log=$build/fuzz-$t.log
  echo "== fuzz_$t for ${seconds}s (log $log)"
  set +e
  # stdout is closed (-close_fd_mask=1): the capture prints a line per source.
  nice -n 10 "$build/bin/fuzz_$t" -max_total_time="$seconds" -max_len="${max_len[$t]}" \
    -timeout=10 -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$findings/" \
    ${extra[$t]:-} "$corpus" "$seeds/$t" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "fuzz_$t: ${runs:-?} executions, ${rate:-?}/s, exit $rc"
  if [ $rc -ne 0 ]; then
    found=1
    grep -E "^(==[0-9]+==ERROR|SUMMARY|.*runtime error)|artifact_prefix|Test unit written" "$log" | head -8
  fi
done
exit $found
