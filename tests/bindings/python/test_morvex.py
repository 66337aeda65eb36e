"""The morvex Python module end to end: the same markers and poses as mvtrack on a
rendered frame and on the demo clip, frame by frame capture, the
exceptions for bad input and for a second thread, and the example script.

Runs from the build's bin folder (CTest) with PYTHONPATH at build/python and
MVTRACK, MVRENDER and MORVEX_SOURCE_DIR set. The library's state is
process-wide, so everything that tracks runs in a forked child of its own:
each starts with no detection history, like a fresh mvtrack.
"""
import json
import multiprocessing
import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import morvex

CLIP = "resources/demo_clip.avi"


def in_child(fn, *args):
    with multiprocessing.get_context("fork").Pool(1) as pool:
        return pool.apply(fn, args)


@pytest.fixture(scope="module")
def rendered(tmp_path_factory):
    """A 640 x 480 frame of a 45 mm marker 400 mm away, tilted, on clutter."""
    path = str(tmp_path_factory.mktemp("render") / "frame.png")
    subprocess.run([os.environ["MVRENDER"], "--side", "45", "--size", "640x480", "--distance", "400",
                    "--tilt", "35", "--roll", "20", "--background", "clutter", "--blur", "0.7",
                    "--noise", "2", path], check=True, capture_output=True)
    return path


def mvtrack(words, options):
    run = subprocess.run([os.environ["MVTRACK"], *words.split(), *options],
                         check=True, capture_output=True, text=True)
    return [json.loads(line) for line in run.stdout.splitlines()]


def track(words, frames, form, kwargs):
    """Python's records in mvtrack's JSON form, every number as computed."""
    video = morvex.Video(words)
    morvex.set_camera(morvex.data_dir() + "/camera_para.dat", size=video.size)
    morvex.load_pattern(morvex.data_dir() + "/patt.lumo", 45)
    records = []
    for n, frame in zip(range(frames), video):
        if form == "bgr":
            frame, kwargs = np.ascontiguousarray(frame[:, :, ::-1]), dict(kwargs, bgr=True)
        elif form == "rgba strided":
            wide = np.full((frame.shape[0], frame.shape[1] * 2, 4), 255, np.uint8)
            wide[:, ::2, :3] = frame
            frame = wide[:, ::2]
        markers = []
        for m in morvex.detect(frame, **kwargs):
            pose = m.pose
            markers.append({
                "id": m.id, "pattern": "patt.lumo" if m.pattern else None,
                "confidence": m.confidence, "direction": m.direction, "area": m.area,
                "center": m.center.tolist(), "vertices": m.corners.tolist(),
                "transform": None if pose is None else pose[:3].tolist(), "error": m.error})
        records.append({"frame": n, "markers": markers})
    return records


@pytest.mark.parametrize("source,frames,form,kwargs,options", [
    ("rendered", 1, "rgb", {}, []),
    ("rendered", 1, "bgr", {"refine": False, "thresh": np.uint8(100)}, ["--no-refine", "--thresh", "100"]),
    ("rendered", 1, "rgba strided", {"history": False, "grey": True}, ["--lite", "--grey"]),
    ("clip", 60, "rgb", {}, []),
    ("clip", 60, "bgr", {"refine": False, "thresh": 90, "half": True}, ["--no-refine", "--thresh", "90", "--half"]),
])
def test_markers_and_poses_are_mvtracks_exactly(rendered, source, frames, form, kwargs, options):
    words = f"-file={rendered if source == 'rendered' else CLIP} -nopace"
    expected = mvtrack(words, ["--frames", str(frames), *options])
    got = in_child(track, words, frames, form, kwargs)
    assert len(got) == frames == len(expected)
    assert got == expected
    posed = [m for r in got for m in r["markers"] if m["transform"]]
    assert len(posed) >= frames
    if source == "rendered":
        assert abs(posed[0]["transform"][2][3] - 400) < 8


def capture(words, bgr):
    frames, shapes = [], set()
    with morvex.Video(words, bgr=bgr) as video:
        for frame in video:
            shapes.add(frame.shape)
            if len(frames) < 3:
                frames.append(frame)
        after = video.read()
        return video.frame_count, video.frames_read, shapes, frames, after


