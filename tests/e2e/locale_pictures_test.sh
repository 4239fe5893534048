#!/usr/bin/env bash
# The Japanese calculator under an English locale (system code page 1252, a
# Japanese reader's interface language) looks exactly as under the Japanese one: the main window and a shown hint, pixel for
# pixel. The pictures stay in the build folder for a look.
# Usage: locale_pictures_test.sh WINE_RUN LOCALE_PICTURE OUTPUT_DIR
set -uo pipefail
wine_run=$1 picture=$2 out=$3
mkdir -p "$out"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
failures=0
for locale in ja_JP.UTF-8 C.UTF-8; do
  if ! TW_LANG=$locale TW_UI_LANG=ja_JP.UTF-8 "$wine_run" "$picture" "$(windows_path "$out/main-$locale.bmp")" \
    "$(windows_path "$out/hint-$locale.bmp")"; then
    echo "FAIL: the pictures under $locale could not be taken"
    failures=$((failures + 1))
  fi
done
for what in main hint; do
  if ! cmp -s "$out/$what-ja_JP.UTF-8.bmp" "$out/$what-C.UTF-8.bmp"; then
    echo "FAIL: the $what picture under C.UTF-8 differs from the one under ja_JP.UTF-8 ($out)"
    failures=$((failures + 1))
  fi
done
# A picture that is one colour would compare equal without showing anything.
for what in main hint; do
  colours="$(od -An -v -tx1 -w3 -j54 "$out/$what-C.UTF-8.bmp" 2>/dev/null | sort -u | wc -l)"
  if [ "$colours" -lt 3 ]; then
    echo "FAIL: the $what picture shows nothing ($colours colours)"
    failures=$((failures + 1))
  fi
done
echo "$((4 - failures)) of 4 checks passed"
[ "$failures" = 0 ]
