"""The compiled part of the Python module, built by this project's CMake.

Compiled any other way, the vector kernels would miss their per-instruction-
set builds and the flags the numerics depend on (-O2 -ffp-contract=off:
without it the compiler fuses multiplies and adds, and the bytes differ).
So build_ext configures the project for the interpreter running it, builds
the target velmora_python and copies the module into the package. Settings
are in pyproject.toml; this file only adds the build step.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


def library_version():
    """The version written once, in the project() line of CMakeLists.txt."""
    with open(os.path.join(ROOT, "CMakeLists.txt")) as lists:
        return re.search(r"^project\(velmora VERSION ([0-9.]+)", lists.read(), re.MULTILINE).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build_dir = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        configure = subprocess.run(
            ["cmake", "-S", ROOT, "-B", build_dir, f"-DPython3_EXECUTABLE={sys.executable}", "-DVELMORA_PYTHON=ON",
             "-DVELMORA_TESTS=OFF", "-DVELMORA_BENCH=OFF", "-DVELMORA_SANITIZE=OFF"],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        print(configure.stdout)
        left_out = [line for line in configure.stdout.splitlines() if "Python module is left out" in line]
        if configure.returncode != 0 or left_out:
            sys.exit("CMake did not configure the Python module" + (": " + left_out[0].lstrip("- ") if left_out else ""))
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(["cmake", "--build", build_dir, "--target", "velmora_python", "--parallel", jobs], check=True)
        built = glob.glob(os.path.join(build_dir, "python", "velmora", "_velmora*.so"))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built[0], target)


setup(version=library_version(), ext_modules=[Extension("velmora._velmora", sources=[])],
      cmdclass={"build_ext": CMakeBuild}, options={"build": {"build_base": "build-pip"}})
