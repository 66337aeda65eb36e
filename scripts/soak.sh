#!/usr/bin/env bash
# Long runs: the detection pipeline (the soak test of video_capture_test)
# and mvtrack over the looping demo clip, each FRAMES frames, with resident
# memory near the start and at the end. Fails when memory grows by more
# than 1 MB or a program fails; in a sanitizer build (-DMORVEX_SANITIZE=ON)
# LeakSanitizer fails either program on a leak at exit (and the growth,
# AddressSanitizer's quarantine filling up, is only reported).
#
#   scripts/soak.sh [BUILD_DIR [FRAMES]]      # defaults: build 100000
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
frames=${2:-100000}
bin=$build/bin
cd "$bin"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}

log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "== pipeline: $frames frames"
if ! MORVEX_SOAK_FRAMES=$frames ./video_capture_test --gtest_filter='Soak.*' >"$log" 2>&1; then
    cat "$log"
    echo "soak: the pipeline soak failed"
    exit 1
fi
grep -E '^soak:' "$log"

echo "== mvtrack: $frames frames"
start_s=$(date +%s)
./mvtrack -file=resources/demo_clip.avi -loop -nopace --frames "$frames" --out /dev/null 2>"$log" &
pid=$!
# VmRSS two seconds in (a few thousand frames), and the last reading before
# the program ends.
rss() { awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true; }
sleep 2
first=$(rss)
last=$first
while kill -0 "$pid" 2>/dev/null; do
    now=$(rss)
    [ -n "$now" ] && last=$now
    sleep 1
done
status=0
wait "$pid" || status=$?
grep -v '^CTYPE' "$log" || true
echo "soak: mvtrack status $status after $(( $(date +%s) - start_s )) s; resident ${first:-?} kB at 2 s, ${last:-?} kB at the end"
[ "$status" -eq 0 ] || exit 1
[ -n "$first" ] && [ -n "$last" ] || { echo "soak: mvtrack ended before its memory could be read"; exit 1; }
# AddressSanitizer's quarantine holds freed memory (256 MB by default):
# there, LeakSanitizer's verdict at exit counts, not the growth.
if grep -q '^MORVEX_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    echo "soak: sanitizer build: growth not checked; no leak reported"
elif [ $(( last - first )) -gt 1024 ]; then
    echo "soak: mvtrack's resident memory grew by $(( last - first )) kB"
    exit 1
fi
echo "soak: passed"
