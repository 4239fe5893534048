# Sourced: the environment every Wine run of this project shares.
: "${WINEPREFIX:=${HOME:-/root}/.wine-tarnwick}"
export WINEPREFIX
export WINEARCH=win32
export WINEDEBUG=-all
# Wine takes the system's code page from the locale: ja_JP.UTF-8 gives 932, as
# on a Japanese Windows, and the tests run so unless TW_LANG names another
# (C.UTF-8: code page 1252, as on an English Windows). The programs carry a
# manifest that asks for 932 either way.
export LANG="${TW_LANG:-ja_JP.UTF-8}" LC_ALL="${TW_LANG:-ja_JP.UTF-8}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
