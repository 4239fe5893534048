#!/usr/bin/env bash
# The build's own programs carry no debugging sections, only a link to the
# file beside them that holds them; a debugger's line lookup still finds the
# source through that link.
# Usage: lean_program_test.sh OBJDUMP NM ADDR2LINE PROGRAM...
set -uo pipefail
objdump=$1 nm=$2 addr2line=$3
shift 3
failures=0
checks=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for exe in "$@"; do
  name=$(basename "$exe")
  sections="$("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $2}')"
  checks=$((checks + 1))
  if grep -q '^\.debug' <<<"$sections"; then fail "$name has debugging sections: $(grep '^\.debug' <<<"$sections" | tr '\n' ' ')"; fi
  checks=$((checks + 1))
  grep -qx '\.gnu_debuglink' <<<"$sections" || fail "$name has no debug link"
  checks=$((checks + 1))
  link="$("$objdump" --dwarf=links "$exe" | sed -n 's/^ *Separate debug info file: *//p' | head -n 1)"
  [ "$link" = "$name.debug" ] || fail "$name links to [$link], not $name.debug"
  checks=$((checks + 1))
  [ -s "$(dirname "$exe")/$link" ] || fail "$name: $link is not beside it"
  checks=$((checks + 1))
  [ "$(stat -c %s "$exe")" -lt $((3 * 1024 * 1024)) ] || fail "$name is $(stat -c %s "$exe") bytes"
done

# The entry point of the window program, found by address through the link:
# the address comes from the debugging file, the source line from following
# the stripped program's link.
exe=$1
address="$("$nm" "$exe.debug" | awk '$3 == "_WinMain@16" {print $1; exit}')"
checks=$((checks + 1))
if [ -z "$address" ]; then
  fail "no WinMain in $exe.debug"
else
  where="$("$addr2line" -f -e "$exe" "0x$address" 2>&1 | tr '\n' ' ')"
  grep -q 'WinMain.*app/Main\.cpp:[0-9]' <<<"$where" || fail "the stripped program's link gives [$where] for WinMain"
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
