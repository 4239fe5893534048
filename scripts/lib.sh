# Sourced by the project's scripts: the steps several of them share.

# Configures the build directory when it has not been, then builds the target;
# the build tool decides whether anything is out of date.
tw_build() {
  local build=$1 target=$2
  [ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || cmake --preset win32 -B "$build"
  cmake --build "$build" --target "$target" -j2
}

# Starts an X server of our own on the first display number from the given one
# (90 without one) that nobody holds, exports DISPLAY and waits until it
# answers; its process id is left in TW_XVFB_PID. The caller stops it.
tw_start_virtual_display() {
  local n=${1:-90}
  n=${n#:}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  TW_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "display $DISPLAY did not start" >&2
  return 1
}

# Builds the program that finds and drives the calculator's windows from inside
# Wine (scripts/screenshot-helper.c) into the build directory when it is
# missing or older than its source; prints its path.
tw_screenshot_helper() {
  local build=$1 helper="$1/screenshot-helper.exe" src
  src="$(dirname "${BASH_SOURCE[0]}")/screenshot-helper.c"
  if [ ! -f "$helper" ] || [ "$src" -nt "$helper" ]; then
    i686-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -o "$helper" "$src" -luser32 >&2 || return
  fi
  echo "$helper"
}