def test_video_iterates_frame_by_frame_at_the_sources_size():
    count, read, shapes, rgb, after = in_child(capture, f"-file={CLIP} -nopace", False)
    assert (count, read, shapes, after) == (300, 300, {(240, 320, 3)}, None)
    assert len({f.tobytes() for f in rgb}) == 3
    _, read, shapes, bgr, _ = in_child(capture, [f"-file={CLIP}", "-nopace", "-width=160"], True)
    assert (read, shapes) == (300, {(120, 160, 3)})
    _, _, _, full, _ = in_child(capture, f"-file={CLIP} -nopace", True)
    assert np.array_equal(full[0], rgb[0][:, :, ::-1])


def misuse(tmp):
    short = os.path.join(tmp, "short.dat")
    with open(short, "wb") as f:
        f.write(b"\0" * 100)
    frame = np.zeros((240, 320, 3), np.uint8)
    cases = [
        (lambda: morvex.detect(frame), None),   # no active camera yet
        (lambda: morvex.load_camera(os.path.join(tmp, "none.dat")), None),
        (lambda: morvex.load_camera(short), None),
        (lambda: morvex.load_pattern(os.path.join(tmp, "none.lumo")), None),
        (lambda: morvex.load_pattern(short), None),
        (lambda: morvex.load_pattern(morvex.data_dir() + "/patt.lumo", width=0), None),
        (lambda: morvex.Video(f"-file={CLIP} -fast"), None),
        (lambda: morvex.Video("-file=" + os.path.join(tmp, "none.avi")), None),
        (lambda: morvex.detect(frame.astype(np.float32)), "camera"),
        (lambda: morvex.detect(frame[:, :, 0]), "camera"),
        (lambda: morvex.detect(np.zeros((480, 640, 3), np.uint8)), "camera"),
        (lambda: morvex.detect(frame, thresh=300), "camera"),
        (lambda: morvex.detect(frame, thresh="high"), "camera"),
        (lambda: morvex.detect(frame.tolist()), "camera"),
    ]
    out = []
    for call, needs in cases:
        if needs == "camera" and morvex.camera() is None:
            morvex.set_camera(morvex.data_dir() + "/camera_para.dat", size=(320, 240))
        try:
            call()
            out.append(None)
        except Exception as e:
            out.append((type(e).__name__, str(e), getattr(e, "code", None)))
    # Another thread: refused, and the owner still works.
    def other():
        try:
            morvex.detect(frame)
        except Exception as e:
            out.append((type(e).__name__, str(e), getattr(e, "code", None)))
    worker = threading.Thread(target=other)
    worker.start()
    worker.join()
    out.append(len(morvex.detect(frame)))
    return out


def test_bad_input_raises_with_the_fault_named(tmp_path):
    t = str(tmp_path)
    expected = [
        ("Error", "no active camera", "argument"),
        ("Error", f"{t}/none.dat", "not_found"),
        ("Error", f"{t}/short.dat", "format"),
        ("Error", f"{t}/none.lumo", "not_found"),
        ("Error", "Pattern Data read error", "format"),
        ("ValueError", "marker width 0", None),
        ("Error", '"-fast"', "argument"),
        ("Error", f"{t}/none.avi", "device"),
        ("TypeError", "dtype uint8, not float32", None),
        ("ValueError", "not (240, 320)", None),
        ("ValueError", "frame is 640 x 480 pixels, the active camera 320 x 240", None),
        ("ValueError", "thresh 300 is outside 0..255", None),
        ("TypeError", "'high'", None),
        ("TypeError", "not list", None),
        ("ThreadError", "second thread", "none"),
        0,
    ]
    got = in_child(misuse, t)
    assert len(got) == len(expected)
    for g, e in zip(got, expected):
        if isinstance(e, int):
            assert g == e
            continue
        assert g is not None and (g[0], g[2]) == (e[0], e[2]) and e[1] in g[1], (g, e)


def test_example_tracks_the_clip_and_writes_its_plot(tmp_path):
    png = tmp_path / "distance.png"
    script = os.path.join(os.environ["MORVEX_SOURCE_DIR"], "examples", "track_video.py")
    run = subprocess.run([sys.executable, script, CLIP, "--out", str(png)],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert "300 frames, marker found in 300" in run.stdout
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and png.stat().st_size > 10000
