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
# (the first display number tried, 99), WINEPREFIX (default the project's prefix).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="${TW_BUILD_DIR:-build/win32}"
exe="$build/app/tarnwick.exe"
helper="$build/screenshot-helper.exe"

# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=lib.sh
. "$root/scripts/lib.sh"

tw_build "$build" tarnwick
if [ ! -f "$helper" ] || [ "$root/scripts/screenshot-helper.c" -nt "$helper" ]; then
  i686-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -o "$helper" "$root/scripts/screenshot-helper.c" -luser32
fi

tw_start_virtual_display "${TW_SCREENSHOT_DISPLAY:-99}"
xvfb=$TW_XVFB_PID
prog=
cleanup() {
  if [ -n "$prog" ]; then kill "$prog" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
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
