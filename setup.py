"""Builds the kaDriver module and the simulated driver library with CMake and
puts them, with the type stubs and the tarvex package (with the Control
Center's report tool), into the wheel, all in the top folder of
site-packages: the module finds the library beside it through its run path.

The CMake build runs in a temporary folder, never in the source tree, and
uses the interpreter that runs this build, so the module fits it. pip shows
a build's output only with -v, so the steps and the build's progress go to
the terminal pip runs in, when there is one.
"""

import atexit
import contextlib
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import numpy
except ImportError:
    sys.exit("kaDriver is built against numpy, and the Python that runs pip has none: "
             "install python3-numpy and make the virtual environment with "
             "--system-site-packages")
from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))
SCRATCH = tempfile.mkdtemp(prefix="kaDriver-build-")
atexit.register(shutil.rmtree, SCRATCH, ignore_errors=True)


class CMakeBuild(build_ext):
    """Configures the project, builds the module, its library and stubs, the
    tarvex families and the report tool, and copies what CMake installs for
    the component kaDriver."""

    def build_extension(self, ext):
        build_dir = os.path.join(SCRATCH, "cmake")
        stage = os.path.join(SCRATCH, "stage")
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        configure = ["cmake", "-S", ROOT, "-B", build_dir,
                     "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                     f"-DPython3_EXECUTABLE={sys.executable}",
                     "-DKADRIVER_INSTALL_DIR=."]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        with _terminal() as terminal:
            _step(terminal, "kaDriver: configuring the build (a few seconds)")
            self._run(configure)
            _step(terminal, f"kaDriver: building the module, the simulated driver library and "
                            f"tarvex-report with {jobs} jobs (usually 20 to 60 seconds)")
            self._run(["cmake", "--build", build_dir, "--parallel", jobs, "--target",
                       "kaDriver", "kaDriver_stubs", "tarvex_families", "tarvex-report"],
                      stdout=terminal)
            self._run(["cmake", "--install", build_dir, "--component", "kaDriver",
                       "--prefix", stage])
            _step(terminal, "kaDriver: built")

        modules = glob.glob(os.path.join(stage, "kaDriver*.so"))
        if len(modules) != 1:
            raise RuntimeError(f"expected one kaDriver module in {stage}, found {modules}")
        target = self.get_ext_fullpath(ext.name)
        target_dir = os.path.dirname(target)
        os.makedirs(target_dir, exist_ok=True)
        shutil.copy2(modules[0], target)
        for entry in os.listdir(stage):
            source = os.path.join(stage, entry)
            if source == modules[0]:
                continue
            if os.path.isdir(source):
                shutil.copytree(source, os.path.join(target_dir, entry), dirs_exist_ok=True)
            else:
                shutil.copy2(source, os.path.join(target_dir, entry))

    @staticmethod
    def _run(command, stdout=None):
        print(" ".join(command), flush=True)
        subprocess.run(command, check=True, stdout=stdout)


def _terminal():
    """The terminal pip runs in; none (in CI, say) leaves everything to pip's
    log."""
    try:
        return open("/dev/tty", "w")
    except OSError:
        return contextlib.nullcontext()


def _step(terminal, text):
    """A step for the terminal and for pip's log."""
    if terminal:
        print(text, file=terminal, flush=True)
    print(text, flush=True)


def version():
    """tarvex.__version__, read without importing the package (which needs the module)."""
    with open(os.path.join(ROOT, "python", "tarvex", "__init__.py"), encoding="utf-8") as file:
        return re.search(r'^__version__ = "([^"]+)"$', file.read(), re.MULTILINE).group(1)


def numpy_requirement():
    """The module uses numpy's native interface of the numpy it is built
    with: that version or a later one of the same major version."""
    major, minor = (int(part) for part in numpy.__version__.split(".")[:2])
    return f"numpy>={major}.{minor},<{major + 1}"


setup(
    version=version(),
    packages=[],
    py_modules=[],
    ext_modules=[Extension("kaDriver", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    install_requires=[numpy_requirement()],
    zip_safe=False,
    options={
        "build": {"build_base": os.path.join(SCRATCH, "setuptools")},
        "egg_info": {"egg_base": SCRATCH},
    },
)
