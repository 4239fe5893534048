#!/usr/bin/env bash
# Starts the calculator under Wine: sets the machine up and builds the program
# when that has not been done yet. With no display it runs on a virtual one,
# saves a picture of the main window beside the build's output
# (build/win32/screenshot-run.png) and closes the program again; the
# checkout's files are left as they are (the README's pictures are
# scripts/screenshots.sh's). It runs at the display's resolution, or at
# TW_DPI's (scripts/dpi.sh; the picture is then screenshot-run-<N>dpi.png), and
# under the user's locale, its windows in the user's interface language.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="${TW_BUILD_DIR:-build/win32}"
exe="$build/app/tarnwick.exe"

# The user's own locale variables, before the shared environment sets its own.
user_lang="${LANG:-}" user_lc_all="${LC_ALL:-}" user_lc_messages="${LC_MESSAGES:-}"
# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=lib.sh
. "$root/scripts/lib.sh"

# Idempotent and quick once done; it also brings an older prefix up to date.
"$root/scripts/setup.sh"
tw_build "$build" tarnwick

# The program runs under the user's own locale variables, not the Japanese
# ones the set-up and the tests use (TW_LANG overrides LANG, TW_UI_LANG the
# interface language, LC_MESSAGES): it asks for the Japanese code page itself,
# through its manifest, as it does on a Windows of any language, and shows its
# windows in the interface language Wine reports (LC_MESSAGES, else LANG).
if [ -n "${TW_LANG:-}" ]; then
  export LANG="$TW_LANG"
  unset user_lc_all
else
  export LANG="${user_lang:-C.UTF-8}"
fi
[ -n "${user_lc_all:-}" ] && export LC_ALL="$user_lc_all"
messages="${TW_UI_LANG:-${user_lc_messages:-}}"
[ -n "$messages" ] && export LC_MESSAGES="$messages"

# shellcheck source=dpi.sh
. "$root/scripts/dpi.sh"
if [ -n "${DISPLAY:-}" ]; then
  tw_use_screen_dpi
  exec wine "$exe"
fi

# Headless: a virtual display of our own, a picture, then a clean end.
helper="$(tw_screenshot_helper "$build")"
tw_start_virtual_display
xvfb=$TW_XVFB_PID
cleanup() {
  [ -n "${prog:-}" ] && kill "$prog" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
tw_use_screen_dpi
wine "$exe" &
prog=$!
wine "$helper" wait || {
  echo "run: the main window did not appear" >&2
  exit 1
}
sleep 1 # let the first paint finish
shot="$build/screenshot-run.png"
[ "$TW_RUN_DPI" = 96 ] || shot="$build/screenshot-run-${TW_RUN_DPI}dpi.png"
# The window's frame in the platform's screen coordinates, which start at the
# Wine desktop's corner when the prefix draws one (scripts/setup.sh sets it),
# else at the display's.
frame="$(wine "$helper" rect | tr -d '\r')" || {
  echo "run: the main window's place could not be read" >&2
  exit 1
}
screen="$(xwininfo -root -tree 2>/dev/null | awk '/Wine desktop/ {print $1; exit}')"
import -window "${screen:-root}" -crop "$frame" +repage "$shot"
echo "run: saved a picture of the main window to $shot"
