#!/usr/bin/env bash
# Import of a dump written by a real simulator: Icarus Verilog runs bench/realsim/lfsr_tiles.v
# (150 tiles of a 16-bit LFSR and an 8-bit counter, 40 000 cycles, about 380 MB of VCD) and the
# converter imports it. Prints the dump's value changes, the bit changes they carry (what storing
# every bit of every vector change would keep), and for each converter the events stored, the
# wave file's size, the import time (median of the runs) and the peak memory.
# With DOVLIN_BEFORE_CONVERT both converters also import a plain copy of the dump
# (bench/realsim/plain.awk), which converters older than the widened grammar can read.
#
# Usage: bench/realsim.sh [runs]
#   DOVLIN_BENCH_DIR        where the dump goes (default /tmp/dovlin-bench)
#   DOVLIN_BEFORE_CONVERT   another dovlin-convert binary measured beside this one
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
dir="${DOVLIN_BENCH_DIR:-/tmp/dovlin-bench}"
build="${DOVLIN_BENCH_BUILD:-$root/build-bench}"

DOVLIN_EXTRA_PACKAGES="iverilog time" source "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dovlin-convert >/dev/null
mkdir -p "$dir"

dump="$dir/lfsr_tiles.vcd"
if [ ! -f "$dump" ]; then
  iverilog -o "$dir/lfsr_tiles.vvp" "$root/bench/realsim/lfsr_tiles.v"
  (cd "$dir" && vvp -n lfsr_tiles.vvp >/dev/null)
fi

# Widths by identifier code from the declarations, then one count per change line and one per bit.
read -r changes bits < <(awk '
  /^\$var/ { width[$4] = $3; next }
  /^[01xzXZ]/ { changes++; bits++; next }
  /^[bB]/ { changes++; bits += width[$2]; next }
  /^[rR]/ { changes++; bits++ }
  END { print changes, bits }' "$dump")
mb=$(awk -v b="$(stat -c %s "$dump")" 'BEGIN { printf "%.1f", b / 1e6 }')
echo "dump: $dump, $mb MB, $changes value changes carrying $bits bit changes"

# convert NAME BINARY DUMP: median time over the runs, with the events and wave size of the last run.
convert() {
  local name="$1" binary="$2" input="$3" out="$dir/realsim.dvn"
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$binary" "$input" -o "$out" > "$dir/summary.txt" 2>/dev/null \
      || { echo "$name: conversion failed" >&2; return 1; }
    cat "$dir/time.txt"
  done | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2) { print $1, $2 }' > "$dir/median.txt"
  read -r seconds peak < "$dir/median.txt"
  local events
  events=$(grep -oE '[0-9]+ events' "$dir/summary.txt" | cut -d' ' -f1)
  awk -v n="$name" -v e="$events" -v w="$(stat -c %s "$out")" -v s="$seconds" -v p="$peak" -v b="$(stat -c %s "$input")" \
    'BEGIN { printf "%-14s %12d %10.0f %9.2f %9.1f %9.0f\n", n, e, w / 1e6, s, b / 1e6 / s, p / 1024 }'
  rm -f "$out" "$dir/time.txt" "$dir/summary.txt" "$dir/median.txt"
}

printf "%-14s %12s %10s %9s %9s %9s\n" "" events "wave MB" seconds "MB/s" "peak MB"
convert now "$build/bin/dovlin-convert" "$dump"
if [ -n "${DOVLIN_BEFORE_CONVERT:-}" ]; then
  plain="$dir/lfsr_tiles_plain.vcd"
  [ -f "$plain" ] || awk -f "$root/bench/realsim/plain.awk" "$dump" > "$plain"
  convert "now, plain" "$build/bin/dovlin-convert" "$plain"
  convert "before, plain" "$DOVLIN_BEFORE_CONVERT" "$plain"
fi
