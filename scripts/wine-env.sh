# Sourced: the environment every Wine run of this project shares.
: "${WINEPREFIX:=${HOME:-/root}/.wine-tarnwick}"
export WINEPREFIX
export WINEARCH=win32
export WINEDEBUG=-all
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
