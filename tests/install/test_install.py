"""kaDriver installed into a fresh virtual environment that sees the system's
numpy, with the documented command, offline: it imports from any folder with
no environment variables, its stubs serve mypy, and it uninstalls cleanly."""

import glob
import json
import os
import subprocess
import sys
import tempfile
import textwrap

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SYSTEM_PYTHON = "/usr/bin/python3"
MYPY = "/usr/bin/mypy"
# Only what any shell has: no PYTHONPATH, no LD_LIBRARY_PATH, no simulated
# system file.
CLEAN_ENV = {"PATH": "/usr/bin:/bin", "HOME": os.environ.get("HOME", "/tmp"), "LANG": "C.UTF-8"}


def run(command, **kwargs):
    kwargs.setdefault("env", CLEAN_ENV)
    result = subprocess.run(command, capture_output=True, text=True, timeout=1200, **kwargs)
    assert result.returncode == 0, f"{command}\n{result.stdout}\n{result.stderr}"
    return result


@pytest.fixture(scope="module")
def venv():
    with tempfile.TemporaryDirectory(prefix="kaDriver-venv-") as folder:
        env_dir = os.path.join(folder, "venv")
        run([SYSTEM_PYTHON, "-m", "venv", "--system-site-packages", env_dir])
        python = os.path.join(env_dir, "bin", "python")
        # The documented command; no index at all proves it needs no network.
        run([python, "-m", "pip", "install", "--no-build-isolation", "--no-cache-dir", ROOT],
            cwd=folder, env=dict(CLEAN_ENV, PIP_NO_INDEX="1"))
        site = run([python, "-c", "import sysconfig; print(sysconfig.get_path('platlib'))"]).stdout
        elsewhere = os.path.join(folder, "elsewhere")
        os.mkdir(elsewhere)
        yield python, site.strip(), elsewhere


USE = """
    import json, kaDriver
    kaDriver.kaOpen(kaDriver.KA_OPEN_NO_FLAGS)
    result = {"module": kaDriver.__file__,
              "library": [line.split()[-1] for line in open("/proc/self/maps")
                          if "libTarvexmain" in line][0],
              "devices": kaDriver.kaQueryNumberDevices(),
              "name": kaDriver.kaQueryNameDevice(0),
              "range": kaDriver.kaQueryRangeInfo(0, 0, 0)}
    kaDriver.kaClose(kaDriver.KA_CLOSE_NO_FLAGS)
    try:
        kaDriver.kaQueryNumberSubdevices(99)
    except kaDriver.error as fault:
        result["error"] = list(fault.args)
    print(json.dumps(result))
"""


def test_installed_module_runs_from_any_folder(venv):
    python, site, elsewhere = venv
    result = json.loads(run([python, "-c", textwrap.dedent(USE)], cwd=elsewhere).stdout)
    assert os.path.dirname(result["module"]) == site
    assert os.path.dirname(result["library"]) == site  # through the run path
    assert result["devices"] == 3 and result["name"] == "TX-PCI-1616"
    assert result["range"][0] == 0x170001
    code, text = result["error"]
    assert code != 0 and text


def test_installed_stubs_serve_mypy(venv):
    python, _, elsewhere = venv
    with open(os.path.join(elsewhere, "typed.py"), "w") as file:
        file.write("import kaDriver\n"
                   "count: int = kaDriver.kaQueryNumberDevices()\n"
                   "name: int = kaDriver.kaQueryNameDevice(0)\n")
    result = subprocess.run([MYPY, "--python-executable", python, "--no-incremental",
                             "--cache-dir", os.devnull, "typed.py"],
                            capture_output=True, text=True, cwd=elsewhere, env=CLEAN_ENV)
    errors = [line for line in result.stdout.splitlines() if ": error:" in line]
    assert len(errors) == 1 and errors[0].startswith("typed.py:3:"), result.stdout


def test_uninstall_removes_every_file(venv):
    # Last in this file: the installed environment is gone afterwards.
    python, site, elsewhere = venv
    run([python, "-m", "pip", "uninstall", "--yes", "kaDriver"])
    assert not glob.glob(os.path.join(site, "*kaDriver*"))
    assert not glob.glob(os.path.join(site, "libTarvexmain*"))
    result = subprocess.run([python, "-c", "import kaDriver"], capture_output=True, text=True,
                            cwd=elsewhere, env=CLEAN_ENV)
    assert result.returncode != 0 and "No module named 'kaDriver'" in result.stderr
