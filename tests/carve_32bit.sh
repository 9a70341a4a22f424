#!/usr/bin/env bash
# Builds qvz2png for 32-bit x86 and carves a sparse container of 3 GiB with
# one PNG at its end: past 2 GiB, every offset must stay 64-bit.
#
#   bash tests/carve_32bit.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux32}

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQVZ2PNG_TESTS=OFF -DQVZ2PNG_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target qvz2png >/dev/null
tool=("$build/qvz2png")
file "$build/qvz2png" | grep -q "ELF 32-bit" || { echo "not a 32-bit build"; exit 1; }
# The host may lack 32-bit support in its kernel; qemu-user runs it then.
"${tool[@]}" >/dev/null 2>&1 || tool=(qemu-i386 "$build/qvz2png")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image="$root/samples/expected/DMP00002.png"
zeros=$((3 << 30))
truncate -s "$zeros" "$work/c.qvz"
cat "$image" >>"$work/c.qvz"
mkdir "$work/out"
status=0
(cd "$work/out" && "${tool[@]}" ../c.qvz >../report) || status=$?
expected=$(printf 'Started png file     1.\r\nFINISHED.\r\nFinished 1 pngs(everything).testcount:%d.\r\n' $((zeros + 2)))
if [ "$status" -ne 0 ] || [ "$(cat "$work/report")" != "$expected" ] ||
   ! cmp -s "$image" "$work/out/DMP00001.png" || [ "$(ls "$work/out")" != DMP00001.png ]; then
  echo "32-bit build: FAILED (status $status)"
  cat -A "$work/report"
  exit 1
fi
echo "32-bit build: 3 GiB container carved, 1 image byte-equal, testcount $((zeros + 2)), status 0"
