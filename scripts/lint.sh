#!/usr/bin/env bash
# Checks that the C++ sources are formatted (--fix formats them) and, with
# --tidy, runs clang-tidy's checks over the native sources of the linux build.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${sources[@]}"
if [ "${1:-}" = "--tidy" ]; then
  [ -f build/linux/compile_commands.json ] || scripts/build.sh linux >/dev/null
  # The Win32 sources are the folders below, which the linux build leaves
  # out; every other C++ source is native.
  win32_folders=(win32 controlcenter/win32 preinstall/win32 controlcenter/tests/wine
    preinstall/tests/wine)
  mapfile -t native < <(git ls-files -- 'sim/*.cpp' 'python/*.cpp' 'controlcenter/*.cpp' \
    'preinstall/*.cpp' "${win32_folders[@]/#/:!:}")
  clang-tidy -p build/linux --quiet "${native[@]}"
fi
echo "lint: clean"
