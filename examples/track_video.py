#!/usr/bin/env python3
"""Tracks a marker through a video and plots its distance from the camera
over time into a PNG.

    PYTHONPATH=build/python python3 examples/track_video.py \
        build/bin/resources/demo_clip.avi --out distance.png

Defaults: the bundled camera and pattern (a 45 mm marker). The video is
tracked at its own size, with the camera rescaled to it.
"""
import argparse
import math
import os

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

import morvex  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description="Plot a marker's distance over a video.")
    parser.add_argument("video", help="video file or image sequence (frames/%%04d.png); no blanks")
    parser.add_argument("--camera", help="camera file (default: the bundled one)")
    parser.add_argument("--pattern", help="pattern file (default: the bundled patt.lumo)")
    parser.add_argument("--width", type=float, default=45.0, help="marker side in mm (default 45)")
    parser.add_argument("--out", default="distance.png", help="the plot (default distance.png)")
    args = parser.parse_args()

    video = morvex.Video([f"-file={args.video}", "-nopace"])
    bundled = (lambda name: os.path.join(morvex.data_dir(), name))
    morvex.set_camera(args.camera or bundled("camera_para.dat"), size=video.size)
    pattern = morvex.load_pattern(args.pattern or bundled("patt.lumo"), args.width)

    fps = video.fps or 30.0
    seconds, distance = [], []
    for n, frame in enumerate(video):
        poses = [m.pose for m in morvex.detect(frame) if m.id == pattern.slot and m.pose is not None]
        seconds.append(n / fps)
        # The marker's origin in camera coordinates; a gap where it is not seen.
        distance.append(math.dist(poses[0][:3, 3], (0, 0, 0)) if poses else math.nan)

    found = [d for d in distance if not math.isnan(d)]
    fig, ax = plt.subplots(figsize=(8, 3.5), dpi=100)
    ax.plot(seconds, distance, lw=1.2)
    ax.set_xlabel("time (s)")
    ax.set_ylabel("distance (mm)")
    ax.set_title(f"{os.path.basename(args.video)}: marker {os.path.basename(pattern.path)}, "
                 f"{args.width:g} mm")
    ax.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(args.out)
    print(f"{len(distance)} frames, marker found in {len(found)}", end="")
    if found:
        print(f", distance {min(found):.0f} to {max(found):.0f} mm", end="")
    print(f"; plot in {args.out}")


if __name__ == "__main__":
    main()
