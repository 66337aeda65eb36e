"""The morvex Python module end to end: the same markers and poses as mvtrack on a
rendered frame and on the demo clip, trackers in threads giving the records of
sequential runs, frame by frame capture, the exceptions for bad input, and the
example script.

Runs from the build's bin folder (CTest) with PYTHONPATH at build/python and
MVTRACK, MVRENDER and MORVEX_SOURCE_DIR set.
"""
import json
import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import morvex

CLIP = "resources/demo_clip.avi"
CAMERA = os.path.join(morvex.data_dir(), "camera_para.dat")
PATTERN = os.path.join(morvex.data_dir(), "patt.lumo")


def render(path, *options):
    subprocess.run([os.environ["MVRENDER"], *options, path], check=True, capture_output=True)
    return path


@pytest.fixture(scope="module")
def rendered(tmp_path_factory):
    """A 640 x 480 frame of a 45 mm marker 400 mm away, tilted, on clutter."""
    return render(str(tmp_path_factory.mktemp("render") / "frame.png"), "--side", "45", "--size", "640x480",
                  "--distance", "400", "--tilt", "35", "--roll", "20", "--background", "clutter",
                  "--blur", "0.7", "--noise", "2")


@pytest.fixture(scope="module")
def sequences(tmp_path_factory):
    """Three short rendered sequences of a moving marker, one per background."""
    out = []
    for k, background in enumerate(["plain", "gradient", "clutter"]):
        folder = tmp_path_factory.mktemp(f"seq{k}")
        for n in range(12):
            render(str(folder / f"{n:03d}.png"), "--side", "45", "--size", "480x360", "--background", background,
                   "--distance", str(300 + 20 * n), "--tilt", str(5 * n - 20), "--roll", str(11 * n + 40 * k),
                   "--seed", str(n), "--noise", "2")
        out.append(str(folder / "%03d.png"))
    return out


def mvtrack(source, options):
    run = subprocess.run([os.environ["MVTRACK"], source, *options], check=True, capture_output=True, text=True)
    return [json.loads(line) for line in run.stdout.splitlines()]


def record(n, markers):
    """A frame's markers in mvtrack's JSON form, every number as computed."""
    return {"frame": n, "markers": [{
        "id": m.id, "pattern": "patt.lumo" if m.pattern else None, "family": m.family, "confidence": m.confidence,
        "direction": m.direction, "area": m.area, "center": m.center.tolist(),
        "vertices": m.corners_ideal.tolist(),
        "transform": None if m.pose is None else m.pose[:3].tolist(), "error": m.error} for m in markers]}


def strip_corners(records):
    for r in records:
        for m in r["markers"]:
            m.pop("corners", None)
            m.pop("corners_ideal", None)
    return records


@pytest.mark.parametrize("source,frames,form,kwargs,options", [
    ("rendered", 1, "rgb", {}, []),
    ("rendered", 1, "bgr", {"refine": False, "thresh": np.uint8(100)}, ["--no-refine", "--thresh", "100"]),
    ("rendered", 1, "rgba strided", {"history": False, "grey": True}, ["--lite", "--grey"]),
    ("rendered", 1, "grey", {}, []),
    ("clip", 60, "rgb", {}, []),
    ("clip", 60, "bgr", {"refine": False, "thresh": 90, "half": True}, ["--no-refine", "--thresh", "90", "--half"]),
])
def test_markers_and_poses_are_mvtracks_exactly(rendered, source, frames, form, kwargs, options):
    path = rendered if source == "rendered" else CLIP
    video = morvex.Video(path)
    if form == "grey":
        # mvtrack reads the grey picture from a grey PNG of it.
        grey = next(iter(video)).mean(axis=2).round().astype(np.uint8)
        path = os.path.join(os.path.dirname(rendered), "grey.png")
        import matplotlib.image
        matplotlib.image.imsave(path, np.dstack([grey] * 3))
        video = morvex.Video(path)
    expected = strip_corners(mvtrack(path, ["--frames", str(frames), *options]))
    tracker = morvex.Tracker(CAMERA, [(PATTERN, 45)], **kwargs)
    got = []
    for n, frame in zip(range(frames), video):
        bgr = False
        if form == "bgr":
            frame, bgr = np.ascontiguousarray(frame[:, :, ::-1]), True
        elif form == "rgba strided":
            wide = np.full((frame.shape[0], frame.shape[1] * 2, 4), 255, np.uint8)
            wide[:, ::2, :3] = frame
            frame = wide[:, ::2]
        elif form == "grey":
            frame = frame[:, :, 1].copy()
        got.append(record(n, tracker.track(frame, bgr=bgr)))
    assert len(got) == frames == len(expected)
    assert got == expected
    posed = [m for r in got for m in r["markers"] if m["transform"]]
    assert len(posed) >= frames
    if source == "rendered":
        assert abs(posed[0]["transform"][2][3] - 400) < 8


