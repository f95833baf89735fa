"""The examples run against the simulated boards."""

import glob
import os
import subprocess
import sys

import pytest

from conftest import MODULE_DIR, ROOT

EXAMPLES = sorted(glob.glob(os.path.join(ROOT, "examples", "*.py")))


@pytest.mark.parametrize("path", EXAMPLES, ids=os.path.basename)
def test_example_runs(path, tmp_path):
    result = subprocess.run([sys.executable, path], capture_output=True, text=True, timeout=120,
                            cwd=tmp_path,
                            env=dict(os.environ, PYTHONPATH=MODULE_DIR, TARVEX_SIM_CONFIG=""))
    assert result.returncode == 0, result.stderr
    assert result.stdout


def test_mypy_accepts_the_examples():
    result = subprocess.run(
        ["/usr/bin/mypy", "--check-untyped-defs", "--ignore-missing-imports", "--no-incremental",
         "--cache-dir", os.devnull, *EXAMPLES],
        capture_output=True, text=True, timeout=600, env=dict(os.environ, MYPYPATH=MODULE_DIR))
    assert result.returncode == 0, result.stdout
