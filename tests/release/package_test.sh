#!/usr/bin/env bash
# The Windows download: builds the package, checks what the zip holds, starts
# the program from the unpacked folder under Wine (version resource, Help
# opening the readme beside it), then builds the package again from relinked
# files and compares the two zips byte for byte.
# Usage: package_test.sh BUILD_DIR ZIP_NAME SOURCE_DIR VERSION_TEXT OBJDUMP RELEASE_TESTS_EXE
set -uo pipefail
build=$1 zip_name=$2 source=$3 version=$4 objdump=$5 release_tests=$6
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
zip="$build/$zip_name"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
checks=0
check() {  # check DESCRIPTION COMMAND...: counts a check, reports a failure
  local what=$1
  shift
  checks=$((checks + 1))
  if ! "$@"; then
    echo "FAIL: $what"
    failures=$((failures + 1))
  fi
}
finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [ "$failures" = 0 ]
  exit
}

if ! cmake --build "$build" --target package >"$work/build1.log" 2>&1; then
  cat "$work/build1.log"
  check "the package builds" false
  finish
fi
check "the build prints the zip's SHA-256" \
  grep -q "SHA-256 $(sha256sum "$zip" | cut -d' ' -f1)  $zip_name" "$work/build1.log"
first="$work/first.zip"
cp "$zip" "$first"

# Content: exactly the program and the two readmes, in name order.
check "the zip holds readme-en.txt, readme.txt and tarnwick.exe" \
  test "$(unzip -Z1 "$zip" | tr '\n' ' ')" = "readme-en.txt readme.txt tarnwick.exe "
unpacked="$work/unpacked"
mkdir "$unpacked"
unzip -q "$zip" -d "$unpacked"

# Each readme as Help opens it (readme.txt for the Japanese windows,
# readme-en.txt for the English ones): UTF-8 with a byte-order mark (read the
# same by the system's editor on a system of any language), CRLF on every
# line, the version filled in, the same text as the source otherwise.
for name in readme readme-en; do
  readme="$unpacked/$name.txt"
  check "$name.txt is the one beside the built program" cmp -s "$readme" "$build/app/$name.txt"
  check "every line of $name.txt ends in CRLF" test "$(grep -c $'[^\r]$' "$readme")" = 0
  expected="$(sed "s/@TW_VERSION_DISPLAY@/$version/" "$source/app/$name.txt")"
  check "$name.txt starts with the UTF-8 byte-order mark" test "$(head -c 3 "$readme" | od -An -tx1)" = " ef bb bf"
  check "$name.txt after its mark reads as the source" \
    test "$(tail -c +4 "$readme" | iconv -f UTF-8 -t UTF-8 | tr -d '\r')" = "$expected"
  check "$name.txt names version $version" grep -q "ver $version" <<<"$expected"
done

# The program: no debugging sections, no link to a file not shipped, no time
# stamp, no path of the build machine.
exe="$unpacked/tarnwick.exe"
sections="$("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $2}')"
check "no debugging sections or debug link" test -z "$(grep -E '^\.debug|^\.gnu_debuglink' <<<"$sections")"
check "no time stamp in the headers" grep -q 'Time/Date.*1970' <(LC_ALL=C TZ=UTC "$objdump" -p "$exe")
check "no build path in the program" test -z "$(strings -a "$exe" | grep -F -e "$source" -e "$build" -e "$HOME")"

# Small: the window program within 1 MiB, and none of the standard library's
# locale machinery in it (streams and paths pull it in, and with it a second
# megabyte and a slower start). Its symbols are in the debugging file.
size="$(stat -c %s "$exe")"
check "the program is at most 1 MiB ($size bytes)" test "$size" -le 1048576
locale_symbols="$("$objdump" -t "$build/app/tarnwick.exe.debug" | grep -c '_ZNSt6locale\|_ZNKSt6locale')"
check "no std::locale in the program ($locale_symbols symbols)" test "$locale_symbols" = 0

# Started from the unpacked folder under Wine, the current folder elsewhere
# holding a decoy readme.
mkdir "$work/elsewhere"
echo "decoy" >"$work/elsewhere/readme.txt"
echo "decoy" >"$work/elsewhere/readme-en.txt"
. "$source/scripts/wine-env.sh"
unpacked_windows="$(winepath -w "$unpacked" 2>/dev/null)"
check "the unpacked program's version resource and Help" \
  bash -c 'cd "$1" && TW_UNPACKED="$2" "$3" "$4"' _ "$work/elsewhere" "$unpacked_windows" \
  "$source/scripts/wine-run.sh" "$release_tests"

# An English reader: the English windows' Help opens readme-en.txt.
check "the unpacked program's Help in English" \
  bash -c 'cd "$1" && TW_LANG=C.UTF-8 TW_UNPACKED="$2" "$3" "$4" --gtest_filter=UnpackedPackage.*' _ \
  "$work/elsewhere" "$unpacked_windows" "$source/scripts/wine-run.sh" "$release_tests"

# Again under an English locale (system code page 1252), from a folder whose
# name holds a character that code page 932 lacks, as a user's folder may.
# The Windows name is Wine's drive Z: over the root, so that no conversion of
# the name through any code page is involved.
user_folder="$work/Zoë/tarnwick"
mkdir -p "$user_folder"
cp "$unpacked"/* "$user_folder/"
user_folder_windows="Z:${user_folder//\//\\}"
check "the unpacked program from a folder named with ë, English locale" \
  bash -c 'cd "$1" && TW_LANG=C.UTF-8 TW_UI_LANG=ja_JP.UTF-8 TW_UNPACKED="$2" "$3" "$4"' _ "$work/elsewhere" "$user_folder_windows" \
  "$source/scripts/wine-run.sh" "$release_tests"

# Again from relinked files with newer times: the same bytes.
sleep 2
rm -f "$build/app/tarnwick.exe" "$build/app/readme.txt" "$build/app/readme-en.txt"
if cmake --build "$build" --target package >"$work/build2.log" 2>&1; then
  check "a second build gives the same zip" cmp "$first" "$zip"
else
  cat "$work/build2.log"
  check "the package builds a second time" false
fi
finish
