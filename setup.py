"""Builds the morvex package's compiled part with the project's own CMake build
(the core, the capture and the bindings; nothing else), then lays it and the
bundled data beside the package's Python files. pip runs this:

    python3 -m venv --system-site-packages venv
    venv/bin/pip install --no-build-isolation .
"""
import glob
import os
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))


class BuildWithCMake(build_py):
    def run(self):
        super().run()
        build = os.path.join(os.path.abspath(self.get_finalized_command("build").build_base), "cmake")
        configure = ["cmake", "-S", HERE, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython3_EXECUTABLE={sys.executable}", "-DMORVEX_BUILD_TESTS=OFF",
                     "-DMORVEX_BUILD_BENCH=OFF", "-DMORVEX_WITH_DISPLAY=OFF"]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", build, "--target", "morvex_python", "morvex_resources"], check=True)
        # The demo clip is rendered by the build; its data comes along when it can be made.
        subprocess.run(["cmake", "--build", build, "--target", "morvex_demo_clip"], check=False)
        package = os.path.join(self.build_lib, "morvex")
        for so in glob.glob(os.path.join(build, "python", "morvex", "_morvex*.so")):
            shutil.copy2(so, package)
        data = os.path.join(package, "data")
        os.makedirs(data, exist_ok=True)
        for name in ("camera_para.dat", "patt.lumo", "marker.png", "demo_clip.avi", "demo_clip_truth.txt"):
            src = os.path.join(build, "bin", "resources", name)
            if os.path.isfile(src):
                shutil.copy2(src, data)


class CompiledDistribution(Distribution):
    """The package holds a compiled module: its wheel is for this platform."""

    def has_ext_modules(self):
        return True


# setuptools' own folder apart from the project's CMake build folder (build/).
setup(cmdclass={"build_py": BuildWithCMake}, distclass=CompiledDistribution,
      options={"build": {"build_base": "build-pip"}})
