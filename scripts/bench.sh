#!/usr/bin/env bash
# Measures tarnwick.exe against a bare Win32 program with the same window:
# start-up to an idle, visible main window (interleaved runs, medians and their
# ratio), the working set at idle and the size of the executable, whose debugging
# information lies apart.
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
# shellcheck source=lib.sh
. "$root/scripts/lib.sh"

"$root/scripts/setup.sh"
# startup_bench depends on the bare program and on tarnwick.exe, whose
# debugging information the build keeps in a file beside it.
tw_build "$build" startup_bench

if [ -z "${DISPLAY:-}" ]; then
  tw_start_virtual_display 100
  xvfb=$TW_XVFB_PID
  cleanup() {
    # The programs measured have ended; let this prefix's server finish before
    # its display goes.
    timeout 20 wineserver -w 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
  }
  trap cleanup EXIT
fi

echo "bench: $runs runs each on $(nproc) cores, $(wine --version), load average $(cut -d' ' -f1-3 /proc/loadavg)"
wine "$build/bench/win32/startup_bench.exe" --runs "$runs" \
  "$(winepath -w "$build/app/tarnwick.exe")" \
  "$(winepath -w "$build/bench/win32/bare_window.exe")"
