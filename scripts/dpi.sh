# shellcheck shell=bash
# Sourced after wine-env.sh: screen resolutions for Wine.
#
# Wine takes the screen's resolution from the prefix (LogPixels under
# HKCU\Control Panel\Desktop), so each resolution other than 96 gets a prefix
# of its own: a copy of the project's prefix with that value set. Copying takes
# seconds where a new prefix's first start takes a minute, and the project's
# prefix itself always stays at 96, which the ordinary tests expect.

# The resolutions the window tests also run at (ctest and scripts/test.sh).
# shellcheck disable=SC2034 # used by the scripts that source this one
TW_TEST_DPIS=(120 144 192)

# Fails with a clear message unless the value is a resolution Wine can use.
tw_check_dpi() {
  local dpi=$1
  if ! [[ $dpi =~ ^[0-9]{2,3}$ ]] || [ "$dpi" -lt 72 ] || [ "$dpi" -gt 480 ]; then
    echo "dpi: '$dpi' is not a resolution from 72 to 480 dots per inch" >&2
    return 2
  fi
}

# Prints the prefix for the resolution: the project's own prefix at 96,
# otherwise "<prefix>-dpi<N>", made from the project's prefix when it is
# missing or lacks a set-up step that the project's prefix has had since.
tw_dpi_prefix() {
  local dpi=$1 base=${2:-$WINEPREFIX}
  tw_check_dpi "$dpi" || return
  if [ "$dpi" = 96 ]; then
    echo "$base"
    return
  fi
  local copy="$base-dpi$dpi"
  if [ ! -f "$base/system.reg" ]; then
    echo "dpi: the Wine prefix $base is not set up (scripts/setup.sh does that)" >&2
    return 1
  fi
  (
    # Test processes may ask for the same prefix at once.
    flock 9
    local stale=0 marker
    [ -f "$copy/.tarnwick-dpi" ] || stale=1
    for marker in "$base"/.tarnwick-*; do
      [ -e "$copy/${marker##*/}" ] || stale=1
    done
    if [ "$stale" = 1 ]; then
      echo "dpi: making the Wine prefix $copy" >&2
      rm -rf "$copy.new"
      cp -a "$base" "$copy.new" || exit
      WINEPREFIX="$copy.new" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        </dev/null >/dev/null 2>&1 || exit
      # The registry reaches the disk when the prefix's server ends.
      WINEPREFIX="$copy.new" timeout 60 wineserver -w 2>/dev/null || true
      echo "$dpi" >"$copy.new/.tarnwick-dpi"
      rm -rf "$copy"
      mv "$copy.new" "$copy"
    fi
  ) 9>"$base-dpi.lock" || return
  echo "$copy"
}

# Starts a lasting server for the current prefix (it ends a minute after its
# last program) and Wine's background services, detached from the caller's
# output: a test runner would otherwise wait for the services to close it.
tw_warm_prefix() {
  wineserver -p60 2>/dev/null || true # already running is fine
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# Prints the resolution of the X display: Xft.dpi from the resource database,
# else the one the screen's physical size gives, else 96; rounded to the
# nearest step of 24 (a quarter of 96, the steps desktops scale by), at least 96.
tw_desktop_dpi() {
  local dpi
  dpi="$(xprop -root RESOURCE_MANAGER 2>/dev/null | grep -o 'Xft\.dpi:\\t[0-9.]*' | grep -o '[0-9.]*$' || true)"
  if [ -z "$dpi" ]; then
    dpi="$(xdpyinfo 2>/dev/null | awk '/resolution:/ {split($2, r, "x"); print r[2]; exit}' || true)"
  fi
  tw_round_dpi "${dpi:-96}"
}

# The rounding of tw_desktop_dpi; anything that is not a sensible number gives 96.
tw_round_dpi() {
  local value=${1%%.*}
  if ! [[ $value =~ ^[0-9]+$ ]] || [ "$value" -lt 24 ] || [ "$value" -gt 960 ]; then
    echo 96
    return
  fi
  local rounded=$(((value + 12) / 24 * 24))
  [ "$rounded" -lt 96 ] && rounded=96
  [ "$rounded" -gt 480 ] && rounded=480
  echo "$rounded"
}

# Picks the resolution to run the program at: TW_DPI when set, else the X
# display's; points WINEPREFIX at the prefix for it (whose LogPixels is that
# resolution) and leaves the resolution in TW_RUN_DPI.
tw_use_screen_dpi() {
  TW_RUN_DPI=${TW_DPI:-$(tw_desktop_dpi)}
  WINEPREFIX="$(tw_dpi_prefix "$TW_RUN_DPI")" || return
  export WINEPREFIX TW_RUN_DPI
  echo "run: $TW_RUN_DPI dots per inch, Wine prefix $WINEPREFIX"
}
