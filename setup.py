"""Builds the tarvello package from a checkout: CMake builds the native module
and stages the package (build/pip/python/tarvello), which is then packed as
it stands. The metadata is in pyproject.toml, but for the version, which is
the project's one version in CMakeLists.txt."""
import os
import re
import shutil
import subprocess
from pathlib import Path

from setuptools import setup
from setuptools.command.build_ext import build_ext
from setuptools.dist import Distribution

ROOT = Path(__file__).resolve().parent


def project_version():
    """The VERSION of project(...) in CMakeLists.txt, which the native module
    compiles in as tarvello.__version__."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"^project\([^)]*\bVERSION\s+([0-9][0-9.]*)", text, re.MULTILINE)
    if not found:
        raise RuntimeError("CMakeLists.txt: no project(... VERSION x.y.z)")
    return found.group(1)


class BuildWithCMake(build_ext):
    def run(self):
        build = ROOT / "build" / "pip"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_tarvello"], check=True)
        target = Path(self.build_lib) / "tarvello"
        if target.exists():
            shutil.rmtree(target)
        shutil.copytree(build / "python" / "tarvello", target,
                        ignore=shutil.ignore_patterns("__pycache__"))


class NativeDistribution(Distribution):
    """A wheel for this platform only: the package holds native code."""

    def has_ext_modules(self):
        return True


setup(version=project_version(), packages=[], cmdclass={"build_ext": BuildWithCMake}, distclass=NativeDistribution,
      zip_safe=False)
