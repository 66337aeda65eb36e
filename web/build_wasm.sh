#!/usr/bin/env bash
# Builds the WebAssembly tracker: libmorvex alone with Emscripten (no
# capture, no display; single-threaded, so a plain static server can serve
# it) and the module the JavaScript wrapper loads.
#
#   web/build_wasm.sh OUT_DIR      writes OUT_DIR/morvex_core.mjs and .wasm
#
# Needs Debian's emscripten (emcc, emcmake) and Ninja.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: build_wasm.sh OUT_DIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)

for tool in emcc emcmake ninja; do
  command -v "$tool" >/dev/null || { echo "build_wasm: $tool not found (apt-get install emscripten ninja-build)" >&2; exit 1; }
done
# Debian's emscripten runs its JavaScript optimiser on the machine's node,
# which finds acorn and terser only among Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# The tracker reports allocation failures through std::bad_alloc, so
# exceptions must be caught; WebAssembly's own exceptions cost nothing on
# the paths that do not throw. 128-bit SIMD lets the compiler vectorise the
# per-pixel loops (every browser and Node since 2021 has it).
flags="-fwasm-exceptions -msimd128"
emcmake cmake -S "$root" -B "$out/core" -G Ninja -DMORVEX_CORE_ONLY=ON \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >"$out/configure.log"
cmake --build "$out/core" --target morvex

functions=_malloc,_free,_mvwebLayout,_mvwebLoadCamera,_mvLastErrorText,_mvClearError,\
_mvTrackerSettingsInit,_mvTrackerDefaultCamera,_mvTrackerCreate,_mvTrackerDestroy,\
_mvTrackerSetSettings,_mvTrackerGetSettings,_mvTrackerSetCamera,_mvTrackerGetCamera,\
_mvTrackerReset,_mvPatternLoad,_mvPatternFromValues,_mvPatternName,_mvPatternRelease,\
_mvTrackerAddPattern,_mvTrackerAddPatternFile,_mvTrackerRemovePattern,\
_mvTrackerPatternName,_mvTrackerPatternWidth,_mvTrackerProcess,_mvTrackerLastError,\
_mvTrackerErrorText,_mvTrackerGetStats

# ENVIRONMENT=web: no Node branch, whose ES-module form refers to
# __dirname; the wrapper hands Node the .wasm itself (wasmBinary).
emcc -O3 -Wall -Wextra $flags -I"$root/include" "$root/web/wasm/bridge.c" "$out/core/lib/core/libmorvex.a" \
  -o "$out/morvex_core.mjs" \
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sEXPORT_NAME=createMorvexCore -sENVIRONMENT=web \
  -sALLOW_MEMORY_GROWTH=1 -sFILESYSTEM=1 --no-entry \
  -sEXPORTED_FUNCTIONS="$functions" \
  -sEXPORTED_RUNTIME_METHODS=FS,UTF8ToString,stringToUTF8,lengthBytesUTF8
echo "build_wasm: wrote $out/morvex_core.mjs and $out/morvex_core.wasm"
