#!/usr/bin/env bash
# Checks the release artifacts as a user meets them: the Debian package
# (its file list, lintian, its man page, its tool carving the sample), the
# Linux tarball and the Windows zip (its exe carving the sample under Wine).
#
#   bash tests/check_packages.sh [PACKAGE_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=${1:-$root/build/package}
version=$(sed -n 's/^project(qvz2png VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAILED: $*"
  exit 1
}

# Carves samples/sample.qvz with the given command in a fresh folder and
# requires exactly the three expected images.
carves_sample() {
  local out
  out=$(mktemp -d "$work/out.XXXX")
  (cd "$out" && "$@" "$root/samples/sample.qvz" >/dev/null) || fail "$* exited with $?"
  diff -r "$out" "$root/samples/expected" >/dev/null || fail "$* did not carve the sample's images"
}

deb="$packages/qvz2png_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $deb"
contents=$(dpkg-deb --contents "$deb" | awk '$NF !~ /\/$/ {print $NF}' | sort)
expected=$(printf '%s\n' ./usr/bin/qvz2png ./usr/share/doc/qvz2png/changelog.gz \
  ./usr/share/doc/qvz2png/copyright ./usr/share/man/man1/qvz2png.1.gz | sort)
[ "$contents" = "$expected" ] || fail "the package holds"$'\n'"$contents"
if ! report=$(lintian --fail-on error,warning "$deb" 2>&1); then
  fail "lintian found errors or warnings:"$'\n'"$report"
fi
dpkg-deb -x "$deb" "$work/deb"
carves_sample "$work/deb/usr/bin/qvz2png"
warnings=$(MANWIDTH=80 man --warnings -l "$work/deb/usr/share/man/man1/qvz2png.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man -l warns: $warnings"
echo "$(basename "$deb"): files as expected, lintian clean, man page renders, carves the sample"

tarball="$packages/qvz2png-$version-Linux-$(uname -m).tar.gz"
mkdir "$work/tar"
tar -xzf "$tarball" -C "$work/tar"
carves_sample "$work/tar/qvz2png-$version-Linux-$(uname -m)/bin/qvz2png"
echo "$(basename "$tarball"): carves the sample"

zip="$packages/qvz2png-$version-win64.zip"
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
top="$work/zip/qvz2png-$version-win64"
[ "$(ls "$top" | sort | tr '\n' ' ')" = "LICENSE.txt README.txt qvz2png.exe " ] ||
  fail "the zip holds $(ls "$top")"
for text in README.txt LICENSE.txt; do
  [ "$(grep -c $'\r$' "$top/$text")" = "$(wc -l <"$top/$text")" ] || fail "$text is not CRLF"
done
export WINEPREFIX=${WINEPREFIX:-$work/wineprefix} WINEDEBUG=-all LC_ALL=C.UTF-8
wineboot --init >/dev/null 2>&1 || true
carves_sample wine "$top/qvz2png.exe"
echo "$(basename "$zip"): exe, README.txt and LICENSE.txt with CRLF; the exe carves the sample under Wine"
