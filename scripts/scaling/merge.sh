#!/usr/bin/env bash
# Merges the per-video records of many mvtrack runs (parallel, Slurm or
# Kubernetes) and checks how each run ended.
#
#   merge.sh OUT_DIR
#
# Reads OUT_DIR/records/*.jsonl and OUT_DIR/logs/*.log; writes
# OUT_DIR/merged.jsonl (every record, grouped by video, each tagged with its
# "source") and OUT_DIR/summaries.jsonl (each run's summary line). Prints the
# runs that did not complete and exits 1 when there are any.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUT_DIR" >&2; exit 2; }
out=$1
shopt -s nullglob
records=("$out"/records/*.jsonl)
logs=("$out"/logs/*.log)
[ ${#logs[@]} -gt 0 ] || { echo "merge: no logs in $out/logs" >&2; exit 1; }

# Through temporary files, so that a failed merge leaves the old ones whole.
cat /dev/null "${records[@]}" >"$out/merged.jsonl.tmp"
mv "$out/merged.jsonl.tmp" "$out/merged.jsonl"
bad=0
: >"$out/summaries.jsonl.tmp"
for log in "${logs[@]}"; do
  line=$(sed -n 's/^mvtrack: summary //p' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "merge: $log: no summary (failed: $(tail -n 1 "$log"))" >&2
    bad=$((bad + 1))
    continue
  fi
  echo "$line" >>"$out/summaries.jsonl.tmp"
  case $line in
    *'"status": "complete"'*) ;;
    *) echo "merge: $log: not complete: $line" >&2; bad=$((bad + 1)) ;;
  esac
done
mv "$out/summaries.jsonl.tmp" "$out/summaries.jsonl"
echo "merge: $(wc -l <"$out/merged.jsonl") records from ${#records[@]} videos in $out/merged.jsonl;" \
     "${#logs[@]} runs, $bad not complete"
[ "$bad" -eq 0 ]
