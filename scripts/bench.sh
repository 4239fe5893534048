#!/usr/bin/env bash
# Measures tarnwick.exe against a bare Win32 program with the same window:
# start-up to an idle, visible main window (interleaved runs, medians and their
# ratio), the working set at idle and the size of the stripped executable.
# Runs under Wine on the current display, or on a virtual one of its own when
# there is none. TW_BENCH_RUNS sets the number of runs of each program (20).
# The figures vary with the machine's load: nothing here passes or fails.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="${TW_BUILD_DIR:-build/win32}"
runs="${TW_BENCH_RUNS:-20}"

# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"

if ! command -v wine >/dev/null 2>&1 || ! command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 ||
  [ ! -d "$WINEPREFIX" ]; then
  "$root/scripts/setup.sh"
fi
[ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || cmake --preset win32 -B "$build"
# startup_bench depends on the bare program and on the stripped copy of tarnwick.exe.
cmake --build "$build" --target startup_bench -j2

if [ -z "${DISPLAY:-}" ]; then
  # The first display number nobody holds.
  n=100
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  display=:$n
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=$display
  cleanup() {
    # The programs measured have ended; let this prefix's server finish before
    # its display goes.
    timeout 20 wineserver -w 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
  }
  trap cleanup EXIT
  for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

echo "bench: $runs runs each on $(nproc) cores, $(wine --version), load average $(cut -d' ' -f1-3 /proc/loadavg)"
wine "$build/bench/win32/startup_bench.exe" --runs "$runs" \
  "$(winepath -w "$build/bench/win32/tarnwick-stripped.exe")" \
  "$(winepath -w "$build/bench/win32/bare_window.exe")"
