#!/usr/bin/env bash
# Installs every Debian package the project needs, and the emulator that lets
# Wine run our 32-bit programs on a kernel without 32-bit support. Safe to run
# again: it only installs what is missing, and only touches apt when something
# is.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  python3-dev python3-numpy python3-pytest python3-hypothesis python3-matplotlib python3-tk python3-setuptools python3-wheel python3-venv mypy
  libgtest-dev libgmock-dev
  clang-format clang-tidy valgrind
  clang libclang-rt-14-dev
  wine wine32:i386 wine64 xvfb xauth x11-utils xdotool imagemagick
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_if_needed dpkg --add-architecture i386
  need_update=1
fi

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  sudo_if_needed apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

"$(dirname "$0")/../win32/ia32-emulation.sh" install
