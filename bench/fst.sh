#!/usr/bin/env bash
# FST import against the import of the same dump as VCD: each dump named (default: the real
# simulators' dumps of bench/realsim.sh, cut to their first DOVLIN_BENCH_MB megabytes) is written
# as FST by vcd2fst, read back to VCD by fst2vcd, and both are converted, the median of the runs.
#
# Usage: bench/fst.sh [runs] [DUMP.vcd...]
#   DOVLIN_BENCH_DIR   where the dumps are and the files go (default /tmp/dovlin-bench)
#   DOVLIN_BENCH_MB    megabytes of each default dump taken (default 30)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
[ $# -gt 0 ] && shift
dir="${DOVLIN_BENCH_DIR:-/tmp/dovlin-bench}"
build="${DOVLIN_BENCH_BUILD:-$root/build-bench}"
mb="${DOVLIN_BENCH_MB:-30}"

DOVLIN_EXTRA_PACKAGES="gtkwave time" source "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dovlin-convert >/dev/null
work="$dir/fst"
mkdir -p "$work"

dumps=("$@")
if [ ${#dumps[@]} -eq 0 ]; then
  for name in lfsr_tiles nine_state mac_tiles; do
    [ -f "$dir/$name.vcd" ] || { echo "missing $dir/$name.vcd: run bench/realsim.sh first" >&2; exit 1; }
    # Whole lines only: the cut ends before the line it would split.
    head -c "$((mb * 1000000))" "$dir/$name.vcd" | sed '$d' > "$work/$name.vcd"
    dumps+=("$work/$name.vcd")
  done
fi

median() {
  for _ in $(seq "$runs"); do
    rm -f "$work/out.dvn"
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$build/bin/dovlin-convert" "$1" -o "$work/out.dvn" >/dev/null 2>&1 \
      || { echo "failed: $1" >&2; exit 1; }
    cat "$work/time.txt"
  done | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2) { printf "%s %.0f", $1, $2 / 1024 }'
}

printf "%-14s %8s %8s %8s %9s %8s %9s %6s\n" dump "VCD MB" "FST MB" "FST s" "FST peak" "VCD s" "VCD peak" ratio
for dump in "${dumps[@]}"; do
  name="$(basename "${dump%.vcd}")"
  vcd2fst "$dump" "$work/$name.fst" >/dev/null
  fst2vcd "$work/$name.fst" > "$work/$name.fst.vcd"
  read -r fst_s fst_mb <<< "$(median "$work/$name.fst")"
  read -r vcd_s vcd_mb <<< "$(median "$work/$name.fst.vcd")"
  printf "%-14s %8.1f %8.1f %8s %9s %8s %9s %6.2f\n" "$name" "$(stat -c %s "$work/$name.fst.vcd" | awk '{ print $1 / 1e6 }')" \
    "$(stat -c %s "$work/$name.fst" | awk '{ print $1 / 1e6 }')" "$fst_s" "$fst_mb" "$vcd_s" "$vcd_mb" \
    "$(awk -v a="$fst_s" -v b="$vcd_s" 'BEGIN { print (b > 0 ? a / b : 0) }')"
done
