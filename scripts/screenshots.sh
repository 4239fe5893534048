#!/usr/bin/env bash
# Takes the README's pictures: starts the calculator under Wine on a virtual X
# display of its own, saves the main window (docs/screenshot-main.png), opens
# the version window through the main window's menu command and saves it
# (docs/screenshot-about.png), then closes both windows.
#
# The prefix's registry sets a Wine virtual desktop, which draws Windows-style
# frames; the pictures are cropped to it. The prefix's wine server is
# restarted so that the desktop lives on this script's display.
#
# Environment: TW_BUILD_DIR (default build/win32), TW_SCREENSHOT_DISPLAY
# (default :99), WINEPREFIX (default the project's prefix).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="${TW_BUILD_DIR:-build/win32}"
exe="$build/app/tarnwick.exe"
helper="$build/screenshot-helper.exe"
display="${TW_SCREENSHOT_DISPLAY:-:99}"

# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"

[ -f "$build/build.ninja" ] || cmake --preset win32 -B "$build"
cmake --build "$build" --target tarnwick -j2
if [ ! -f "$helper" ] || [ "$root/scripts/screenshot-helper.c" -nt "$helper" ]; then
  i686-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -o "$helper" "$root/scripts/screenshot-helper.c" -luser32
fi

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
prog=
cleanup() {
  if [ -n "$prog" ]; then kill "$prog" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || { echo "screenshots: display $display did not start" >&2; exit 1; }
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# The Wine desktop's own X window when there is one, else the whole screen.
shoot() {
  local out=$1 desktop
  desktop="$(xwininfo -root -tree 2>/dev/null | awk '/Wine desktop/ {print $1; exit}')"
  if [ -n "$desktop" ]; then
    import -window "$desktop" "$out"
  else
    import -window root "$out"
  fi
}

mkdir -p docs
wine "$exe" &
prog=$!
wine "$helper" wait || { echo "screenshots: the main window did not appear" >&2; exit 1; }
sleep 1  # let the first paint finish
shoot docs/screenshot-main.png
echo "screenshots: saved docs/screenshot-main.png"

wine "$helper" about || { echo "screenshots: the version window did not appear" >&2; exit 1; }
sleep 1
shoot docs/screenshot-about.png
echo "screenshots: saved docs/screenshot-about.png"

wine "$helper" close || { echo "screenshots: the windows did not close" >&2; exit 1; }
status=0
wait "$prog" || status=$?
prog=
echo "screenshots: the program ended with $status"
