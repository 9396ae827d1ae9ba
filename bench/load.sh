#!/usr/bin/env bash
# Builds the load benchmark in Release, runs it, and times `cat FILE > /dev/null` on the same
# file for comparison. Usage: bench/load.sh [file [runs]]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${DOVLIN_BENCH_BUILD:-$root/build-bench}"
file="${1:-/tmp/dovlin_bench.dvn}"
runs="${2:-5}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_load
"$build/bin/bench_load" "$file" "$runs"

bytes=$(stat -c %s "$file")
cat "$file" > /dev/null
for run in 1 2 3; do
  start=$(date +%s%N)
  cat "$file" > /dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v b="$bytes" -v r="$run" \
    'BEGIN { printf "cat %d: %.3f s, %.0f MB/s\n", r, ns / 1e9, b / 1e6 / (ns / 1e9) }'
done
