"""The Python blocks of the user guide and the README run against the
simulated library, so neither can drift from the module; mypy --strict
accepts the guide's first program and finds each fault a new user makes in
it."""

import os
import re
import subprocess
import sys

import pytest

from conftest import MODULE_DIR, ROOT

GUIDE = os.path.join(ROOT, "docs", "user-guide.md")
DOCUMENTS = [GUIDE, os.path.join(ROOT, "README.md")]
BLOCK = re.compile(r"^```python\n(.*?)^```", re.MULTILINE | re.DOTALL)

# Runs a document's blocks in order in one namespace; each block is compiled
# at its own lines of the document, so a traceback points into it.
RUNNER = """
import re, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
namespace = {"__name__": "__main__"}
for block in re.compile(sys.argv[2], re.MULTILINE | re.DOTALL).finditer(text):
    padding = "\\n" * text.count("\\n", 0, block.start(1))
    exec(compile(padding + block.group(1), path, "exec"), namespace)
"""


def blocks(path):
    with open(path, encoding="utf-8") as file:
        return BLOCK.findall(file.read())


@pytest.mark.parametrize("path", DOCUMENTS, ids=os.path.basename)
def test_python_blocks_run(path, tmp_path):
    assert blocks(path)
    result = subprocess.run([sys.executable, "-c", RUNNER, path, BLOCK.pattern],
                            capture_output=True, text=True, timeout=120, cwd=tmp_path,
                            env=dict(os.environ, PYTHONPATH=MODULE_DIR, TARVEX_SIM_CONFIG=""))
    assert result.returncode == 0, result.stderr


# Each fault, as a change of the first program, and the text of the line
# mypy must flag.
FAULTS = {
    "misspelt_key": ('entry["Value"]', 'entry["Valeu"]'),
    "missing_key": ("channel=3, ", ""),
    "wrong_family": ("Direction.INPUT", "K.KA_WAIT_IDLE"),
}


def test_mypy_finds_a_new_users_faults_in_the_first_program(tmp_path):
    program = blocks(GUIDE)[0]
    (tmp_path / "first.py").write_text(program)
    for name, (text, fault) in FAULTS.items():
        assert program.count(text) == 1, text
        (tmp_path / f"{name}.py").write_text(program.replace(text, fault))
    result = subprocess.run(
        ["/usr/bin/mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
         "--no-error-summary", "first.py", *(f"{name}.py" for name in FAULTS)],
        capture_output=True, text=True, timeout=600, cwd=tmp_path,
        env=dict(os.environ, MYPYPATH=MODULE_DIR))
    flagged = {}
    for line in result.stdout.splitlines():
        if ": error:" in line:
            file, number = line.split(":")[:2]
            flagged.setdefault(file[:-len(".py")], set()).add(int(number))
    expected = {name: {program[:program.index(text)].count("\n") + 1}
                for name, (text, _) in FAULTS.items()}
    assert flagged == expected, result.stdout
