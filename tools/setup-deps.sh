#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the bootstrapper needs.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  cmake make g++ googletest libgtest-dev libgmock-dev clang
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine wine64 xvfb xauth x11-utils
  msitools wixl gcab
  python3 python3-pefile inotify-tools libclang-rt-14-dev locales e2fsprogs
  osslsigncode openssl ca-certificates imagemagick git
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup-deps: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "setup-deps: installing ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
