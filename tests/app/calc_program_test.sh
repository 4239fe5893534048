#!/usr/bin/env bash
# Runs tarnwick-calc as a pipeline would: standard output must be exactly the
# result field's text and one line end, the exit status as documented, and the
# invalid operation's message must reach standard error in the console's
# encoding. Usage: calc_program_test.sh ENCODING COMMAND...
set -uo pipefail
encoding=$1
shift
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
want_err="$(printf '不正な浮動小数点数演算命令\n' | iconv -f UTF-8 -t "$encoding" | od -An -tx1)"
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

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
