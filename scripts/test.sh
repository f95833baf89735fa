#!/usr/bin/env bash
# Every test: set up, build both presets, run the native, Python and Windows
# (under Wine) suites.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh linux windows
ctest --preset linux
ctest --preset windows --no-tests=ignore
