#!/usr/bin/env bash
# Set up Morvex on Debian 12: install the missing packages, build, then
#   ./setup.sh run    run the viewer on the bundled demo clip
#   ./setup.sh test   run every test through CTest
# Works as root or through sudo. BUILD_DIR overrides the build folder (build);
# MORVEX_CMAKE_ARGS passes more options to CMake.
set -euo pipefail

cd "$(dirname "$0")"
mode=${1:-run}
build=${BUILD_DIR:-build}

# The command word first: a typo must not cost an install and a full build.
usage="usage: $0 [run|test]   (run: the viewer on the demo clip; test: every test through CTest)"
case "$mode" in
  run|test) ;;
  -h|--help) echo "$usage"; exit 0 ;;
  *) echo "setup: unknown command word '$mode'" >&2; echo "$usage" >&2; exit 2 ;;
esac
if [ $# -gt 1 ]; then
  echo "setup: one command word only, not '$*'" >&2; echo "$usage" >&2; exit 2
fi

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libbenchmark-dev libpng-dev libjpeg62-turbo-dev libfreetype-dev fonts-dejavu-core
  libavformat-dev libavdevice-dev libavcodec-dev libswscale-dev libavutil-dev
  libgl-dev libglu1-mesa-dev freeglut3-dev
  libopencv-dev libceres-dev libeigen3-dev
  xvfb xauth xdotool imagemagick
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-matplotlib
  python3-venv python3-pip python3-setuptools python3-wheel
  python3-yaml python3-scipy parallel doxygen
  emscripten nodejs chromium chromium-driver python3-selenium python3-pil
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# npm comes with some builds of nodejs and as its own package with Debian's.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# MORVEX_CMAKE_ARGS adds configuration, e.g. -DMORVEX_SANITIZE=ON.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${MORVEX_CMAKE_ARGS:-}
cmake --build "$build"

if [ "$mode" = run ]; then
  exec scripts/demo.sh "$build"
fi
exec ctest --test-dir "$build" --output-on-failure -j2
