"""Square marker tracking: cameras, patterns, trackers with 3-D poses, video capture.

A Tracker holds one stream's camera, patterns and history; trackers in
different threads run at the same time. morvex.detect is a shortcut over one
tracker per calling thread, made from set_camera and load_pattern.

    import morvex
    tracker = morvex.Tracker(patterns=[(morvex.data_dir() + "/patt.lumo", 45)])
    for frame in morvex.Video("clip.avi"):
        for marker in tracker.track(frame):
            if marker.pose is not None:
                print(marker.id, marker.pose[:3, 3])   # millimetres from the camera
"""
import os as _os

from ._morvex import (Camera, Error, Marker, Pattern, Tracker, Video, camera, default_camera, detect,
                      free_pattern, load_camera, load_pattern, patterns, reset, set_camera)

__all__ = ["Camera", "Error", "Marker", "Pattern", "Tracker", "Video", "camera", "data_dir", "default_camera",
           "detect", "free_pattern", "load_camera", "load_pattern", "patterns", "reset", "set_camera"]


def data_dir() -> str:
    """The folder of the bundled camera_para.dat, patt.lumo and demo clip."""
    here = _os.path.dirname(_os.path.abspath(__file__))
    # Installed with pip (data/ in the package), the build tree (build/python/morvex
    # beside build/bin/resources), or an installed prefix (lib/python3.X/dist-packages).
    for rel in ("data", "../../bin/resources", "../../../../share/morvex"):
        folder = _os.path.normpath(_os.path.join(here, rel))
        if _os.path.isfile(_os.path.join(folder, "camera_para.dat")):
            return folder
    error = Error(f"the bundled camera_para.dat is in none of data/, ../../bin/resources and "
                  f"../../../../share/morvex beside {here}")
    error.code = "not_found"
    raise error
