#!/usr/bin/env bash
# The main job: set up, build, and run the demo on the simulated boards.
set -euo pipefail
cd "$(dirname "$0")/.."
step() { echo "== $*"; }
step "checking this machine's packages (installs what is missing; minutes the first time, a second after)"
scripts/setup.sh
step "building the linux preset (one to four minutes the first time on 2 cores, seconds after)"
scripts/build.sh linux
export PYTHONPATH="$PWD/build/linux/python${PYTHONPATH:+:$PYTHONPATH}"
step "the simulated system, as tarvex-list shows it"
/usr/bin/python3 -m tarvex.listing
step "examples/single_io.py"
/usr/bin/python3 examples/single_io.py
step "examples/acquisition.py (one second of streaming)"
mkdir -p artifacts
/usr/bin/python3 examples/acquisition.py artifacts/acquisition.png
step "the Control Center's device report (tarvex-list --report)"
/usr/bin/python3 -m tarvex.listing --report
