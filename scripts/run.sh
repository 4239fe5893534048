#!/usr/bin/env bash
# Starts the calculator under Wine: sets the machine up and builds the program
# when that has not been done yet. With no display it runs on a virtual one,
# saves a screenshot of the main window to docs/screenshot-main.png and closes
# the program again. It runs at the display's resolution, or at TW_DPI's
# (scripts/dpi.sh; the picture is then docs/screenshot-main-<N>dpi.png), and
# under the user's locale.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="${TW_BUILD_DIR:-build/win32}"
exe="$build/app/tarnwick.exe"

# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=lib.sh
. "$root/scripts/lib.sh"

# Idempotent and quick once done; it also brings an older prefix up to date.
"$root/scripts/setup.sh"
tw_build "$build" tarnwick

# The program runs under the user's own locale (TW_LANG overrides it), not the
# Japanese one the set-up and the tests use: it asks for the Japanese code page
# itself, through its manifest, as it does on a Windows of any language.
user_locale="${TW_LANG:-${LC_ALL:-${LANG:-C.UTF-8}}}"
export LANG="$user_locale" LC_ALL="$user_locale"

# shellcheck source=dpi.sh
. "$root/scripts/dpi.sh"
if [ -n "${DISPLAY:-}" ]; then
  tw_use_screen_dpi
  exec wine "$exe"
fi

# Headless: a virtual display of our own, a picture, then a clean end.
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
sleep 3
mkdir -p docs
shot=docs/screenshot-main.png
[ "$TW_RUN_DPI" = 96 ] || shot="docs/screenshot-main-${TW_RUN_DPI}dpi.png"
import -window root "$shot"
echo "run: saved $shot"
