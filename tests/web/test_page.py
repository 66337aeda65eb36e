"""The web page in real headless Chromium, served by a static server.

With a fake camera fed from the demo clip the page must find the marker in
nearly every frame it tracks and draw the viewer's scene on it; on the
clip's WebM copy, stepped frame by frame, its poses must match mvtrack's on
the clip. A missing tool fails these tests: it is never a reason to skip.
"""
import contextlib
import io
import json
import math
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import pytest

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-quic",
         "--enable-unsafe-swiftshader", "--window-size=1000,800", "--mute-audio"]
MARKER_SIDE = 45.0


def env(name):
    value = os.environ.get(name)
    assert value, f"{name} is not set: run this test through ctest"
    return value


def require_tools():
    missing = [p for p in (CHROMIUM, CHROMEDRIVER) if not os.access(p, os.X_OK)]
    assert not missing, f"{', '.join(missing)} missing: apt-get install chromium chromium-driver"
    try:
        import selenium  # noqa: F401
    except ImportError:
        pytest.fail("python3-selenium missing: apt-get install python3-selenium")
    page = os.path.join(env("MORVEX_WEB_DIR"), "example", "index.html")
    core = os.path.join(env("MORVEX_WEB_DIR"), "morvex_core.wasm")
    assert os.path.exists(page) and os.path.exists(core), (
        f"no web build in {env('MORVEX_WEB_DIR')}: the build needs emscripten and npm")


@pytest.fixture(scope="module")
def clip_forms():
    """The demo clip as Y4M (fake camera) and mvtrack's records on it."""
    require_tools()
    work = tempfile.mkdtemp(prefix="morvex-web-")
    y4m = os.path.join(work, "demo_clip.y4m")
    subprocess.run([env("MAKE_WEB_CLIP"), env("DEMO_CLIP"), "--y4m", y4m], check=True,
                   stdout=subprocess.DEVNULL)
    out = subprocess.run([env("MVTRACK"), "-file=" + env("DEMO_CLIP"), "-nopace"], check=True,
                         capture_output=True, text=True).stdout
    records = [json.loads(line) for line in out.splitlines()]
    assert len(records) == 300
    yield {"y4m": y4m, "records": records}
    shutil.rmtree(work, ignore_errors=True)


@pytest.fixture(scope="module")
def server():
    """A plain static server (no byte ranges) on a free loopback port."""
    require_tools()
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    proc = subprocess.Popen([sys.executable, "-m", "http.server", str(port), "--bind", "127.0.0.1",
                             "-d", env("MORVEX_WEB_DIR")],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 20
    while time.time() < deadline:
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.5):
            break
        time.sleep(0.1)
    yield f"http://127.0.0.1:{port}/example/"
    proc.terminate()
    proc.wait(10)


