#!/usr/bin/env bash
# Tracks every video given with mvtrack, one process per core (GNU parallel),
# then merges the records (scripts/scaling/merge.sh).
#
#   track_parallel.sh OUT_DIR VIDEO...
#
# Per video: OUT_DIR/records/NAME.jsonl (every record tagged "source": VIDEO)
# and OUT_DIR/logs/NAME.log (mvtrack's standard error, ending with its
# summary line); NAME is the path with / as _. OUT_DIR/jobs.tsv is
# parallel's job log: run the same command again and only the videos whose
# job failed (or was interrupted) are tracked again.
# MVTRACK: the mvtrack to run (default: the one on PATH); JOBS: parallel's
# --jobs (default 100%, one per core); MVTRACK_ARGS: more options, e.g.
# "--pattern mine.lumo:80".
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 OUT_DIR VIDEO..." >&2; exit 2; }
out=$1
shift
export MVTRACK=${MVTRACK:-mvtrack} OUT=$out MVTRACK_ARGS=${MVTRACK_ARGS:-}
mkdir -p "$out/records" "$out/logs"

# One video: the command that the Slurm and Kubernetes recipes run too.
track_one() {
  local name=${1//\//_}
  # shellcheck disable=SC2086
  "$MVTRACK" "-file=$1" -nopace $MVTRACK_ARGS --source-name "$1" \
    --out "$OUT/records/$name.jsonl" 2>"$OUT/logs/$name.log"
}
export -f track_one

status=0
parallel --jobs "${JOBS:-100%}" --joblog "$out/jobs.tsv" --resume-failed track_one ::: "$@" || status=$?
"$(dirname "$0")/merge.sh" "$out" || status=$?
exit "$status"
