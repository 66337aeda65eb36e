#!/bin/sh
# The API reference as a user builds it: the docs target writes the C
# headers' comments as HTML and, when the Python module is built, its
# docstrings; the pages name the key functions with their descriptions.
#
#   docs_test.sh BUILD_DIR CMAKE [PYTHON]
set -eu
build=$1 cmake=$2 python=${3:-}
fail() { echo "docs test: $*" >&2; exit 1; }
html=$build/docs/api/html py=$build/docs/python
log=$(mktemp /tmp/morvex_docs_XXXXXX)
trap 'rm -f "$log"' EXIT

# Nothing left from an earlier build may pass for this one's.
rm -rf "$build/docs/api" "$py"
"$cmake" --build "$build" --target docs >"$log" 2>&1 || { cat "$log" >&2; fail "the docs target failed"; }
[ -f "$html/index.html" ] || fail "no $html/index.html"

# Every key function is listed, and its page carries the header's comment
# (the comments reach Doxygen only through the filter).
for f in mvParamLoad mvParamChangeSize mvInitCparam mvLoadPatt mvDetectMarker mvGetTransMat \
         mvRefineMarker mvLastError mvVideoOpen mvgInit; do
  grep -q "<li>$f()" "$html/globals_func.html" || fail "$f is not in the function index"
done
grep -q "Thresholds the frame" "$html/detect_8h.html" || fail "mvLabeling's comment is missing"
grep -q "pattern slot, or -1" "$html/structMvMarkerInfo.html" || fail "MvMarkerInfo's member comments are missing"
grep -q "The pose of a detected marker" "$html/pose_8h.html" || fail "mvGetTransMat's comment is missing"
echo "docs: $(ls "$html" | wc -l) files in $html"

[ -n "$python" ] || exit 0
[ -f "$py/morvex.html" ] || fail "no $py/morvex.html"
# Whatever the module holds: each public name and the module's first
# docstring line are on its page.
names=$(PYTHONPATH=$build/python "$python" -c \
  'import morvex; print(" ".join(n for n in dir(morvex) if not n.startswith("_")))')
[ -n "$names" ] || fail "the module has no public names"
for n in $names; do
  grep -q "$n" "$py/morvex.html" || fail "$n is not on the Python page"
done
first=$(PYTHONPATH=$build/python "$python" -c \
  'import morvex; print((morvex.__doc__ or "").strip().splitlines()[0].split()[0])')
[ -n "$first" ] && grep -q "$first" "$py/morvex.html" || fail "the module's docstring is missing"
echo "docs: $(echo "$names" | wc -w) Python names in $py/morvex.html"
