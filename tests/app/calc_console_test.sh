#!/usr/bin/env bash
# tarnwick-calc in a real console under Wine: its Japanese messages must show
# on the console's screen at the console code page of an English system (437)
# and of a Japanese one (932), under an English locale (and 437 under the
# Japanese one), arguments outside ASCII included. The screen is read back by
# console_screen. Usage: calc_console_test.sh WINE_RUN CONSOLE_SCREEN CALC
set -uo pipefail
wine_run=$1 screen=$2 calc=$3
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
checks=0
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
calc_windows="$(windows_path "$calc")"

# shown LOCALE CODEPAGE ARGS...: the screen after one run, in $work/shown.txt.
shown() {
  local locale=$1 codepage=$2
  shift 2
  rm -f "$work/shown.txt"
  TW_LANG=$locale TW_UI_LANG=ja_JP.UTF-8 "$wine_run" "$screen" "$codepage" "$(windows_path "$work/shown.txt")" "$calc_windows" "$@" \
    >/dev/null 2>&1
  cat "$work/shown.txt" 2>/dev/null
}

# expect DESCRIPTION TEXT...: each text must be on the screen.
expect() {
  local what=$1 screen_text
  shift
  screen_text="$(cat "$work/last.txt")"
  for want in "$@"; do
    checks=$((checks + 1))
    if ! grep -qF -- "$want" <<<"$screen_text"; then
      echo "FAIL: $what: [$want] not on the screen:"
      sed 's/^/  | /' <<<"$screen_text"
      failures=$((failures + 1))
    fi
  done
}

for run in "C.UTF-8 437" "C.UTF-8 932" "ja_JP.UTF-8 437"; do
  read -r locale codepage <<<"$run"
  shown "$locale" "$codepage" calc --minutes 0 --size 0 --audio 128 >"$work/last.txt"
  expect "invalid operation, $locale at $codepage" "不正な浮動小数点数演算命令" "exit 1 codepage $codepage"
  shown "$locale" "$codepage" calc --minutes "１２０" --size 700 --audio 128 >"$work/last.txt"
  expect "rejected value, $locale at $codepage" "ERR" "--minutes: '１２０' は整数ではありません" \
    "exit 1 codepage $codepage"
done

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
