#!/usr/bin/env bash
# Takes the README's pictures: starts the calculator under Wine on a virtual X
# display of its own, saves the main window (docs/screenshot-main.png), opens
# the version window through the main window's menu command and saves it
# (docs/screenshot-about.png), then closes both windows. The same again at
# 144 dpi, in the prefix for that resolution (scripts/dpi.sh), gives
# docs/screenshot-main-144dpi.png and docs/screenshot-about-144dpi.png. Then
# all of it with the English windows (an English interface language):
# docs/screenshot-main-en.png, docs/screenshot-about-en-144dpi.png and so on.
#
# The prefix's registry sets a Wine virtual desktop, which draws Windows-style
# frames; the pictures are cropped to it. The prefix's wine server is
# restarted so that the desktop lives on this script's display.
#
# Environment: TW_BUILD_DIR (default build/win32), TW_SCREENSHOT_DISPLAY
# (the first display number tried, 99), WINEPREFIX (default the project's prefix),
# TW_SCREENSHOT_DPIS (the resolutions, "96 144").
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
# shellcheck source=dpi.sh
. "$root/scripts/dpi.sh"

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

# The pictures at one resolution; the file names carry it unless it is 96.
pictures() {
  local dpi=$1 language=$2 suffix=
  [ "$language" = ja ] || suffix="-$language"
  [ "$dpi" = 96 ] || suffix="$suffix-${dpi}dpi"
  # The windows' language follows the interface language: a Japanese system,
  # or an English one.
  if [ "$language" = ja ]; then export LANG=ja_JP.UTF-8; else export LANG=C.UTF-8; fi
  WINEPREFIX="$(tw_dpi_prefix "$dpi")"
  export WINEPREFIX
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true

  wine "$exe" &
  prog=$!
  wine "$helper" wait || { echo "screenshots: the main window did not appear" >&2; exit 1; }
  sleep 1  # let the first paint finish
  shoot "docs/screenshot-main$suffix.png"
  echo "screenshots: saved docs/screenshot-main$suffix.png"

  wine "$helper" about || { echo "screenshots: the version window did not appear" >&2; exit 1; }
  sleep 1
  shoot "docs/screenshot-about$suffix.png"
  echo "screenshots: saved docs/screenshot-about$suffix.png"

  wine "$helper" close || { echo "screenshots: the windows did not close" >&2; exit 1; }
  local status=0
  wait "$prog" || status=$?
  prog=
  echo "screenshots: the program ended with $status at $dpi dpi ($language)"
  wineserver -k 2>/dev/null || true
}

mkdir -p docs
base_prefix=$WINEPREFIX
for language in ja en; do
  for dpi in ${TW_SCREENSHOT_DPIS:-96 144}; do
    WINEPREFIX=$base_prefix
    pictures "$dpi" "$language"
  done
done
