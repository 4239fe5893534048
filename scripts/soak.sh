#!/usr/bin/env bash
# The long soak: random user actions against tarnwick.exe under Wine, on a
# virtual display of its own. The ordinary test run does a short one.
#   scripts/soak.sh [actions]    (default 10000; TW_SOAK_SEED repeats a run)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="${TW_BUILD_DIR:-build/win32}"
export TW_SOAK_ACTIONS="${1:-10000}"

# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
# shellcheck source=lib.sh
. "$root/scripts/lib.sh"
tw_build "$build" e2e_tests

tw_start_virtual_display "${TW_DISPLAY:-92}"
xvfb=$TW_XVFB_PID
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" >/dev/null 2>&1 || true
}
trap cleanup EXIT
wineserver -p 2>/dev/null || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
wine "$build/tests/e2e/e2e_tests.exe" --gtest_filter='Soak.*'
