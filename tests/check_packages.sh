#!/usr/bin/env bash
# Checks the release artifacts (packaging/release.sh) as a user meets them:
# SHA256SUMS; the Debian packages (file list, architecture, lintian at
# pedantic level, man page, the amd64 tool carving the sample); the static
# tarballs (the x86-64 one carving the sample in an empty chroot, the
# aarch64 one under qemu-aarch64); the Windows zip (its exe carving the
# sample under Wine); the source tarball, built and tested on its own.
#
#   bash tests/check_packages.sh [PACKAGE_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=${1:-$root/build/package}
version=$(sed -n 's/^project(qvz2png VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
arch=amd64  # the packages' tool that runs here
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

(cd "$packages" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
for artifact in "$packages"/qvz2png[-_]*; do
  grep -q " $(basename "$artifact")\$" "$packages/SHA256SUMS" || fail "SHA256SUMS leaves out $artifact"
done
echo "SHA256SUMS: every artifact, all match"

# Lintian at pedantic level, informational tags included, must say nothing.
lint_clean() {
  local report
  report=$(lintian --pedantic -I "$1" 2>&1 | grep -v '^running with root privileges') || true
  [ -z "$report" ] || fail "lintian on $(basename "$1"):"$'\n'"$report"
}

for deb_arch in amd64 arm64; do
  deb="$packages/qvz2png_${version}_${deb_arch}.deb"
  [ -f "$deb" ] || fail "no $deb"
  contents=$(dpkg-deb --contents "$deb" | awk '$NF !~ /\/$/ {print $NF}' | sort)
  expected=$(printf '%s\n' ./usr/bin/qvz2png ./usr/share/doc/qvz2png/changelog.gz \
    ./usr/share/doc/qvz2png/copyright ./usr/share/man/man1/qvz2png.1.gz | sort)
  [ "$contents" = "$expected" ] || fail "the package holds"$'\n'"$contents"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$deb_arch" ] || fail "$deb is not labelled $deb_arch"
  lint_clean "$deb"
  dpkg-deb -x "$deb" "$work/deb-$deb_arch"
done
file -b "$work/deb-arm64/usr/bin/qvz2png" | grep -q 'ARM aarch64.*dynamically linked' ||
  fail "the arm64 package's tool is $(file -b "$work/deb-arm64/usr/bin/qvz2png")"
carves_sample "$work/deb-$arch/usr/bin/qvz2png"
warnings=$(MANWIDTH=80 man --warnings -l "$work/deb-$arch/usr/share/man/man1/qvz2png.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man -l warns: $warnings"
zcat "$work/deb-$arch/usr/share/man/man1/qvz2png.1.gz" | head -n 1 | grep -q "\"qvz2png $version\"" ||
  fail "the man page's header does not name version $version"
echo "qvz2png_${version}_{amd64,arm64}.deb: files and architecture as expected, lintian --pedantic silent, man page renders, carves the sample"

for machine in x86_64 aarch64; do
  tarball="$packages/qvz2png-$version-Linux-$machine.tar.gz"
  mkdir "$work/tar-$machine"
  tar -xzf "$tarball" -C "$work/tar-$machine"
  tool="$work/tar-$machine/qvz2png-$version-Linux-$machine/bin/qvz2png"
  file -b "$tool" | grep -q 'static-pie linked' || fail "$tarball: $(file -b "$tool")"
done
# Nothing in the chroot but the tool and the sample: no C library, and no
# /dev/null to stand in for a closed standard stream. Runs the tool on the
# sample in a fresh one, with the given redirections; sets $status, and
# $jail to what the chroot holds after.
jail_run() {
  jail=$(mktemp -d "$work/jail.XXXX")
  cp "$work/tar-x86_64/qvz2png-$version-Linux-x86_64/bin/qvz2png" "$root/samples/sample.qvz" "$jail/"
  status=0
  eval "chroot \"\$jail\" /qvz2png /sample.qvz $1" || status=$?
  rm "$jail/qvz2png" "$jail/sample.qvz"
}
# A closed standard input or error harms nothing: the sample is carved.
for streams in "" "<&-" "2>&-" "<&- 2>&-"; do
  jail_run ">/dev/null $streams"
  [ "$status" = 0 ] || fail "the static tool exited with $status in an empty chroot ($streams)"
  diff -r "$jail" "$root/samples/expected" >/dev/null ||
    fail "the static tool did not carve the sample in an empty chroot ($streams)"
done
# A closed standard output is no place for the report: nothing is carved.
jail_run ">&- 2>\"$work/err\""
[ "$status" = 1 ] && [ -z "$(ls -A "$jail")" ] ||
  fail "with standard output closed and no /dev/null, status $status and $(ls "$jail")"
[ "$(cat "$work/err")" = $'Standard output is closed, and there is no /dev/null to stand in for it.\r' ] ||
  fail "with standard output closed and no /dev/null, it said: $(cat "$work/err")"
echo "qvz2png-$version-Linux-x86_64.tar.gz: static-pie, carves the sample in an empty chroot, with standard input or error closed too; refuses with standard output closed"
carves_sample qemu-aarch64 "$work/tar-aarch64/qvz2png-$version-Linux-aarch64/bin/qvz2png"
echo "qvz2png-$version-Linux-aarch64.tar.gz: static-pie, carves the sample under qemu-aarch64"

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

# The source release alone: unpacked where no checkout is, it builds and
# passes its in-process tests.
mkdir "$work/src"
tar -xzf "$packages/qvz2png-$version.tar.gz" -C "$work/src"
(cd "$work/src/qvz2png-$version" && [ ! -e .git ] && [ ! -e build ] &&
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build build -j2 --target carve_tests >/dev/null && build/tests/carve_tests --gtest_brief=1 >/dev/null) ||
  fail "the source tarball does not build and pass its tests on its own"
echo "qvz2png-$version.tar.gz: builds and passes its in-process tests on its own"
