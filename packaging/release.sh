#!/usr/bin/env bash
# Builds every release artifact into build/package/, from a clean build
# folder each time: the .deb and the static tarball for amd64/x86-64 and for
# arm64/aarch64, the Windows zip, the source tarball, and SHA256SUMS over
# them all. Every archive records the time of the changelog's top entry (or
# SOURCE_DATE_EPOCH, when set), so the same commit gives the same bytes.
#
#   bash packaging/release.sh
set -euo pipefail
# What the archives record must not depend on who builds, or where: the
# modes of files and folders on the umask, the zip's local times on the
# zone, the owners on the user. Every member is root's, as a root who
# unpacks expects: the .debs and git archive say so themselves, but CPack's
# tarballs and zip (before CMake 4.3) record the owner of the files, so any
# other user builds under fakeroot.
if [ "$(id -u)" != 0 ]; then
  exec fakeroot -- bash "$0" "$@"
fi
umask 022
export TZ=UTC
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
version=$(sed -n 's/^project(qvz2png VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rm -rf build/package build/package-linux build/package-tarball build/package-arm64 \
  build/package-arm64-tarball build/windows-zip
mkdir -p build
for preset in package package-tarball package-arm64 package-arm64-tarball windows-zip; do
  cmake --workflow --preset "$preset" >"build/$preset.log" 2>&1 ||
    { tail -n 40 "build/$preset.log"; exit 1; }
done
# The source as committed, with nothing of a build: what git archive holds.
git archive --format=tar --prefix="qvz2png-$version/" HEAD | gzip -9n >"build/package/qvz2png-$version.tar.gz"
cd build/package
rm -rf _CPack_Packages
sha256sum qvz2png[-_]* >SHA256SUMS
cat SHA256SUMS
