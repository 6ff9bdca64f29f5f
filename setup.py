"""Builds the tarvello package from a checkout: CMake builds the native module
and stages the package (build/pip/python/tarvello), which is then packed as
it stands. The metadata is in pyproject.toml."""
import os
import shutil
import subprocess
from pathlib import Path

from setuptools import setup
from setuptools.command.build_ext import build_ext
from setuptools.dist import Distribution

ROOT = Path(__file__).resolve().parent


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


setup(packages=[], cmdclass={"build_ext": BuildWithCMake}, distclass=NativeDistribution,
      zip_safe=False)
