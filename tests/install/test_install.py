"""kaDriver installed into a fresh virtual environment that sees the system's
numpy, with the documented command, offline: it and the tarvex package import
from any folder with no environment variables, tarvex-list and tarvex-scope
run, the stubs serve mypy, and it uninstalls cleanly."""

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


def run(command, status=0, **kwargs):
    kwargs.setdefault("env", CLEAN_ENV)
    # A session of its own: no terminal for the build's progress to go to.
    result = subprocess.run(command, capture_output=True, text=True, timeout=1200,
                            start_new_session=True, **kwargs)
    assert result.returncode == status, f"{command}\n{result.stdout}\n{result.stderr}"
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


def test_install_without_numpy_says_what_to_do(tmp_path):
    env_dir = str(tmp_path / "bare")
    run([SYSTEM_PYTHON, "-m", "venv", env_dir])
    result = run([os.path.join(env_dir, "bin", "python"), "-m", "pip", "install",
                  "--no-build-isolation", "--no-cache-dir", ROOT], status=1,
                 env=dict(CLEAN_ENV, PIP_NO_INDEX="1"))
    assert "install python3-numpy and make the virtual environment with " \
           "--system-site-packages" in result.stdout + result.stderr


USE = """
    import importlib.metadata, json, kaDriver, tarvex
    kaDriver.kaOpen(kaDriver.KA_OPEN_NO_FLAGS)
    result = {"module": kaDriver.__file__, "package": tarvex.__file__,
              "versions": [tarvex.__version__, importlib.metadata.version("kaDriver")],
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
        result["result"] = str(tarvex.result(fault.args[0]))
    print(json.dumps(result))
"""


def test_installed_module_runs_from_any_folder(venv):
    python, site, elsewhere = venv
    result = json.loads(run([python, "-c", textwrap.dedent(USE)], cwd=elsewhere).stdout)
    assert os.path.dirname(result["module"]) == site
    assert os.path.dirname(result["library"]) == site  # through the run path
    assert os.path.dirname(result["package"]) == os.path.join(site, "tarvex")
    assert result["devices"] == 3 and result["name"] == "TX-PCI-1616"
    assert len(set(result["versions"])) == 1  # the package's version is the distribution's
    assert result["range"][0] == 0x170001
    code, text = result["error"]
    assert code != 0 and text
    assert result["result"] == f"{code} NOT_OPEN: {text}"


def test_tarvex_list_is_installed(venv, tmp_path):
    python, _, elsewhere = venv
    command = os.path.join(os.path.dirname(python), "tarvex-list")
    assert "KA_TYPE_AI KA_SUBTYPE_STREAMING" in run([command], cwd=elsewhere).stdout
    assert run([command, "--help"]).stdout.startswith("usage: tarvex-list")
    # The report comes from the native tool installed beside the package.
    assert "TX-PCI-1616" in run([command, "--report"], cwd=elsewhere).stdout
    broken = tmp_path / "broken.json"
    broken.write_text('{"devices": []}')
    checked = run([command, "--check", str(broken)], status=1)
    assert checked.stderr == (f"tarvex-list: {broken}: error 17: Invalid system configuration: "
                              "system: key 'library_version' missing\n")


def test_tarvex_scope_is_installed(venv):
    python, _, elsewhere = venv
    command = os.path.join(os.path.dirname(python), "tarvex-scope")
    assert run([command, "--help"]).stdout.startswith("usage: tarvex-scope")
    # The picture needs no display (CLEAN_ENV has none) and no Tk.
    run([command, "--png", "view.png", "--seconds", "0.2"], cwd=elsewhere)
    with open(os.path.join(elsewhere, "view.png"), "rb") as picture:
        assert picture.read(8) == b"\x89PNG\r\n\x1a\n"


def test_installed_stubs_serve_mypy(venv):
    python, _, elsewhere = venv
    with open(os.path.join(elsewhere, "typed.py"), "w") as file:
        file.write("import kaDriver, tarvex\n"
                   "count: int = kaDriver.kaQueryNumberDevices()\n"
                   "name: int = kaDriver.kaQueryNameDevice(0)\n"
                   "kaDriver.kaQueryNumberRanges(0, 0, tarvex.Unit.VOLT)\n"
                   "kaDriver.kaQueryNumberRanges(0, 0, tarvex.SubdeviceType.AI)\n")
    result = subprocess.run([MYPY, "--python-executable", python, "--no-incremental",
                             "--cache-dir", os.devnull, "typed.py"],
                            capture_output=True, text=True, cwd=elsewhere, env=CLEAN_ENV)
    errors = [line for line in result.stdout.splitlines() if ": error:" in line]
    assert [error.split(":")[1] for error in errors] == ["3", "5"], result.stdout


def test_uninstall_removes_every_file(venv):
    # Last in this file: the installed environment is gone afterwards.
    python, site, elsewhere = venv
    run([python, "-m", "pip", "uninstall", "--yes", "kaDriver"])
    assert not glob.glob(os.path.join(site, "*kaDriver*"))
    assert not glob.glob(os.path.join(site, "libTarvexmain*"))
    assert not os.path.exists(os.path.join(site, "tarvex"))
    for command in ("tarvex-list", "tarvex-scope"):
        assert not os.path.exists(os.path.join(os.path.dirname(python), command))
    result = subprocess.run([python, "-c", "import kaDriver"], capture_output=True, text=True,
                            cwd=elsewhere, env=CLEAN_ENV)
    assert result.returncode != 0 and "No module named 'kaDriver'" in result.stderr
