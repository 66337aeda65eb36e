#!/bin/sh
# Installs a build into a scratch prefix and checks that the result is usable:
# files in place, an outside CMake project and plain cc with pkg-config build
# and run against it, and the installed mvtrack finds its bundled resources.
#
#   install_test.sh BUILD_DIR TEST_SOURCE_DIR CMAKE CC
set -eu
build=$1 src=$2 cmake=$3 cc=$4

work=$(mktemp -d /tmp/morvex_install_XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }

# What must be there. The library folder depends on the platform (lib or
# lib/<triplet>): found from the pkg-config files.
pc=$(find "$prefix" -name morvex.pc -path '*/pkgconfig/*' | head -n1)
[ -n "$pc" ] || fail "no morvex.pc installed"
libdir=$(dirname "$(dirname "$pc")")
for f in bin/mvtrack bin/mvviewer bin/mvcamera bin/mvmarker \
         include/morvex.h include/morvex/camera.h include/morvex/numerics.h \
         include/morvex/detect.h include/morvex/pattern.h include/morvex/pose.h \
         include/morvex/video.h include/morvex/display.h \
         share/morvex/camera_para.dat share/morvex/patt.lumo share/morvex/marker.png \
         share/morvex/demo_clip.avi share/morvex/demo_clip_truth.txt; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
for f in pkgconfig/morvex-video.pc pkgconfig/morvex-display.pc \
         cmake/Morvex/MorvexConfig.cmake cmake/Morvex/MorvexConfigVersion.cmake; do
  [ -e "$libdir/$f" ] || fail "$libdir/$f not installed"
done
ls "$libdir"/libmorvex.* "$libdir"/libmorvex_video.* "$libdir"/libmorvex_display.* >/dev/null ||
  fail "libraries not installed in $libdir"

data=$prefix/share/morvex
check_core_output() {  # $1: the program's output file
  grep -q "camera 640 x 480" "$1" || fail "$2 did not print the installed camera"
  grep -q "pattern slot 0" "$1" || fail "$2 did not load the installed pattern"
}

# 1. An outside project with find_package(Morvex ... COMPONENTS video display).
mkdir "$work/consumer"
cp "$src/uses_core.c" "$src/uses_video.c" "$src/uses_display.c" "$work/consumer/"
cp "$src/CMakeLists.txt.consumer" "$work/consumer/CMakeLists.txt"
"$cmake" -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" >"$work/consumer.log" 2>&1 &&
"$cmake" --build "$work/consumer/build" >>"$work/consumer.log" 2>&1 ||
  { cat "$work/consumer.log" >&2; fail "the find_package(Morvex) project did not build"; }
[ "$(cat "$work/consumer/build/data_dir.txt")" -ef "$data" ] || fail "Morvex_DATA_DIR is not $data"
"$work/consumer/build/uses_core" "$data/camera_para.dat" "$data/patt.lumo" >"$work/core.out" ||
  fail "uses_core (CMake) failed"
check_core_output "$work/core.out" "uses_core (CMake)"
"$work/consumer/build/uses_video" "$data/camera_para.dat" "$data/patt.lumo" "$data/demo_clip.avi" \
  >"$work/video.out" || fail "uses_video (CMake) failed"
grep -q "frame 320 x 240" "$work/video.out" || fail "uses_video (CMake) read no frame"
"$work/consumer/build/uses_display" >/dev/null || fail "uses_display (CMake) failed"

# 2. Plain cc with pkg-config. Programs built this way carry no path to a
# private prefix: shared libraries are found through LD_LIBRARY_PATH.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
export LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
[ "$(pkg-config --variable=datadir morvex)" -ef "$data" ] || fail "morvex.pc datadir is not $data"
# shellcheck disable=SC2046
"$cc" -o "$work/pc_core" "$src/uses_core.c" $(pkg-config --cflags --libs morvex) ||
  fail "cc with pkg-config morvex failed"
"$work/pc_core" "$data/camera_para.dat" "$data/patt.lumo" >"$work/pc_core.out" ||
  fail "uses_core (pkg-config) failed"
check_core_output "$work/pc_core.out" "uses_core (pkg-config)"
# shellcheck disable=SC2046
"$cc" -o "$work/pc_video" "$src/uses_video.c" $(pkg-config --cflags --libs morvex-video) ||
  fail "cc with pkg-config morvex-video failed"
"$work/pc_video" "$data/camera_para.dat" "$data/patt.lumo" "$data/demo_clip.avi" >/dev/null ||
  fail "uses_video (pkg-config) failed"
# shellcheck disable=SC2046
"$cc" -o "$work/pc_display" "$src/uses_display.c" $(pkg-config --cflags --libs morvex-display) ||
  fail "cc with pkg-config morvex-display failed"

# 3. The installed mvtrack finds camera_para.dat and patt.lumo in
# <prefix>/share/morvex, from any working folder.
(cd / && env -u LD_LIBRARY_PATH "$prefix/bin/mvtrack" "-file=$data/demo_clip.avi" -nopace --frames 5) \
  >"$work/track.out" 2>"$work/track.err" || { cat "$work/track.err" >&2; fail "installed mvtrack failed"; }
[ "$(wc -l <"$work/track.out")" -eq 5 ] || fail "installed mvtrack wrote no 5 records"
grep -q '"pattern": "patt.lumo"' "$work/track.out" ||
  fail "installed mvtrack did not recognise the marker with its bundled pattern"
echo "install test: all checks passed (prefix $prefix)"
