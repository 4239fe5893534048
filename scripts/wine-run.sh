#!/usr/bin/env bash
# Runs a Windows program of this project under Wine with the project's prefix.
# With TW_DPI set to another resolution than 96 it runs in that resolution's
# copy of the prefix (scripts/dpi.sh), made on first use, and stops that
# prefix's server afterwards: its virtual desktop would otherwise stay on the
# display over the desktop of the tests that run next.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
if [ -z "${TW_DPI:-}" ] || [ "$TW_DPI" = 96 ]; then
  exec wine "$@"
fi
# shellcheck source=dpi.sh
. "$here/dpi.sh"
WINEPREFIX="$(tw_dpi_prefix "$TW_DPI")" || exit
export WINEPREFIX
tw_warm_prefix
status=0
wine "$@" || status=$?
wineserver -k 2>/dev/null || true
timeout 30 wineserver -w 2>/dev/null || true
exit "$status"
