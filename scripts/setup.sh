#!/usr/bin/env bash
# Installs everything the builds and tests need from Debian's packages and
# prepares the Wine prefix. Idempotent: each step is skipped when already done.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

packages=(
  cmake ninja-build g++ clang llvm libclang-rt-14-dev clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick xdotool python3-xlib
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-horai-umefont locales
  libcli11-dev zip unzip
  emscripten node-acorn chromium
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ] || [ "${need_update:-0}" = 1 ]; then
  $SUDO apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The page's browser tests drive the system's Chromium from node, through the
# library pinned in the tests' lockfile (it downloads no browser). A machine
# whose node came without npm gets Debian's.
if ! command -v npm >/dev/null 2>&1; then
  $SUDO apt-get install -y -q --no-install-recommends npm
fi
here_web="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/web"
if ! cmp -s "$here_web/package-lock.json" "$here_web/node_modules/.installed-lock" 2>/dev/null; then
  echo "setup: installing the page tests' node modules"
  (cd "$here_web" && npm ci --no-audit --no-fund --loglevel=error &&
    cp package-lock.json node_modules/.installed-lock)
fi

# Wine's ANSI code page follows the locale: ja_JP.UTF-8 gives code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen
fi

# The MinGW compilers must use the posix thread model (std::mutex, thread_local).
for tool in i686-w64-mingw32-g++ i686-w64-mingw32-gcc; do
  if [ -x "/usr/bin/$tool-posix" ] && [ "$(readlink -f "/usr/bin/$tool")" != "$(readlink -f "/usr/bin/$tool-posix")" ]; then
    $SUDO update-alternatives --set "$tool" "/usr/bin/$tool-posix" >/dev/null
  fi
done

# Wine prefix: a 32-bit prefix under the project's own directory unless told otherwise.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=wine-env.sh
. "$here/scripts/wine-env.sh"
# Waits until the prefix's server has written everything and ended; a server
# kept alive on purpose (wineserver -p, as the test script starts one) never
# ends, so the wait is bounded.
wait_for_wineserver() {
  timeout 60 wineserver -w || true
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 || true
  wait_for_wineserver
fi
if [ ! -f "$WINEPREFIX/.tarnwick-desktop" ]; then
  # A virtual desktop draws Windows-style frames and keeps exit codes.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
  # No crash dialog: a crashing test must fail, not wait for a click.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wait_for_wineserver
  touch "$WINEPREFIX/.tarnwick-desktop"
fi
if [ ! -f "$WINEPREFIX/.tarnwick-fonts" ]; then
  # Wine's own fonts (Marlett draws the caption buttons) where this Wine looks
  # for them.
  fonts_dir="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts_dir"
  dpkg -L fonts-wine | grep -i '\.ttf$' | while read -r font; do cp -f "$font" "$fonts_dir/"; done
  # The windows were laid out with the Japanese system faces, where "0" is 12
  # pixels high at height -12; the Ume faces have the same metrics, Wine's
  # fallback does not. A replacement covers only its exact name, so the English
  # names are mapped too. The Japanese value names go through a UTF-16 .reg file:
  # a command line would pass them through the ANSI code page.
  reg_file="$(mktemp --suffix=.reg)"
  {
    printf '\xff\xfe'
    printf '%s\r\n' \
      'Windows Registry Editor Version 5.00' \
      '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"ＭＳ Ｐゴシック"="Ume P Gothic"' \
      '"ＭＳ ゴシック"="Ume Gothic"' \
      '"MS PGothic"="Ume P Gothic"' \
      '"MS Gothic"="Ume Gothic"' \
      '"MS UI Gothic"="Ume UI Gothic"' \
      '' | iconv -f UTF-8 -t UTF-16LE
  } >"$reg_file"
  wine regedit /S "$(winepath -w "$reg_file")" >/dev/null 2>&1
  rm -f "$reg_file"
  wait_for_wineserver
  touch "$WINEPREFIX/.tarnwick-fonts"
fi
if [ ! -f "$WINEPREFIX/.tarnwick-txt" ]; then
  # The calculator's Help opens readme.txt through the shell; a new prefix
  # knows how to open a text document but does not tie the extension to it.
  wine reg add 'HKCR\.txt' /ve /t REG_SZ /d txtfile /f >/dev/null 2>&1
  wine reg add 'HKCR\txtfile\shell\open\command' /ve /t REG_SZ /d 'notepad.exe "%1"' /f >/dev/null 2>&1
  wait_for_wineserver
  touch "$WINEPREFIX/.tarnwick-txt"
fi
# The window tests also run at other screen resolutions, each in a copy of the
# prefix with its LogPixels set (remade when the prefix above gains a step).
# shellcheck source=dpi.sh
. "$here/scripts/dpi.sh"
for dpi in "${TW_TEST_DPIS[@]}"; do
  tw_dpi_prefix "$dpi" >/dev/null
done
echo "setup: ready"
