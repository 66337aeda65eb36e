#!/usr/bin/env bash
# mvtrack's throughput with one worker thread and with two, on the same two
# inputs in the same run: rendered 1280 x 720 sequences over clutter, 120
# frames each. Prints frames per second for each and their ratio.
#   bench/mvtrack/jobs_bench.sh [BUILD_DIR]        (default build)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
bin=$build/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for k in 0 1; do
  mkdir -p "$work/seq$k"
  for n in $(seq 0 119); do
    "$bin/mvrender" --size 1280x720 --background clutter --supersample 1 --seed $((k * 1000 + n)) \
      --distance $((400 + 3 * n)) --tilt $(((n % 40) - 20)) --roll $((n * 3 + k * 90)) \
      --side 45 "$work/seq$k/$(printf %04d "$n").png" >/dev/null
  done
done
inputs=("$work/seq0/%04d.png" "$work/seq1/%04d.png")
best() {  # the fastest of three runs, seconds
  local fastest=""
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s.%N)
    "$bin/mvtrack" --jobs "$1" "${inputs[@]}" >/dev/null 2>&1
    t1=$(date +%s.%N)
    fastest=$(echo "$t0 $t1 $fastest" | awk '{d = $2 - $1; if ($3 == "" || d < $3) print d; else print $3}')
  done
  echo "$fastest"
}
one=$(best 1)
two=$(best 2)
awk -v a="$one" -v b="$two" 'BEGIN {
  printf "mvtrack, 2 inputs x 120 frames at 1280 x 720 (fastest of 3 runs):\n"
  printf "  --jobs 1: %.2f s  (%.0f frames/s)\n", a, 240 / a
  printf "  --jobs 2: %.2f s  (%.0f frames/s)\n", b, 240 / b
  printf "  throughput ratio: %.2f\n", a / b
}'
