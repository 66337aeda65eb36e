#!/usr/bin/env bash
# Runs tools/scaling/track_parallel.sh on two short clips (rendered image
# sequences of a 45 mm marker coming closer, one in a subfolder) and checks the merged records, the summaries and the exit
# status, then again with a missing video among them; checks the Slurm and
# Kubernetes files' syntax.
#
#   parallel_test.sh MVTRACK MVRENDER SCALING_DIR
set -euo pipefail
mvtrack=$1 mvrender=$2 scaling=$3
work=$(mktemp -d /tmp/morvex_scaling_XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "scaling test: $*" >&2; exit 1; }
py=/usr/bin/python3
[ -x "$py" ] || py=python3

mkdir -p "$work/v/a" "$work/v/sub/b"
for i in 0 1 2 3 4 5 6 7; do
  for clip in a sub/b; do
    [ "$clip" = a ] && [ $i -ge 5 ] && continue
    "$mvrender" --side 45 --distance $((400 - 20 * i)) --tilt $((10 * i)) --background clutter \
      --seed $i --supersample 2 "$work/v/$clip/0$i.png" >/dev/null || fail "mvrender failed"
  done
done
export MVTRACK=$mvtrack JOBS=2

"$scaling/track_parallel.sh" "$work/out" "$work/v/a/%02d.png" "$work/v/sub/b/%02d.png" >"$work/run.txt" 2>&1 ||
  { cat "$work/run.txt"; fail "the recipe failed on two good clips"; }
# Every record tagged, each video's frames 0..n-1 in order, all of them; the
# summaries complete with the same counts; records as mvtrack alone writes.
"$py" - "$work" <<'PY' || fail "merged output wrong"
import json, subprocess, sys, os
work = sys.argv[1]
a, b = f"{work}/v/a/%02d.png", f"{work}/v/sub/b/%02d.png"
records = [json.loads(l) for l in open(f"{work}/out/merged.jsonl")]
frames = {}
for r in records:
    frames.setdefault(r["source"], []).append(r["frame"])
assert frames == {a: list(range(5)), b: list(range(8))}, frames
assert sum(1 for r in records for m in r["markers"] if m["pattern"] == "patt.lumo") == 13
sums = {s["source"]: s for s in map(json.loads, open(f"{work}/out/summaries.jsonl"))}
assert {k: (s["status"], s["exit"], s["frames"]) for k, s in sums.items()} == \
    {a: ("complete", 0, 5), b: ("complete", 0, 8)}, sums
alone = subprocess.run([os.environ["MVTRACK"], f"-file={a}", "-nopace"], capture_output=True, text=True).stdout
tagged = [l for l in open(f"{work}/out/merged.jsonl") if f'"source": "{a}"' in l]
assert [l.replace(f'"source": "{a}", ', "") for l in tagged] == alone.splitlines(keepends=True)
PY
grep -q "merge: 13 records from 2 videos" "$work/run.txt" || fail "no merge line: $(cat "$work/run.txt")"

# A missing video: its job fails naming it, the others' records are merged,
# the recipe's exit status is not 0.
if "$scaling/track_parallel.sh" "$work/out2" "$work/v/a/%02d.png" "$work/v/gone.avi" >"$work/run2.txt" 2>&1; then
  fail "the recipe succeeded with a missing video"
fi
grep -q "gone.avi.log: no summary (failed: mvtrack: cannot read video file \"$work/v/gone.avi\"" "$work/run2.txt" ||
  fail "the missing video is not reported: $(cat "$work/run2.txt")"
[ "$(wc -l <"$work/out2/merged.jsonl")" -eq 5 ] || fail "the good video's records are not merged"

for f in "$scaling"/*.sh "$scaling"/*.sbatch; do bash -n "$f" || fail "$f: syntax"; done
if "$py" -c "import yaml" 2>/dev/null; then
  "$py" - "$scaling/mvtrack-indexed-job.yaml" <<'PY' || fail "the Kubernetes manifest is not the indexed job"
import sys, yaml
job = yaml.safe_load(open(sys.argv[1]))
def find(node, key):
    """The first value of `key` anywhere below `node`."""
    if isinstance(node, dict):
        if key in node:
            return node[key]
        node = list(node.values())
    for child in node if isinstance(node, list) else []:
        found = find(child, key)
        if found is not None:
            return found
    return None
assert job["kind"] == "Job" and find(job, "completionMode") == "Indexed"
script = find(job, "containers")[0]["args"][0]
assert "JOB_COMPLETION_INDEX" in script and "--source-name" in script
PY
else
  echo "scaling test: python3 has no yaml module (python3-yaml): the manifest is not parsed"
fi
echo "scaling test: all checks passed"
