#!/usr/bin/env bash
# The main job: set up, build, and run the demo on the simulated boards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh linux >/dev/null
export PYTHONPATH="$PWD/build/linux/python${PYTHONPATH:+:$PYTHONPATH}"
/usr/bin/python3 examples/list_system.py
