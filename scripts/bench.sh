#!/usr/bin/env bash
# Every benchmark in one table (builds the linux preset first), then how
# much of a core tarvex-scope's window takes at 100,000 values a second.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh linux >/dev/null
/usr/bin/python3 bench/run_all.py
echo
exec /usr/bin/python3 bench/bench_scope.py
