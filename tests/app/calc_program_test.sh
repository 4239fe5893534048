#!/usr/bin/env bash
# Runs tarnwick-calc as a pipeline would: standard output must be exactly the
# result field's text and one line end, the exit status as documented, and the
# invalid operation's message must reach standard error in the console's
# encoding and in the interface language (ja or en).
# Usage: calc_program_test.sh ENCODING LANGUAGE COMMAND...
set -uo pipefail
encoding=$1 language=$2
shift 2
if [ "$language" = ja ]; then
  invalid_operation='不正な浮動小数点数演算命令'
  unsupported_format='ファイル「%s」の形式には対応していません。'
else
  invalid_operation='Invalid floating point operation'
  unsupported_format='The format of the file "%s" is not supported.'
fi
failures=0
checks=0

# check STATUS STDOUT ARGS...: runs the program and compares.
check() {
  local want_status=$1 want_out=$2
  shift 2
  local out status
  out="$("$@" 2>/dev/null | od -An -c | tr -s ' '; exit "${PIPESTATUS[0]}")"
  status=$?
  local want
  want="$(printf '%s' "$want_out" | od -An -c | tr -s ' ')"
  checks=$((checks + 1))
  if [ "$out" != "$want" ] || [ "$status" != "$want_status" ]; then
    echo "FAIL: $* -> [$out] status $status, expected [$want] status $want_status"
    failures=$((failures + 1))
  fi
}

prog=("$@")
nl=$'\n'
check 0 "668$nl" "${prog[@]}" calc --minutes 120 --size 700 --audio 128
check 0 "675$nl" "${prog[@]}" recalc --minutes 120 --size 700 --audio 96 --now-video 700 --now-size 750 --now-audio 128
check 0 "-126$nl" "${prog[@]}" calc --minutes 120 --size 1 --audio 128
check 1 "ERR$nl" "${prog[@]}" calc --minutes "120 " --size 700 --audio 128
check 1 "ERR$nl" "${prog[@]}" calc --minutes 120 --size "" --audio 128
check 1 "---$nl" "${prog[@]}" calc --minutes 0 --size 700 --audio 128
check 1 "" "${prog[@]}" calc --minutes 0 --size 0 --audio 128
check 2 "" "${prog[@]}" calc --minutes 120 --size 700
check 2 "" "${prog[@]}" calc --minutes 120 --size 700 --audio 128 --rate 1

# The invalid operation's message on standard error, in the expected encoding.
want_err="$(printf '%s\n' "$invalid_operation" | iconv -f UTF-8 -t "$encoding" | od -An -tx1)"
got_err="$("${prog[@]}" calc --minutes 0 --size 0 --audio 128 2>&1 >/dev/null | od -An -tx1)"
checks=$((checks + 1))
if [ "$got_err" != "$want_err" ]; then
  echo "FAIL: invalid operation message: $got_err, expected $want_err ($encoding)"
  failures=$((failures + 1))
fi

# The result handed on through a pipeline, as an encoder's option.
rate="$("${prog[@]}" calc --minutes 90 --size 700 --audio 128)"
checks=$((checks + 1))
if [ "-b:v ${rate}k" != "-b:v 933k" ]; then
  echo "FAIL: pipeline gave [-b:v ${rate}k]"
  failures=$((failures + 1))
fi

# Files named instead of numbers: the media library's samples, a copy under a
# name outside code page 932 (the Windows program reads its arguments wide), a
# text and a missing file. TW_PATH_PREFIX is what the program puts before a
# host path ("Z:" under Wine).
data="$(cd "$(dirname "${BASH_SOURCE[0]}")/../media/data" && pwd)"
prefix=${TW_PATH_PREFIX:-}
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
cp "$data/avi-2h15m45s.avi" "$tmp/Zoë Ångström.avi"
printf 'not a video\n' >"$tmp/notes.txt"
avi="$prefix$data/avi-2h15m45s.avi"
check 0 "574$nl" "${prog[@]}" calc --minutes-of "$avi" --size 700 --audio 128
check 0 "574$nl" "${prog[@]}" calc --minutes 136 --size 700 --audio 128
check 0 "574$nl" "${prog[@]}" calc --minutes-of "$prefix$tmp/Zoë Ångström.avi" --size 700 --audio 128
check 0 "574$nl" "${prog[@]}" calc "--minutes-of=$avi" --size 700 --audio 128
check 0 "-3832$nl" "${prog[@]}" recalc --minutes-of "$avi" --size 700 --audio 96 --now-video 600 \
  --now-size-of "$prefix$data/wmv-2h01m15s.wmv"
check 0 "-3832$nl" "${prog[@]}" recalc --minutes 136 --size 700 --audio 96 --now-video 600 --now-size 1
check 3 "" "${prog[@]}" calc --minutes-of "$prefix$tmp/notes.txt" --size 700 --audio 128
check 3 "" "${prog[@]}" calc --minutes-of "$prefix$tmp/gone.avi" --size 700 --audio 128
check 3 "" "${prog[@]}" recalc --minutes 120 --size 700 --audio 96 --now-video 600 --now-size-of "$prefix$tmp"
check 2 "" "${prog[@]}" calc --minutes 120 --minutes-of "$avi" --size 700 --audio 128
check 2 "" "${prog[@]}" calc --size 700 --audio 128
check 2 "" "${prog[@]}" calc --minutes 120 --size 700 --audio 128 --bogus=
check 1 "ERR$nl" "${prog[@]}" calc --minutes 120 --size== --audio 128

# The reason on standard error names the option and the file, in the expected encoding.
want_err="$(printf -- "--minutes-of: $unsupported_format\n" "$prefix$tmp/notes.txt" |
  iconv -f UTF-8 -t "$encoding" | od -An -tx1)"
got_err="$("${prog[@]}" calc --minutes-of "$prefix$tmp/notes.txt" --size 700 --audio 128 2>&1 >/dev/null |
  od -An -tx1)"
checks=$((checks + 1))
if [ "$got_err" != "$want_err" ]; then
  echo "FAIL: unreadable file message: $got_err, expected $want_err ($encoding)"
  failures=$((failures + 1))
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
