#!/usr/bin/env bash
# 32-bit x86 programs on a kernel that runs no IA-32 code itself: qemu's i386
# user-mode emulator, registered with binfmt_misc inside a user namespace of
# our own (binfmt_misc is per user namespace since Linux 6.7), so that Wine's
# 32-bit loader runs there and nothing changes for the rest of the machine.
#
#   ia32-emulation.sh install          makes build/emulator/qemu-i386 ready
#                                      (scripts/setup.sh calls this); does
#                                      nothing when it is there or when the
#                                      kernel runs 32-bit code itself
#   ia32-emulation.sh run CMD ARGS...  runs CMD in a private user and mount
#                                      namespace where i386 ELF executables
#                                      start through that emulator
#
# qemu 8 or newer is needed: 7.2, Debian 12's own, takes minutes to start a
# Wine process. The emulator comes from the qemu-user package of the
# release's backports suite, fetched with a private apt configuration that
# names the machine's own Debian mirror; only its static qemu-i386 is kept.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
emulator_dir=$root/build/emulator
emulator=$emulator_dir/qemu-i386
minimum_major=8
# ELF, 32-bit, little-endian, executable or shared object, machine i386; the
# mask lets any OS/ABI and ABI version through.
elf_i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
elf_i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

emulator_works() {
  local version
  version=$("$emulator" --version 2>/dev/null | sed -n '1s/.* version \([0-9]*\)\..*/\1/p') || return 1
  [ -n "$version" ] && [ "$version" -ge "$minimum_major" ]
}

# Writes into DIR an apt source for SUITE on the mirror that the machine's
# own sources use for the release CODENAME: that deb822 stanza or one-line
# entry, with the suite replaced.
write_source_for() {
  local dir=$1 codename=$2 suite=$3 file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -r "$file" ] || continue
    awk -v release="$codename" -v suite="$suite" '
      BEGIN { RS = ""; FS = "\n" }
      $0 ~ "(^|\n)Types:[^\n]*deb([ \t]|\n|$)" &&
      $0 ~ "(^|\n)Suites:([^\n]*[ \t])?" release "([ \t]|\n|$)" {
        for (i = 1; i <= NF; i++)
          print ($i ~ /^Suites:/ ? "Suites: " suite : $i)
        found = 1
        exit
      }
      END { exit !found }' "$file" >"$dir/backports.sources" && return 0
    rm -f "$dir/backports.sources"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$file" ] || continue
    # deb [options] URI SUITE COMPONENTS...
    awk -v release="$codename" -v suite="$suite" '
      $1 == "deb" {
        uri = 2
        if ($2 ~ /^\[/) {
          while ($uri !~ /\]$/ && uri < NF) uri++
          uri++
        }
        if ($(uri + 1) == release) { $(uri + 1) = suite; print; found = 1; exit }
      }
      END { exit !found }' "$file" >"$dir/backports.list" && return 0
    rm -f "$dir/backports.list"
  done
  echo "ia32-emulation: no apt source names the $codename suite" >&2
  return 1
}

install_emulator() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    return 0 # the kernel runs 32-bit code itself
  fi
  if emulator_works; then
    return 0
  fi
  local codename suite work
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
  suite=$codename-backports
  work=$(mktemp -d)
  trap "rm -rf '$work'" EXIT
  mkdir -p "$work/parts" "$work/lists/partial" "$work/archives/partial"
  write_source_for "$work/parts" "$codename" "$suite"
  local apt_options=(
    -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/parts"
    -o Dir::State::Lists="$work/lists" -o Dir::Cache::archives="$work/archives"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
    -o APT::Architectures="$(dpkg --print-architecture)" -o APT::Sandbox::User="$(id -un)")
  echo "setup: fetching qemu-i386 from qemu-user of $suite"
  apt-get "${apt_options[@]}" -qq update
  (cd "$work" && apt-get "${apt_options[@]}" -qq download "qemu-user/$suite")
  mkdir -p "$emulator_dir/binfmt_misc"
  dpkg-deb --fsys-tarfile "$work"/qemu-user_*.deb | tar -xO ./usr/bin/qemu-i386 >"$emulator.new"
  chmod +x "$emulator.new"
  mv "$emulator.new" "$emulator"
  emulator_works || {
    echo "ia32-emulation: $emulator is older than qemu $minimum_major" >&2
    exit 1
  }
}

case "${1:-}" in
install)
  install_emulator
  ;;
run)
  shift
  [ -x "$emulator" ] || {
    echo "ia32-emulation: $emulator is missing (scripts/setup.sh fetches it)" >&2
    exit 127
  }
  exec unshare --user --map-root-user --mount -- "$0" enter "$@"
  ;;
enter)
  # Inside the new namespaces: a binfmt_misc instance of their own, mounted
  # where only they see it. Flag F opens the emulator now, so it is found
  # whatever the programs' view of the file system becomes.
  shift
  mount -t binfmt_misc binfmt_misc "$emulator_dir/binfmt_misc"
  echo ":ia32:M::$elf_i386_magic:$elf_i386_mask:$emulator:F" >"$emulator_dir/binfmt_misc/register"
  exec "$@"
  ;;
*)
  sed -n '2,/^set -e/p' "$0" | sed '$d' >&2
  exit 2
  ;;
esac
