#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for the given
# number of seconds (default 60) on a copy of its seed corpus. Prints the
# executions and the findings; exits non-zero when there is a finding.
#
#   bash fuzz/run.sh [SECONDS]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQVZ2PNG_FUZZ=ON -DQVZ2PNG_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target carve_fuzz >/dev/null

status=0
for target in carve_fuzz; do
  seeds="$root/fuzz/corpus/${target%_fuzz}"
  work=$(mktemp -d)
  mkdir "$work/corpus" "$work/findings"
  (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
     -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/findings/" \
     "$work/corpus" "$seeds" >"$work/log" 2>&1) || true
  execs=$(grep -m1 'stat::number_of_executed_units' "$work/log" | awk '{print $2}')
  findings=$(find "$work/findings" -type f | wc -l)
  echo "$target: ${execs:-0} executions in ${seconds} s, $(find "$work/corpus" -type f | wc -l) corpus entries, $findings findings"
  if [ "$findings" -ne 0 ] || [ -z "$execs" ]; then
    status=1
    tail -n 40 "$work/log"
    mkdir -p "$root/fuzz/findings"
    cp "$work"/findings/* "$root/fuzz/findings/" 2>/dev/null || true
    echo "findings copied to fuzz/findings/"
  fi
  rm -rf "$work"
done
exit $status
