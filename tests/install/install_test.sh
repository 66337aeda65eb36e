#!/bin/sh
# Installs a build into a scratch prefix and checks that the result is usable:
# an outside CMake project and plain cc with pkg-config build and run against
# it, the installed mvtrack finds its bundled resources, and so does the
# installed Python module when one was built.
#
#   install_test.sh BUILD_DIR TEST_SOURCE_DIR CMAKE CC [PYTHON PYTHON_DIR]
set -eu
build=$1 src=$2 cmake=$3 cc=$4 python=${5:-} python_dir=${6:-}

work=$(mktemp -d /tmp/morvex_install_XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix data=$work/prefix/share/morvex
fail() { echo "install test: $*" >&2; exit 1; }
log() { "$@" >>"$work/log" 2>&1 || { cat "$work/log" >&2; fail "$* failed"; }; }

log "$cmake" --install "$build" --prefix "$prefix"
# The library folder (lib or lib/<triplet>) is found from morvex.pc.
pc=$(find "$prefix" -name morvex.pc -path '*/pkgconfig/*' | head -n1)
[ -n "$pc" ] || fail "no morvex.pc installed"
libdir=$(dirname "$(dirname "$pc")")
for f in bin/mvviewer bin/mvcamera bin/mvmarker share/morvex/marker.png; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done

# $1: a built uses_core; $2: a built uses_video; $3: how they were built.
run_both() {
  "$1" "$data/camera_para.dat" "$data/patt.lumo" >"$work/core.out" || fail "uses_core ($3) failed"
  grep -q "camera 640 x 480" "$work/core.out" || fail "uses_core ($3) did not read the installed camera"
  grep -q "pattern slot 0" "$work/core.out" || fail "uses_core ($3) did not load the installed pattern"
  grep -q "tracked 0 markers" "$work/core.out" || fail "uses_core ($3) could not track with the installed tracker"
  "$2" "$data/camera_para.dat" "$data/patt.lumo" "$data/demo_clip.avi" >"$work/video.out" ||
    fail "uses_video ($3) failed"
  grep -q "frame 320 x 240" "$work/video.out" || fail "uses_video ($3) read no frame"
}

# 1. An outside project with find_package(Morvex ... COMPONENTS video display).
mkdir "$work/consumer"
cp "$src/uses_core.c" "$src/uses_video.c" "$work/consumer/"
cp "$src/CMakeLists.txt.consumer" "$work/consumer/CMakeLists.txt"
log "$cmake" -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc"
log "$cmake" --build "$work/consumer/build"
[ "$(cat "$work/consumer/build/data_dir.txt")" -ef "$data" ] || fail "Morvex_DATA_DIR is not $data"
run_both "$work/consumer/build/uses_core" "$work/consumer/build/uses_video" CMake

# 2. Plain cc with pkg-config. Programs built this way carry no path to a
# private prefix: shared libraries are found through LD_LIBRARY_PATH.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
[ "$(pkg-config --variable=datadir morvex)" -ef "$data" ] || fail "morvex.pc datadir is not $data"
# shellcheck disable=SC2046
log "$cc" -o "$work/pc_core" "$src/uses_core.c" $(pkg-config --cflags --libs morvex)
# shellcheck disable=SC2046
log "$cc" -o "$work/pc_video" "$src/uses_video.c" $(pkg-config --cflags --libs morvex-video morvex-display)
run_both "$work/pc_core" "$work/pc_video" pkg-config

# 3. The installed mvtrack finds camera_para.dat and patt.lumo in
# <prefix>/share/morvex, from any working folder.
(cd / && env -u LD_LIBRARY_PATH "$prefix/bin/mvtrack" "-file=$data/demo_clip.avi" -nopace --frames 5) \
  >"$work/track.out" 2>"$work/track.err" || { cat "$work/track.err" >&2; fail "installed mvtrack failed"; }
[ "$(wc -l <"$work/track.out")" -eq 5 ] || fail "installed mvtrack wrote no 5 records"
grep -q '"pattern": "patt.lumo"' "$work/track.out" ||
  fail "installed mvtrack did not recognise the marker with its bundled pattern"
# 4. The Python module imports from <prefix>/PYTHON_DIR and finds the
# installed resources from there.
if [ -n "$python" ]; then
  ls "$prefix/$python_dir"/morvex/_morvex.*.so "$prefix/$python_dir"/morvex/__init__.pyi >/dev/null 2>&1 ||
    fail "no Python package (module and stubs) in $prefix/$python_dir/morvex"
  got=$(cd / && PYTHONPATH="$prefix/$python_dir" "$python" -c "import morvex; print(morvex.data_dir())") ||
    fail "python3 -c 'import morvex' failed with the installed module"
  [ "$got" -ef "$data" ] || fail "the installed module's data_dir() is $got, not $data"
fi
echo "install test: all checks passed (prefix $prefix)"
