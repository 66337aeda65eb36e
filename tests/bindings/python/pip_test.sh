#!/bin/sh
# The Python package as a user installs it: pip into a fresh virtual
# environment that sees the system's packages, offline and without build
# isolation; then it imports, finds its data, tracks the demo clip, carries
# its type stubs, and pip uninstall removes it. And an interpreter without
# numpy is told so at import.
#
#   pip_test.sh SOURCE_DIR BUILD_DIR PYTHON
set -eu
src=$1 build=$2 python=$3
fail() { echo "pip test: $*" >&2; exit 1; }
work=$(mktemp -d /tmp/morvex_pip_XXXXXX)
trap 'rm -rf "$work"' EXIT

# A clean copy of the sources, as a fresh clone has them.
mkdir "$work/src"
if git -C "$src" rev-parse >/dev/null 2>&1; then
  git -C "$src" ls-files -z --cached --others --exclude-standard | (cd "$src" && xargs -0 tar -cf -) | tar -xf - -C "$work/src"
else
  (cd "$src" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$work/src"
fi
"$python" -m venv --system-site-packages "$work/venv" || fail "cannot make a virtual environment (python3-venv)"
(cd "$work" && "$work/venv/bin/pip" install --no-build-isolation --no-index "$work/src" >"$work/pip.log" 2>&1) ||
  { tail -30 "$work/pip.log" >&2; fail "pip install failed"; }

site=$("$work/venv/bin/python" -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')
[ -f "$site/morvex/__init__.pyi" ] && [ -f "$site/morvex/py.typed" ] || fail "no type stubs installed"
(cd /tmp && "$work/venv/bin/python" - "$site/morvex/__init__.pyi") <<'PY' || fail "the installed package does not work"
import ast, os, sys
import morvex
assert morvex.__file__.startswith(os.path.dirname(os.path.dirname(sys.argv[1]))), morvex.__file__
data = morvex.data_dir()
assert data.endswith("morvex/data"), data
tracker = morvex.Tracker(patterns=[data + "/patt.lumo"])
posed = sum(1 for f in morvex.Video(data + "/demo_clip.avi") for m in tracker.track(f) if m.pose is not None)
assert posed == 300, posed
# Every public name has its stub.
stubbed = {n.name for n in ast.parse(open(sys.argv[1]).read()).body if isinstance(n, (ast.ClassDef, ast.FunctionDef))}
missing = set(morvex.__all__) - stubbed
assert not missing, missing
print("installed package tracked", posed, "poses")
PY
"$work/venv/bin/pip" uninstall -y morvex >/dev/null || fail "pip uninstall failed"
[ ! -e "$site/morvex" ] || fail "pip uninstall left $site/morvex"
if (cd /tmp && "$work/venv/bin/python" -c 'import morvex' 2>/dev/null); then fail "morvex still imports after uninstall"; fi

# Without numpy the import says what is wrong.
"$python" -m venv "$work/bare"
said=$(cd /tmp && PYTHONPATH="$build/python" "$work/bare/bin/python" -c 'import morvex' 2>&1) && fail "imported without numpy"
echo "$said" | grep -q "morvex needs numpy" || fail "without numpy: $said"
echo "pip test: passed"
