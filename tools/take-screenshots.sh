#!/usr/bin/env bash
# Takes pictures of the two message boxes a user can see, under Xvfb with
# Wine, from an existing build (tools/run-tests.sh or run-main-job.sh made it):
#   docs/fatal-error-box.png  a staged file cannot be created: the package's
#                             name in the cache folder is taken by a folder
#   docs/old-engine-box.png   the engine library msi.dll is older than 2.0.2600.0
#                             (the stand-in library the Wine tests use)
#
#   tools/take-screenshots.sh          Environment: WYK_BUILD_DIR (default build)
set -euo pipefail
if [ -z "${WYK_FIXED_ADDRESSES:-}" ]; then   # see tools/run-main-job.sh
  export WYK_FIXED_ADDRESSES=1
  exec setarch "$(uname -m)" -R "$0" "$@"
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${WYK_BUILD_DIR:-$here/build}"
win="$build/win-x64-i586"
exe="$win/wyk-7-windows-i586.exe"
old_engine="$win/engine-libraries/msi-2.0.2599.65535.dll"
for f in "$exe" "$old_engine"; do
  [ -f "$f" ] || { echo "take-screenshots: $f is missing: build first (tools/run-tests.sh)" >&2; exit 1; }
done

n=170   # the first free display from there on
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
work="$build/screenshots"
prefix="$work/prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=":$n"
rm -rf "$work"
mkdir -p "$work" "$here/docs"
Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
sleep 1
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# No window manager runs here: Wine draws the boxes' frames and captions itself.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
# Wine draws the caption's buttons with its own font Marlett (and the text with
# its Tahoma). This Wine build looks for its own fonts under the name
# "<data folder>\../fonts", which its own path lookup cannot resolve, so no
# process finds them, 32- or 64-bit alike, and the close button comes out as
# Marlett's letter "r" in a stand-in font. Named directly, the folder is found.
wine_fonts=/usr/share/wine/fonts
[ -f "$wine_fonts/marlett.ttf" ] || { echo "take-screenshots: $wine_fonts/marlett.ttf is missing: run tools/setup-deps.sh" >&2; exit 1; }
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts' /v Path /d "Z:${wine_fonts//\//\\}" /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w

# Starts the program, waits for its box to appear, grabs the screen cut to the
# box (the root window is black around it) and ends the program.
shoot() {
  local out="$1"; shift
  "$@" >/dev/null 2>&1 &
  local pid=$! shown=""
  for _ in $(seq 1 60); do
    sleep 0.5
    # A managed top-level window of the program: the box (it has no other window).
    if xwininfo -root -children | grep -q '("wyk-7-windows-i586.exe"'; then
      shown=1; sleep 1; break
    fi
  done
  [ -n "$shown" ] || { echo "take-screenshots: no box appeared for $out" >&2; exit 1; }
  /usr/bin/import -window root "$work/screen.png"
  /usr/bin/convert "$work/screen.png" -trim +repage -strip "$out"  # -strip: no dates in the file
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "take-screenshots: wrote $out"
}

# (a) The package's path in the cache folder is a folder: creating the file fails (5).
cache="$(echo "$prefix"/drive_c/users/*/AppData/LocalLow)/Halvec/Tavro/wyk1.7.0"
mkdir -p "$cache/wyk1.7.0.msi"
shoot "$here/docs/fatal-error-box.png" /usr/lib/wine/wine64 "$exe" /s
rm -rf "$cache"

# (b) An engine library that reports version 2.0.2599.65535, used in place of Wine's own.
system32="$prefix/drive_c/windows/system32"
mv "$system32/msi.dll" "$system32/msi.dll.saved"
cp "$old_engine" "$system32/msi.dll"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;msi=n" \
  shoot "$here/docs/old-engine-box.png" /usr/lib/wine/wine64 "$exe" /s
