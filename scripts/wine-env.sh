# Sourced: the environment every Wine run of this project shares.
: "${WINEPREFIX:=${HOME:-/root}/.wine-tarnwick}"
export WINEPREFIX
export WINEARCH=win32
export WINEDEBUG=-all
# Wine takes the system's code page from the locale: ja_JP.UTF-8 gives 932, as
# on a Japanese Windows, and the tests run so unless TW_LANG names another
# (C.UTF-8: code page 1252, as on an English Windows). The programs carry a
# manifest that asks for 932 either way.
# The user's interface language, which decides the language of the windows,
# follows LC_MESSAGES, else LANG: TW_UI_LANG sets it apart from the system's
# (TW_LANG=C.UTF-8 TW_UI_LANG=ja_JP.UTF-8 is a Japanese reader on an English
# system). LC_ALL would override both, so it is left unset.
export LANG="${TW_LANG:-ja_JP.UTF-8}"
unset LC_ALL
if [ -n "${TW_UI_LANG:-}" ]; then export LC_MESSAGES="$TW_UI_LANG"; else unset LC_MESSAGES; fi
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
