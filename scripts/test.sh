#!/usr/bin/env bash
# From a fresh machine: installs what the project needs, builds the four presets
# and runs every test (the Windows build under Wine on a virtual display, the
# browser build under node and its page in headless Chromium), plus a short run
# of each fuzz target.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

bash scripts/setup.sh

jobs="${TW_JOBS:-2}"
for preset in native native-asan win32 wasm; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# shellcheck source=wine-env.sh
. scripts/wine-env.sh
# shellcheck source=dpi.sh
. scripts/dpi.sh
display=":${TW_DISPLAY:-91}"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  # The prefixes of the other resolutions, should a test have left one running.
  for dpi in "${TW_TEST_DPIS[@]}"; do
    WINEPREFIX="$WINEPREFIX-dpi$dpi" wineserver -k >/dev/null 2>&1 || true
  done
  kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT
# A persistent server makes each Windows test process start quickly.
wineserver -p 2>/dev/null || true  # already running is fine
# The first program of a session starts Wine's background services; they would
# inherit and hold the test runner's output pipes, so start them here, detached.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

fuzz_seconds="${TW_FUZZ_SECONDS:-20}"
mkdir -p fuzz/artifacts
for target in build/native-asan/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="fuzz/corpus/${name#fuzz_}"
  work="$(mktemp -d)"
  echo "== fuzzing $name for ${fuzz_seconds}s"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 -artifact_prefix=fuzz/artifacts/ \
    "$work" "$corpus" 2>&1 | tail -n 3
  rm -rf "$work"
done

failed=0
for preset in native native-asan win32 wasm; do
  echo "== tests: $preset"
  ctest --preset "$preset" -j "$jobs" || failed=1
done
exit "$failed"