@contextlib.contextmanager
def browser(*extra):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    profile = tempfile.mkdtemp(prefix="morvex-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in FLAGS + [f"--user-data-dir={profile}", *extra]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    try:
        driver.set_script_timeout(300)
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def wait_for(driver, condition, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        state = driver.execute_script("return window.morvexPage && window.morvexPage.state")
        if state and state.get("error"):
            pytest.fail(f"the page failed: {state['error']}")
        if state and condition(state):
            return state
        time.sleep(0.25)
    pytest.fail(f"the page did not get there in {seconds} s: {state}")


def point_in(quad, s, t):
    """The point at fractions (s, t) of a quadrilateral's sides (bilinear)."""
    (x0, y0), (x1, y1), (x2, y2), (x3, y3) = quad
    x = (1 - t) * ((1 - s) * x0 + s * x1) + t * ((1 - s) * x3 + s * x2)
    y = (1 - t) * ((1 - s) * y0 + s * y1) + t * ((1 - s) * y3 + s * y2)
    return x, y


def pose_gap(a, b):
    """How far apart two marker-to-camera poses put the marker, as a fraction
    of its distance: the translations' gap, and the largest gap between
    where they put the marker's corners."""
    distance = math.sqrt(sum(a[i][3] ** 2 for i in range(3)))
    translation = math.sqrt(sum((a[i][3] - b[i][3]) ** 2 for i in range(3)))
    h = MARKER_SIDE / 2
    corners = 0.0
    for x, y in ((-h, -h), (h, -h), (h, h), (-h, h)):
        d = [sum((a[i][j] - b[i][j]) * v for j, v in enumerate((x, y, 0.0, 1.0))) for i in range(3)]
        corners = max(corners, math.sqrt(sum(v * v for v in d)))
    return translation / distance, corners / distance


def test_fake_camera_finds_the_marker_and_draws_the_scene(server, clip_forms):
    from PIL import Image
    fake = ["--use-fake-device-for-media-stream", "--use-fake-ui-for-media-stream",
            f"--use-file-for-fake-video-capture={clip_forms['y4m']}"]
    with browser(*fake) as driver:
        driver.get(server + "?source=camera")
        # The clip is 10 s at 30 fps: 240 frames is most of it.
        wait_for(driver, lambda s: s["framesProcessed"] >= 240, 90)
        state = driver.execute_script("window.morvexPage.pause(); return window.morvexPage.state")
        shot = Image.open(io.BytesIO(driver.find_element("id", "view").screenshot_as_png)).convert("RGB")

    assert state["source"] == "camera", "the page fell back to the clip: the fake camera was not used"
    assert state["frameSize"] == [320, 240]
    processed, found = state["framesProcessed"], state["framesWithMarker"]
    print(f"fake camera: marker in {found} of {processed} frames ({100.0 * found / processed:.1f}%), "
          f"{state['fps']:.1f} fps, tracker {state['trackMs']:.2f} ms/frame")
    assert found >= 0.95 * processed

    # The last frame drawn: the white square covers the marker, whose black
    # border (the outer quarter of its side) is dark in the frame itself.
    # The page shows the frame undistorted: the marker is at its ideal corners.
    ours = [m for m in state["lastMarkers"] if m["id"] == 0 and m["pose"]]
    assert ours, "no marker in the frame left on screen"
    scale = shot.width / state["frameSize"][0]
    quad = [(x * scale, y * scale) for x, y in ours[0]["corners_ideal"]]
    fractions = [0.06, 0.1, 0.14, 0.18, 0.82, 0.86, 0.9, 0.94]
    ring = [(s, t) for s in fractions for t in fractions] + \
           [(s, t) for s in fractions for t in (0.3, 0.4, 0.5, 0.6, 0.7)] + \
           [(s, t) for t in fractions for s in (0.3, 0.4, 0.5, 0.6, 0.7)]
    pixels = [shot.getpixel(tuple(round(v) for v in point_in(quad, s, t))) for s, t in ring]
    # The white square, or the fountain's red to yellow particles over it
    # (blended with the white where the canvas is scaled): full red, where
    # the frame itself has the border's black.
    white = sum(1 for p in pixels if min(p) >= 230)
    scene = sum(1 for p in pixels if p[0] >= 200)
    print(f"scene: {scene} of {len(pixels)} points on the marker's border show the scene, {white} white")
    assert scene >= 0.9 * len(pixels)
    assert white >= 0.3 * len(pixels)
    # Elsewhere the frame shows through.
    everywhere = [shot.getpixel((x, y)) for x in range(0, shot.width, 7) for y in range(0, shot.height, 7)]
    assert sum(1 for p in everywhere if min(p) >= 230) < 0.3 * len(everywhere)

def test_clip_stepped_frame_by_frame_matches_mvtrack(server, clip_forms):
    with browser() as driver:
        driver.get(server + "?source=clip&step=1")
        wait_for(driver, lambda s: s["ready"], 60)
        page = driver.execute_async_script(
            "const done = arguments[0];"
            "window.morvexPage.trackClip(300).then(done, (e) => done(String(e)));")
    assert isinstance(page, list), page
    assert len(page) == 300
    gaps = []
    for rec, ref in zip(page, clip_forms["records"]):
        assert abs(rec["time"] - rec["frame"] / 30.0) < 0.01, f"frame {rec['frame']} shown at {rec['time']} s"
        want = [m for m in ref["markers"] if m["id"] == 0 and m["transform"]]
        got = [m for m in rec["markers"] if m["id"] == 0 and m["pose"]]
        if not want:
            continue
        assert got, f"frame {rec['frame']}: mvtrack found the marker, the page did not"
        gaps.append((*pose_gap(want[0]["transform"], got[0]["pose"]), rec["frame"]))
    assert len(gaps) >= 290
    translation = sorted(g[0] for g in gaps)
    corners = sorted(g[1] for g in gaps)
    print(f"page vs mvtrack over {len(gaps)} frames, % of distance: translation median "
          f"{100 * translation[len(gaps) // 2]:.3f} max {100 * translation[-1]:.3f}; corners median "
          f"{100 * corners[len(gaps) // 2]:.3f} max {100 * corners[-1]:.3f}")
    worst = max(gaps, key=lambda g: max(g[0], g[1]))
    assert max(worst[0], worst[1]) <= 0.005, f"frame {worst[2]}: {100 * max(worst[0], worst[1]):.3f}% apart"


def test_camera_and_marker_choices_and_the_printable_marker(server, clip_forms):
    work = tempfile.mkdtemp(prefix="morvex-web-files-")
    try:
        bad = os.path.join(work, "broken.lumo")
        with open(bad, "w") as f:
            f.write("1 2 3\n")
        mine = os.path.join(work, "mine.lumo")
        shutil.copy(os.path.join(env("MORVEX_RESOURCES"), "patt.lumo"), mine)
        with browser() as driver:
            driver.get(server + "?source=clip")
            wait_for(driver, lambda s: s["ready"] and s["framesWithMarker"] >= 10, 60)
            state = driver.execute_script("return window.morvexPage.state")
            bundled = state["camera"]
            assert bundled["distortion"][2] > 0, "the clip's camera is the bundled one, with its lens"

            # A webcam of unknown calibration: the default camera of the frame's size.
            driver.execute_script("const s = document.getElementById('camera');"
                                  "s.value = 'default'; s.dispatchEvent(new Event('change'));")
            state = wait_for(driver, lambda s: s["camera"] and s["camera"]["distortion"][2] == 0, 30)
            assert state["camera"]["projection"][0][0] == 1.09375 * 320
            seen = state["framesWithMarker"]
            wait_for(driver, lambda s: s["framesWithMarker"] >= seen + 10, 30)

            # A pattern file of the user's: a broken one is refused with the
            # library's words, a good one tracked at the side given.
            driver.execute_script("document.getElementById('marker').value = 'file';"
                                  "document.getElementById('marker-width').value = '80';"
                                  "document.getElementById('marker-file').hidden = false;")
            driver.find_element("id", "marker-file").send_keys(bad)
            deadline = time.time() + 30
            while "broken.lumo" not in (driver.execute_script("return window.morvexPage.state.error") or ""):
                assert time.time() < deadline, "no message for the broken pattern file"
                time.sleep(0.2)
            message = driver.execute_script("return window.morvexPage.state.error")
            assert "3072" in message, message
            driver.find_element("id", "marker-file").send_keys(mine)
            deadline = time.time() + 30
            while "mine.lumo (80 mm)" not in driver.find_element("id", "status").text:
                assert time.time() < deadline, driver.find_element("id", "status").text
                time.sleep(0.2)
            seen = driver.execute_script("return window.morvexPage.state.framesWithMarker")
            state = wait_for(driver, lambda s: s["framesWithMarker"] >= seen + 10 and s["lastPose"], 30)
            assert state["error"] is None
            # The same marker said to be 80 mm wide is 80 / 45 times as far.
            assert state["lastPose"][2][3] > 1.5 * 155

            link = driver.find_element("link text", "Printable marker")
            head = driver.execute_async_script(
                "const done = arguments[arguments.length - 1];"
                "fetch(arguments[0]).then((r) => r.arrayBuffer().then("
                "  (b) => done([r.status, Array.from(new Uint8Array(b).slice(0, 8))])), (e) => done(String(e)));",
                link.get_attribute("href"))
        assert head == [200, [137, 80, 78, 71, 13, 10, 26, 10]]
    finally:
        shutil.rmtree(work, ignore_errors=True)