def test_guard_keeps_another_picture_from_the_bundled_pattern(tmp_path):
    """A black triangle with a red dot made into a marker: the bare rule (guard=False,
    mvtrack --no-guard) names it patt.lumo, the guard does not; mvtrack's records either way."""
    import matplotlib.image
    y, x = np.mgrid[:256, :256]
    picture = np.ones((256, 256, 3))
    picture[(y >= 40) & (y < 216) & (np.abs(x - 128) <= (y - 40) / 2)] = 0
    picture[(y - 190) ** 2 + (x - 200) ** 2 < 18 ** 2] = [1, 0, 0]
    matplotlib.image.imsave(str(tmp_path / "triangle.png"), picture)
    mvmarker = os.path.join(os.path.dirname(os.environ["MVRENDER"]), "mvmarker")
    subprocess.run([mvmarker, str(tmp_path / "triangle.png"), "--png", str(tmp_path / "marker.png")], check=True,
                   capture_output=True)
    path = render(str(tmp_path / "f.png"), "--marker", str(tmp_path / "marker.png"), "--side", "45", "--size",
                  "640x480", "--distance", "450", "--tilt", "20", "--roll", "10")
    frame = next(iter(morvex.Video(path)))
    for kwargs, options, named in [({}, [], False), ({"guard": False}, ["--no-guard"], True)]:
        got = [record(0, morvex.Tracker(CAMERA, [(PATTERN, 45)], **kwargs).track(frame))]
        assert got == strip_corners(mvtrack(path, options))
        assert [m["id"] for m in got[0]["markers"]] == [0 if named else -1]


def test_detect_is_a_tracker_per_thread(rendered):
    frame = next(iter(morvex.Video(rendered)))
    morvex.set_camera(CAMERA, size=(640, 480))
    first = morvex.load_pattern(PATTERN, 45)
    again = morvex.load_pattern(PATTERN, 45)   # a cell run twice: the same pattern
    assert again is first and len(morvex.patterns()) == 1
    mine = morvex.detect(frame)
    found = [m for m in mine if m.id == first.slot]
    assert len(found) == 1 and found[0].pattern is first
    # Another thread's detect tracks with its own tracker, the same way.
    other = []
    worker = threading.Thread(target=lambda: other.extend(morvex.detect(frame)))
    worker.start()
    worker.join()
    assert record(0, other) == record(0, mine)
    morvex.free_pattern(first)
    assert first.slot == -1 and morvex.patterns() == []
    # Without a camera file: a default camera of the frame's size (the bundled
    # camera's field of view, no lens) still gives the distance within 2%.
    posed = [m for m in morvex.Tracker(patterns=[PATTERN]).track(frame[:, :, 0]) if m.pose is not None]
    assert len(posed) == 1 and abs(posed[0].pose[2, 3] - 400) < 8


