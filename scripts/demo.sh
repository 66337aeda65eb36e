#!/usr/bin/env bash
# Runs the viewer on the bundled demo clip.
#
#   scripts/demo.sh BUILD_DIR [extra capture words...]
#
# With a reachable display ($DISPLAY) the viewer opens its window there and
# runs until Escape. Without one it runs under a private Xvfb for a few
# seconds (DEMO_SECONDS, default 5), saves a screenshot of its window to
# BUILD_DIR/viewer_screenshot.png, presses Escape and prints what the viewer
# printed (start-up lines, codec, frame rate). Extra words go to the capture,
# e.g. -nopace to run the clip as fast as the viewer can take it.
# Exits with the viewer's status (non-zero when anything failed).
set -euo pipefail

build=${1:?usage: scripts/demo.sh BUILD_DIR [capture words...]}
shift
build=$(cd "$build" && pwd)
viewer=$build/bin/mvviewer
clip=$build/bin/resources/demo_clip.avi
seconds=${DEMO_SECONDS:-5}
shot=$build/viewer_screenshot.png

[ -x "$viewer" ] || { echo "demo: $viewer not built" >&2; exit 1; }
[ -f "$clip" ] || { echo "demo: $clip not generated" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  echo "demo: showing the viewer on $DISPLAY; press Escape in its window to quit"
  exec "$viewer" "-file=$clip" -loop "$@"
fi

work=$(mktemp -d)
xvfb_pid=""
viewer_pid=""
finish() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

# Xvfb picks a free display number and writes it to fd 3 once it is ready;
# -noreset keeps its socket while xdotool comes and goes before the viewer.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "demo: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
echo "demo: no display; running under Xvfb $DISPLAY for $seconds s"

"$viewer" "-file=$clip" -loop "$@" >"$work/viewer.out" 2>&1 &
viewer_pid=$!

# The viewer's window is the root's child of 640 x 480 (its title is empty).
window=""
for _ in $(seq 100); do
  kill -0 "$viewer_pid" 2>/dev/null || break
  for id in $(xdotool search --maxdepth 1 --name '^$' 2>/dev/null); do
    if xdotool getwindowgeometry --shell "$id" | grep -qx 'WIDTH=640' ; then window=$id; fi
  done
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  status=1
  wait "$viewer_pid" || status=$?
  viewer_pid=""
  cat "$work/viewer.out"
  echo "demo: the viewer opened no window (status $status)" >&2
  exit $(( status == 0 ? 1 : status ))
fi

sleep "$seconds"
import -window "$window" "$shot"

# Escape as a key press through the server (XTEST) to the focused window.
xdotool windowfocus --sync "$window"
xdotool key Escape
status=0
for _ in $(seq 100); do kill -0 "$viewer_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$viewer_pid" 2>/dev/null; then
  echo "demo: the viewer did not quit on Escape" >&2
  status=1
else
  wait "$viewer_pid" || status=$?
  viewer_pid=""
fi
cat "$work/viewer.out"
echo "demo: screenshot of the viewer's window: $shot"
[ "$status" -eq 0 ] || echo "demo: the viewer failed (status $status)" >&2
exit "$status"
