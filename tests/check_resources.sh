#!/usr/bin/env bash
# Checks that qvz2png.exe carries its version resource and its manifest.
#
#   bash tests/check_resources.sh EXE VERSION
set -euo pipefail
exe=$1
version=$2
fail() {
  echo "$exe: $*"
  exit 1
}
# Version strings are UTF-16 in the resource.
strings_of() { wrestool -x --raw --type="$1" "$exe" | strings -e l; }
info=$(strings_of 16)
for text in "FileDescription" "QVZ to PNG converter" "ProductName" "qvz2png" \
            "OriginalFilename" "qvz2png.exe" "FileVersion" "ProductVersion" "$version"; do
  grep -qxF "$text" <<<"$info" || fail "version resource lacks \"$text\""
done
manifest=$(wrestool -x --raw --type=24 "$exe")
for text in 'level="asInvoker"' '<longPathAware' '>true</longPathAware>' \
            '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' "version=\"$version.0\""; do
  grep -qF "$text" <<<"$manifest" || fail "manifest lacks $text"
done
echo "$exe: version resource ($version) and manifest (asInvoker, longPathAware, Windows 10/11) present"
