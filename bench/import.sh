#!/usr/bin/env bash
# Import speed against GTKWave's vcd2fst, on generated dumps of 200 MB and 1 GB, a vector-heavy
# generated dump of 200 MB (vcdgen's vectors mode) and the largest dump of the shared corpus,
# each tool several times in the same run.
#
# Usage: bench/import.sh [runs]
#   DOVLIN_BENCH_DIR      where the dumps go (default /tmp/dovlin-bench)
#   DOVLIN_COMPARE_REV    a git revision whose converter is measured beside this one (built in a
#                         worktree), to show what a change did to time and memory
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
dir="${DOVLIN_BENCH_DIR:-/tmp/dovlin-bench}"
build="${DOVLIN_BENCH_BUILD:-$root/build-bench}"

DOVLIN_EXTRA_PACKAGES="gtkwave time" source "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dovlin-convert vcdgen >/dev/null
mkdir -p "$dir"

before=""
if [ -n "${DOVLIN_COMPARE_REV:-}" ]; then
  tree="$dir/compare-tree"
  rm -rf "$tree"
  git -C "$root" worktree add --detach --force "$tree" "$DOVLIN_COMPARE_REV" >/dev/null
  cmake -S "$tree" -B "$dir/compare-build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$dir/compare-build" --target dovlin-convert >/dev/null
  before="$dir/compare-build/bin/dovlin-convert"
fi

files=()
for size in 200 1000; do
  dump="$dir/gen$size.vcd"
  [ -f "$dump" ] || "$build/bin/vcdgen" "$size" 1 "$dump"
  files+=("$dump")
done
[ -f "$dir/vectors200.vcd" ] || "$build/bin/vcdgen" 200 1 "$dir/vectors200.vcd" vectors
files+=("$dir/vectors200.vcd")
corpus="$root/../shared/corpus"
if [ -d "$corpus" ]; then
  files+=("$(find "$corpus" -name '*.vcd' -printf '%s %p\n' | sort -n | tail -1 | cut -d' ' -f2-)")
fi

# Median of the wall-clock seconds (and the peak memory of the run it came from) over the runs.
# No wave file is left from a run before: the converter would read it to carry its view flags over.
measure() {
  local out="$1"; shift
  for _ in $(seq "$runs"); do
    rm -f "$dir/out.dvn"
    /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    cat "$dir/time.txt"
  done | sort -n | awk -v n="$runs" 'NR == int((n + 1) / 2) { print $1, $2 }' > "$out"
}

printf "%-28s %7s %8s %8s %9s %8s %6s %9s %9s %7s" file MB "ours s" "ours MB/s" "vcd2fst s" "MB/s" ratio "peak MB" "wave MB" "cat s"
[ -n "$before" ] && printf " %9s %11s" "before s" "before peak"
echo
for file in "${files[@]}"; do
  mb=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", b / 1e6 }')
  cat "$file" > /dev/null
  start=$(date +%s%N); cat "$file" > /dev/null; end=$(date +%s%N)
  cat_s=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.2f", ns / 1e9 }')
  measure "$dir/ours.txt" "$build/bin/dovlin-convert" "$file" -o "$dir/out.dvn"
  wave=$(awk -v b="$(stat -c %s "$dir/out.dvn")" 'BEGIN { printf "%.0f", b / 1e6 }')
  measure "$dir/theirs.txt" vcd2fst "$file" "$dir/out.fst"
  read -r ours peak < "$dir/ours.txt"
  read -r theirs _ < "$dir/theirs.txt"
  awk -v f="$(basename "$file")" -v mb="$mb" -v o="$ours" -v t="$theirs" -v p="$peak" -v w="$wave" -v c="$cat_s" \
    'BEGIN { printf "%-28s %7s %8.2f %8.1f %9.2f %8.1f %6.2f %9.0f %9s %7s", f, mb, o, mb / o, t, mb / t, t / o, p / 1024, w, c }'
  if [ -n "$before" ]; then
    measure "$dir/before.txt" "$before" "$file" -o "$dir/out.dvn"
    read -r prev prevpeak < "$dir/before.txt"
    awk -v o="$prev" -v p="$prevpeak" 'BEGIN { printf " %9.2f %8.0f MB", o, p / 1024 }'
  fi
  echo
done
rm -f "$dir/out.dvn" "$dir/out.fst" "$dir/time.txt" "$dir/ours.txt" "$dir/theirs.txt" "$dir/before.txt"
if [ -n "$before" ]; then
  git -C "$root" worktree remove --force "$dir/compare-tree"
fi
