#!/usr/bin/env bash
# Files dropped on the running calculator as a file manager drops them: an X
# drag and drop onto the program's own X window, which Wine hands to the window
# as the drop-files message. drop_check (under Wine) starts the program, says
# where its fields are and reads what they and a message box show.
# Usage: drop_test.sh WINE_RUN DROP_CHECK XDND_DROP
set -uo pipefail
wine_run=$1 check=$2 xdnd=$3
data="$(cd "$(dirname "${BASH_SOURCE[0]}")/../media/data" && pwd)"
python=/usr/bin/python3
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cp "$data/avi-2h15m45s.avi" "$tmp/source.avi"              # 136 minutes
cp "$data/wmv-2h01m15s.wmv" "$tmp/first encode.wmv"        # 122 minutes, 1 MB
cp "$data/mkv-2h00m00s.mkv" "$tmp/Zoë Ångström.mkv"        # 120 minutes
printf 'not a video\n' >"$tmp/Zoë notes.txt"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

failures=0
checks=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

coproc CHECK { "$wine_run" "$check" 2>/dev/null; }
# Bash forgets a coprocess's variables once it has ended: keep its number.
check_pid=$CHECK_PID
ask() {
  reply=""
  echo "$1" >&"${CHECK[1]}"
  IFS= read -r -t 60 reply <&"${CHECK[0]}" || reply="error no answer to $1"
  reply=${reply%$'\r'}
}
expect() {
  checks=$((checks + 1))
  [ "$reply" = "$2" ] || fail "$1: [$reply], expected [$2]"
}
drop_on() {
  local where=$1
  shift
  ask "$where"
  # shellcheck disable=SC2086
  "$python" "$xdnd" $reply "$@"
}

IFS= read -r -t 120 reply <&"${CHECK[0]}" || reply="error the program did not start"
reply=${reply%$'\r'}
expect "start" "ready"
if [ "$reply" = ready ]; then
  drop_on "point Time" "$tmp/source.avi" || fail "the drop on Time was not taken"
  ask fields
  expect "the source on Time" "136 700"

  drop_on "point NowSize" "$tmp/first encode.wmv" || fail "the drop on NowSize was not taken"
  ask fields
  expect "the first encode on NowSize" "122 1"

  drop_on "client 2 2" "$tmp/Zoë Ångström.mkv" "$tmp/source.avi" || fail "the drop outside the panels was not taken"
  ask fields
  expect "a name outside code page 932, outside the panels" "120 1"

  drop_on "point NowVideo" "$tmp/Zoë notes.txt" || fail "the drop of a text was not taken"
  ask box
  expect "the report of a text" "Tarnwick for MPEG4"$'\t'"ファイル「$(windows_path "$tmp/Zoë notes.txt")」の形式には対応していません。."
  # The box is up, so the main window is disabled: this drop changes nothing.
  drop_on "point Time" "$tmp/source.avi"
  ask nobox
  expect "still one box" "Tarnwick for MPEG4"$'\t'"ファイル「$(windows_path "$tmp/Zoë notes.txt")」の形式には対応していません。."
  ask closebox
  expect "closing the box" "closed"
  ask fields
  expect "nothing changed by the text or by the drop while the box was up" "120 1"
  ask nobox
  expect "no second box" "none"
fi
ask quit
expect "the program's end" "exit 0"
wait "$check_pid" 2>/dev/null

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
