#!/usr/bin/env bash
# The main job: set up, build, and run the demo on the simulated boards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh linux >/dev/null
export PYTHONPATH="$PWD/build/linux/python${PYTHONPATH:+:$PYTHONPATH}"
for example in list_system single_io; do
  echo "== examples/$example.py"
  /usr/bin/python3 "examples/$example.py"
done
echo "== examples/acquisition.py"
mkdir -p artifacts
/usr/bin/python3 examples/acquisition.py artifacts/acquisition.png
echo "== the Control Center's device report"
build/linux/controlcenter/tarvex-report
