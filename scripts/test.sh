#!/usr/bin/env bash
# Every test: set up, check formatting, build both presets, run the native,
# Python and Windows (under Wine) suites; then the native and Python suites again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the simulated library's
# waits and concurrent use under ThreadSanitizer. The Windows suite must run the 32-bit
# programs themselves: it fails rather than test the 64-bit builds instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/lint.sh
scripts/build.sh linux windows
ctest --preset linux
scripts/build.sh sanitize tsan
ctest --preset sanitize
ctest --preset tsan
WINE_TESTS_REQUIRE_32BIT=1 ctest --preset windows --no-tests=ignore
# The system file fuzzer for a minute, from its kept corpus (scripts/fuzz.sh).
scripts/fuzz.sh 60
