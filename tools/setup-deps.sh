#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the bootstrapper needs,
# with the i386 architecture for the 32-bit Wine that runs the shipped PE32 under WoW64,
# and generates the locales the tests run programs in. fonts-wine: Wine's own fonts, with
# Marlett, which draws the caption buttons in the pictures of tools/take-screenshots.sh.
# Safe to run again: what is already present is left alone, and then it says only that.
set -euo pipefail

packages=(
  cmake make g++ googletest libgtest-dev libgmock-dev clang
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine wine64 wine32:i386 fonts-wine xvfb xauth x11-utils
  msitools wixl gcab
  python3 python3-pefile inotify-tools libclang-rt-14-dev locales e2fsprogs
  osslsigncode openssl ca-certificates imagemagick git
)
locales=(en_US.UTF-8 ja_JP.UTF-8 zh_CN.UTF-8 zh_TW.UTF-8)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# The i386 packages are found only once the architecture is known to apt.
added_arch=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup-deps: adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
  added_arch=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -ne 0 ]; then
  echo "setup-deps: installing ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
elif [ "$added_arch" -eq 1 ]; then
  $SUDO apt-get update -q
fi

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
