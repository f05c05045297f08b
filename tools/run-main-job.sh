#!/usr/bin/env bash
# Sets up a fresh machine, builds the bootstrapper with its default payload and
# runs it silently under Wine in a fresh prefix, then shows what it did.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WYK_BUILD_DIR:-$here/build}"

"$here/tools/setup-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

# The 32-bit product cannot execute on this machine; the same sources and
# constants built as 64-bit code run under Wine.
exe="$build/win-x64-i586/wyk-7-windows-i586.exe"
job="$build/main-job"
rm -rf "$job"
mkdir -p "$job"
export WINEPREFIX="$job/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

display=:$((200 + RANDOM % 300))
Xvfb "$display" -screen 0 1024x768x16 >/dev/null 2>&1 &
xvfb=$!
cleanup() { /usr/lib/wine/wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY="$display"

echo "== Preparing a fresh Wine prefix"
"$wine" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w

echo "== Running: wyk-7-windows-i586.exe /s"
cp "$exe" "$job/prefix/drive_c/wyk-7-windows-i586.exe"
# 'start /wait' gives the full 32-bit exit code of a GUI-subsystem program.
code=$("$wine" cmd /c 'start /wait C:\wyk-7-windows-i586.exe /s & echo %errorlevel%' 2>/dev/null | tr -d '\r' | tail -n 1)
/usr/lib/wine/wineserver -w
echo "exit code: $code"

users="$job/prefix/drive_c/users"
echo
echo "== Cache tree (bytes)"
find "$users" -path '*Halvec*' -type f -printf '%10s  %P\n' | sort -k2

echo
echo "== Registry values under HKLM\\SOFTWARE\\Orvale"
"$wine" reg query 'HKLM\SOFTWARE\Orvale' /s 2>/dev/null | tr -d '\r' | sed '/^$/d' || echo "(none)"

home=$("$wine" reg query 'HKLM\SOFTWARE\Orvale\Tavro Development Kit\1.7.0' /v TavroHome 2>/dev/null \
       | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
echo
echo "== Installed kit files (TavroHome: ${home:-not set})"
if [ -n "$home" ]; then
  unix_home=$("$wine" winepath -u "$home" 2>/dev/null | tr -d '\r')
  find "$unix_home" -type f -printf '%10s  %P\n' 2>/dev/null | sort -k2 || true
fi

echo
echo "== Update registration tool's recorded command line"
found=$(find "$job/prefix/drive_c" -iname 'tvaureg*.txt' -o -iname 'tvaureg*.log' 2>/dev/null | head -n 1)
if [ -n "$found" ]; then cat "$found"; echo; else echo "(not run)"; fi
