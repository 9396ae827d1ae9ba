#!/usr/bin/env bash
# Import of dumps written by real simulators, side by side with GTKWave's vcd2fst in one run:
#   icarus     Icarus Verilog, bench/realsim/lfsr_tiles.v (150 tiles of a 16-bit LFSR and an 8-bit
#              counter, 40 000 cycles, about 380 MB)
#   ghdl       GHDL, bench/realsim/nine_state.vhd (40 pairs of LFSR tiles on resolved std_logic
#              buses, every one of the nine states, 40 000 cycles, about 260 MB)
#   verilator  Verilator, bench/realsim/mac_tiles.v (100 multiply-accumulate tiles, 40 000 cycles,
#              about 260 MB)
#   vectors    vcdgen's vector-heavy mode: 4- to 32-bit vectors, reals and one-bit wires (200 MB)
# For each: the events stored, the wave file's size, the median time of ours for each number of
# threads (--threads, default 1,2) and of vcd2fst, the throughput ratio (vcd2fst's time over ours
# on the most threads), the speed-up of the most threads over the fewest, our peak memory on the
# most threads, and whether every number of threads wrote the same wave file (SHA-256).
# With DOVLIN_BEFORE_CONVERT another converter (an older revision) imports each dump as well:
# its time, and whether its wave file has the same SHA-256 as ours.
#
# Usage: bench/realsim.sh [--threads N,N...] [runs] [dump...]
#   DOVLIN_BENCH_DIR        where the dumps go (default /tmp/dovlin-bench)
#   DOVLIN_BEFORE_CONVERT   another dovlin-convert binary measured beside this one
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
threads_list="1,2"
if [ "${1:-}" = "--threads" ]; then
  threads_list="$2"
  shift 2
fi
IFS=, read -r -a threads <<< "$threads_list"
runs="${1:-3}"
shift || true
dumps=("$@")
[ ${#dumps[@]} -gt 0 ] || dumps=(icarus ghdl verilator vectors)
dir="${DOVLIN_BENCH_DIR:-/tmp/dovlin-bench}"
build="${DOVLIN_BENCH_BUILD:-$root/build-bench}"

DOVLIN_EXTRA_PACKAGES="iverilog ghdl verilator gtkwave time" source "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dovlin-convert vcdgen >/dev/null
mkdir -p "$dir"

# dump NAME: the path of the dump, written first when it is missing.
dump() {
  local sim="$dir/sim-$1"
  case "$1" in
    icarus)
      if [ ! -f "$dir/lfsr_tiles.vcd" ]; then
        iverilog -o "$dir/lfsr_tiles.vvp" "$root/bench/realsim/lfsr_tiles.v"
        (cd "$dir" && vvp -n lfsr_tiles.vvp >/dev/null)
      fi
      echo "$dir/lfsr_tiles.vcd" ;;
    ghdl)
      if [ ! -f "$dir/nine_state.vcd" ]; then
        mkdir -p "$sim"
        (cd "$sim" && ghdl -a --std=08 "$root/bench/realsim/nine_state.vhd" && ghdl -e --std=08 top \
          && ghdl -r --std=08 top -gPAIRS=40 -gCYCLES=40000 --vcd="$dir/nine_state.vcd") >/dev/null
      fi
      echo "$dir/nine_state.vcd" ;;
    verilator)
      if [ ! -f "$dir/mac_tiles.vcd" ]; then
        mkdir -p "$sim"
        (cd "$sim" && verilator --binary --trace -Wno-fatal -O2 --top-module top -GTILES=100 -GCYCLES=40000 \
          "$root/bench/realsim/mac_tiles.v" && ./obj_dir/Vtop && mv mac_tiles.vcd "$dir/") >/dev/null
      fi
      echo "$dir/mac_tiles.vcd" ;;
    vectors)
      [ -f "$dir/vectors200.vcd" ] || "$build/bin/vcdgen" 200 1 "$dir/vectors200.vcd" vectors
      echo "$dir/vectors200.vcd" ;;
    *) echo "unknown dump $1" >&2; exit 2 ;;
  esac
}

# measure OUT COMMAND...: median wall-clock seconds over the runs and the peak memory (KB) of that run.
# No wave file is left from a run before: its view flags would be carried over.
measure() {
  local out="$1"; shift
  for _ in $(seq "$runs"); do
    rm -f "$dir/ours.dvn" "$dir/before.dvn"
    /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$@" > "$dir/summary.txt" 2>/dev/null || { echo "failed: $*" >&2; exit 1; }
    cat "$dir/time.txt"
  done | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2) { print $1, $2 }' > "$out"
}

printf "%-10s %8s %12s %8s" dump "dump MB" events "wave MB"
for n in "${threads[@]}"; do printf " %9s" "${n} thr s"; done
printf " %9s %6s %8s %8s %5s" "vcd2fst s" ratio speed-up "peak MB" same
[ -n "${DOVLIN_BEFORE_CONVERT:-}" ] && printf " %9s %10s" "before s" "same file"
echo
for name in "${dumps[@]}"; do
  input="$(dump "$name")"
  cat "$input" > /dev/null
  times=()
  same=yes
  hash=""
  for n in "${threads[@]}"; do
    measure "$dir/ours.txt" "$build/bin/dovlin-convert" --threads "$n" "$input" -o "$dir/ours.dvn"
    read -r ours peak < "$dir/ours.txt"
    times+=("$ours")
    [ -z "$hash" ] && hash=$(sha256sum < "$dir/ours.dvn")
    [ "$hash" = "$(sha256sum < "$dir/ours.dvn")" ] || same=no
  done
  events=$(grep -oE '[0-9]+ events' "$dir/summary.txt" | cut -d' ' -f1)
  wave=$(stat -c %s "$dir/ours.dvn")
  measure "$dir/theirs.txt" vcd2fst "$input" "$dir/theirs.fst"
  read -r theirs _ < "$dir/theirs.txt"
  awk -v n="$name" -v b="$(stat -c %s "$input")" -v e="$events" -v w="$wave" \
    'BEGIN { printf "%-10s %8.1f %12d %8.0f", n, b / 1e6, e, w / 1e6 }'
  for t in "${times[@]}"; do printf " %9.2f" "$t"; done
  awk -v first="${times[0]}" -v last="${times[-1]}" -v t="$theirs" -v p="$peak" -v s="$same" \
    'BEGIN { printf " %9.2f %6.2f %8.2f %8.0f %5s", t, t / last, first / last, p / 1024, s }'
  if [ -n "${DOVLIN_BEFORE_CONVERT:-}" ]; then
    measure "$dir/before.txt" "$DOVLIN_BEFORE_CONVERT" "$input" -o "$dir/before.dvn"
    read -r before _ < "$dir/before.txt"
    same=no
    [ "$hash" = "$(sha256sum < "$dir/before.dvn")" ] && same=yes
    printf " %9.2f %10s" "$before" "$same"
  fi
  echo
done
rm -f "$dir/ours.dvn" "$dir/before.dvn" "$dir/theirs.fst" "$dir/time.txt" "$dir/summary.txt" \
  "$dir/ours.txt" "$dir/theirs.txt" "$dir/before.txt"