def test_trackers_in_threads_give_the_records_of_sequential_runs(sequences):
    """Four streams tracked at once, frames decoded beforehand: bit for bit the
    records of the same streams tracked one after another."""
    clips = [CLIP] + sequences
    frames = [list(morvex.Video(c)) for c in clips]

    def run(k, out):
        tracker = morvex.Tracker(CAMERA, [(PATTERN, 45)])
        out[k] = [record(n, tracker.track(f)) for n, f in enumerate(frames[k])]

    sequential = [None] * 4
    for k in range(4):
        run(k, sequential)
    parallel = [None] * 4
    threads = [threading.Thread(target=run, args=(k, parallel)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert parallel == sequential
    assert all(any(m["transform"] for r in recs for m in r["markers"]) for recs in parallel)


def test_coded_markers_are_read_with_their_family(tmp_path):
    """A tag36h11 marker made by mvmarker and rendered by mvrender: its family, its
    id and its pose in AprilTag's axes (z into the tag, away from the camera)."""
    mvmarker = os.path.join(os.path.dirname(os.environ["MVRENDER"]), "mvmarker")
    tag = str(tmp_path / "tag.png")
    subprocess.run([mvmarker, "--family", "tag36h11", "--id", "9", "--png", tag, "--mm", "60"], check=True,
                   capture_output=True)
    frame = next(iter(morvex.Video(render(str(tmp_path / "f.png"), "--marker", tag, "--side", "75",
                                          "--size", "640x480", "--distance", "450", "--tilt", "20"))))
    markers = [m for m in morvex.Tracker(CAMERA, families=[("tag36h11", 60)]).track(frame) if m.family]
    assert [(m.family, m.id) for m in markers] == [("tag36h11", 9)]
    pose = markers[0].pose
    assert abs(np.linalg.norm(pose[:3, 3]) - 450) < 5 and pose[2, 2] > 0.8
    with pytest.raises(morvex.Error, match="no coded family"):
        morvex.Tracker(families=["tag99"])


def test_video_iterates_frame_by_frame_at_the_sources_size():
    with morvex.Video(CLIP) as video:
        rgb = [f for f in video]
        assert (video.frame_count, video.frames_read, video.read()) == (300, 300, None)
    assert {f.shape for f in rgb} == {(240, 320, 3)} and len({f.tobytes() for f in rgb[:3]}) == 3
    small = list(morvex.Video([f"-file={CLIP}", "-width=160"], bgr=True))
    assert (len(small), small[0].shape) == (300, (120, 160, 3))
    bgr = next(iter(morvex.Video(CLIP, bgr=True)))
    assert np.array_equal(bgr, rgb[0][:, :, ::-1])


def test_bad_input_raises_with_the_fault_named(tmp_path):
    t = str(tmp_path)
    short = os.path.join(t, "short.dat")
    with open(short, "wb") as f:
        f.write(b"\0" * 100)
    frame = np.zeros((240, 320, 3), np.uint8)
    tracker = morvex.Tracker()
    cases = [
        (lambda: morvex.load_camera(os.path.join(t, "none.dat")), "Error", f"{t}/none.dat", "not_found"),
        (lambda: morvex.load_camera(short), "Error", f"{t}/short.dat", "format"),
        (lambda: morvex.Pattern(os.path.join(t, "none.lumo")), "Error", f"{t}/none.lumo", "not_found"),
        (lambda: morvex.Pattern(short), "Error", "fewer than 3072", "format"),
        (lambda: morvex.Pattern(PATTERN, width=0), "ValueError", "marker width 0", None),
        (lambda: morvex.Tracker(thresh=300), "ValueError", "thresh 300 is outside 0..255", None),
        (lambda: morvex.Tracker(thresh="high"), "TypeError", "'high'", None),
        (lambda: morvex.Tracker(CAMERA, [(PATTERN, 45, 1)]), "ValueError", "(path, width_mm)", None),
        (lambda: morvex.Video(f"-file={CLIP} -fast"), "Error", '"-fast"', "argument"),
        (lambda: morvex.Video(os.path.join(t, "none.avi")), "Error", f"{t}/none.avi", "device"),
        (lambda: tracker.track(frame.astype(np.float32)), "TypeError", "dtype uint8, not float32", None),
        (lambda: tracker.track(frame[:, :, :2]), "ValueError", "not (240, 320, 2)", None),
        (lambda: tracker.track(frame[:2]), "ValueError", "not 3 to 65536", None),
        (lambda: tracker.track(frame.tolist()), "TypeError", "not list", None),
        (lambda: tracker.remove_pattern(7), "ValueError", "no pattern 7", None),
    ]
    for call, kind, text, code in cases:
        with pytest.raises(Exception) as e:
            call()
        assert type(e.value).__name__ == kind and text in str(e.value), (kind, text, e.value)
        assert getattr(e.value, "code", None) == code
    assert tracker.track(frame) == []   # still usable


def test_example_tracks_the_clip_and_writes_its_plot(tmp_path):
    png = tmp_path / "distance.png"
    script = os.path.join(os.environ["MORVEX_SOURCE_DIR"], "examples", "track_video.py")
    run = subprocess.run([sys.executable, script, CLIP, "--out", str(png)],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert "300 frames, marker found in 300" in run.stdout
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and png.stat().st_size > 10000
