#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the bootstrapper needs,
# and generates the locales the tests run programs in. fonts-wine: Wine's own fonts, with
# Marlett, which draws the caption buttons in the pictures of tools/take-screenshots.sh.
#
# The 32-bit Wine (wine32:i386), which runs the shipped PE32 under WoW64, is a step of its
# own: where it cannot be had (a kernel that cannot run 32-bit code, no i386 architecture,
# an archive in the middle of a sync) this says so in one line and goes on; the main job
# and the tests then run the 64-bit build with the product's constants and say so.
# A failed package index download is tried once more and ends nothing while the packages
# can still be installed.
# Safe to run again: what is already present is left alone, and then it says only that.
#
# WYK_SETUP_FAIL=index,wine32 makes those steps fail as they would on a bad day (for the
# test of this script); no package is installed by a step told to fail.
set -euo pipefail

packages=(
  cmake make g++ googletest libgtest-dev libgmock-dev clang
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine wine64 fonts-wine xvfb xauth x11-utils
  msitools wixl gcab
  python3 python3-pefile inotify-tools libclang-rt-14-dev locales e2fsprogs
  osslsigncode openssl ca-certificates imagemagick git
)
locales=(en_US.UTF-8 ja_JP.UTF-8 zh_CN.UTF-8 zh_TW.UTF-8)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
told_to_fail() { [[ ",${WYK_SETUP_FAIL:-}," == *",$1,"* ]]; }

# One retry: a mirror in the middle of a sync serves an index of the wrong size for a
# minute or so. An index still missing then is reported, not fatal: apt installs from
# the lists it has, and a package it cannot find fails the install step itself.
update_index() {
  local try
  for try in 1 2; do
    if told_to_fail index; then
      echo "setup-deps: package index download failed (WYK_SETUP_FAIL)" >&2
    elif $SUDO apt-get update -q; then
      return 0
    fi
    [ "$try" -eq 2 ] || { echo "setup-deps: retrying the package index download"; sleep 5; }
  done
  echo "setup-deps: some package indexes could not be downloaded; going on with the ones there are"
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
updated=0
if [ "${#missing[@]}" -ne 0 ]; then
  echo "setup-deps: installing ${missing[*]}"
  update_index
  updated=1
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi

# Whether this kernel executes 32-bit x86 code: a 93-byte ELF32 program that exits with 0.
kernel_runs_32bit() {
  local probe
  probe="$(mktemp)"
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 0 ]
}

wine32_step() {
  local why=""
  if told_to_fail wine32; then
    why="the step was told to fail (WYK_SETUP_FAIL)"
  elif installed wine32:i386; then
    return 0
  elif ! kernel_runs_32bit; then
    why="this kernel cannot run 32-bit code"
  elif ! dpkg --print-foreign-architectures | grep -qx i386 && ! $SUDO dpkg --add-architecture i386; then
    why="the i386 architecture cannot be added"
  else
    update_index  # the i386 lists
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q wine32:i386 >/tmp/wyk-setup-wine32.log 2>&1 ||
      why="it cannot be installed now (apt-get's output: /tmp/wyk-setup-wine32.log)"
  fi
  if [ -n "$why" ]; then
    echo "setup-deps: no 32-bit Wine: $why; the main job and the tests run the 64-bit build instead of the PE32"
  else
    echo "setup-deps: installed the 32-bit Wine (wine32:i386)"
  fi
}
wine32_step

# Wine converts Unix file names through the process locale: a locale that does
# not exist turns non-ASCII folder names into question marks.
have_locale() {
  locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/' | grep -qx "$(echo "$1" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')"
}
missing_locales=()
for l in "${locales[@]}"; do
  have_locale "$l" || missing_locales+=("$l")
done
if [ "${#missing_locales[@]}" -ne 0 ]; then
  echo "setup-deps: generating the locales ${missing_locales[*]}"
  for l in "${missing_locales[@]}"; do
    line="$l UTF-8"
    grep -qx "$line" /etc/locale.gen 2>/dev/null || echo "$line" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
fi

if [ "${#missing[@]}" -eq 0 ] && [ "${#missing_locales[@]}" -eq 0 ]; then
  echo "setup-deps: all packages and locales present"
fi
