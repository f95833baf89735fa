#!/usr/bin/env bash
# Every benchmark in one table (builds the linux preset first).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh linux >/dev/null
exec /usr/bin/python3 bench/run_all.py
