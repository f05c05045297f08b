#!/usr/bin/env bash
# Sets up a fresh machine, builds the setup program with its default (demo)
# payload, runs it silently (/s) under Wine in a fresh prefix, with Wine's own
# msiexec doing the installs, and shows what happened: the exit code, the cache
# tree with sizes, the installed files, the registry values written and the
# command line the update service's registration tool was started with.
#
#   tools/run-main-job.sh [setup program arguments...]      (default: /s)
#
# Environment: WYK_BUILD_DIR (default build), WYK_DEMO_DISPLAY (default: a free one),
# WYK_MAIN_JOB_BUILT (set: skip set-up and build).
set -euo pipefail
# This Wine build has no preloader: with address randomization a Wine process
# now and then finds an address it needs taken and dies at start. Without it
# (inherited by every Wine process below) the layout is the same every time.
if [ -z "${WYK_FIXED_ADDRESSES:-}" ]; then
  export WYK_FIXED_ADDRESSES=1
  exec setarch "$(uname -m)" -R "$0" "$@"
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WYK_BUILD_DIR:-$here/build}"
display="${WYK_DEMO_DISPLAY:-}"
if [ -z "$display" ]; then
  n=150
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  display=":$n"
fi
args=("$@")
[ "${#args[@]}" -gt 0 ] || args=(/s)

# WYK_MAIN_JOB_BUILT=1: the build is there already (the test suite runs the job so).
if [ -z "${WYK_MAIN_JOB_BUILT:-}" ]; then
  "$here/tools/setup-deps.sh"
  cmake -S "$here" -B "$build" >/dev/null
  cmake --build "$build" -j"$(nproc)" >/dev/null
fi

# The shipped PE32, run by Wine's 32-bit loader in a 64-bit (WoW64) prefix.
# A machine that cannot execute 32-bit code runs the same sources and
# constants built as 64-bit code instead, and says so.
wine=/usr/lib/wine/wine
win="$build/win-i686"
software='SOFTWARE\Wow6432Node\Orvale'
programs="Program Files (x86)"
if ! "$wine" --version >/dev/null 2>&1; then
  echo "NOTE: this machine cannot start the 32-bit program $wine; running the 64-bit build"
  echo "      with the product's constants ($build/win-x64-i586) instead of the PE32."
  wine=/usr/lib/wine/wine64
  win="$build/win-x64-i586"
  software='SOFTWARE\Orvale'
  programs="Program Files"
fi
runner="$win/wine-tools/observer.exe"
exe="$win/wyk-7-windows-i586.exe"

demo="$build/demo-run"
prefix="$demo/prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="$display"
/usr/lib/wine/wineserver -k 2>/dev/null || true
rm -rf "$demo"
mkdir -p "$demo"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
sleep 1

echo "== Preparing a fresh Wine prefix"
"$wine" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
mkdir -p "$prefix/drive_c/demo"
# Windows 7 as the program's system: the cache goes below LocalLow.
"$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$exe")" /v Version /d win7 /f >/dev/null

winexe="Z:$(echo "$exe" | tr / '\\')"
printf '"%s" %s' "$winexe" "${args[*]}" > "$prefix/drive_c/demo/command.txt"
echo "== Running: $(cat "$prefix/drive_c/demo/command.txt")"
"$wine" "$runner" run 'C:\demo\result.txt' 4294967295 - 'C:\demo\command.txt'
/usr/lib/wine/wineserver -w

echo
echo "== Exit code: $(cat "$prefix/drive_c/demo/result.txt")"
echo
echo "== Cache tree (bytes, path below the user's application data folder)"
(cd "$prefix/drive_c/users"/*/AppData && find . -path '*Halvec*' -type f -printf '%12s  %P\n' | sort -k2)
echo
echo "== Installed files (bytes, path below C:\\)"
(cd "$prefix/drive_c" && find "$programs/Orvale" "$programs/Common Files/Tavro" -type f \
   -printf '%12s  %p\n' 2>/dev/null | sort -k2)
echo
echo "== Registry values under HKLM\\$software (the program's registry view)"
# The loader of the program's own bitness sees the registry as the program does.
"$wine" reg query 'HKLM\SOFTWARE\Orvale' /s 2>/dev/null | tr -d '\r' | sed '/^$/d' \
  || echo "(no values under the Orvale key)"
echo
echo "== Registration tool command line (tvaureg.log)"
cat "$prefix/drive_c/$programs/Common Files/Tavro/Tavro Update/tvaureg.log" 2>/dev/null \
  || echo "(the registration tool did not run)"
