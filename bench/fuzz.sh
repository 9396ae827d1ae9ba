#!/usr/bin/env bash
# Builds one libFuzzer target with clang and runs it on its seed corpus for a number of seconds.
# Usage: bench/fuzz.sh TARGET SECONDS [libFuzzer flags...]
#   TARGET: vcd (the VCD import), fst (the FST import), wave (the wave-file loader) or roundtrip (load, save, load)
# Seeds: the VCD files of tests/data and of the shared corpus (DOVLIN_FUZZ_SEEDS, default
# ../shared/corpus beside the repository), for fst the FST files there, wave files converted from them in both formats, and the saved
# findings in tests/data/fuzz/ (dumps named *.dump, wave files *.dvn). The grown corpus stays
# in the build directory for the next run; a finding is written to its fuzz-artifacts/ folder
# and ends the run with a non-zero status.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${DOVLIN_FUZZ_BUILD:-$root/build-fuzz}"
shared="${DOVLIN_FUZZ_SEEDS:-$root/../shared/corpus}"
[ $# -ge 2 ] || { echo "usage: bench/fuzz.sh vcd|fst|wave|roundtrip SECONDS [libFuzzer flags]" >&2; exit 2; }
target="$1"
seconds="$2"
shift 2
case "$target" in
  vcd|fst|wave|roundtrip) ;;
  *) echo "unknown fuzz target '$target' (vcd, fst, wave or roundtrip)" >&2; exit 2 ;;
esac
# Inputs beyond this many bytes slow every run down; the malformed-input tests cover big ones.
max_len=16384

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DDOVLIN_FUZZ=ON >/dev/null
if ! built="$(cmake --build "$build" --target "fuzz_$target" dovlin-convert --parallel "$(nproc)" 2>&1)"; then
  echo "$built"
  exit 1
fi
echo "$built" | tail -n 1

seeds="$build/fuzz-seeds/$target"
corpus="$build/fuzz-corpus/$target"
artifacts="$build/fuzz-artifacts"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$artifacts"

small_vcds() {
  for dir in "$root/tests/data" "$shared"; do
    [ -d "$dir" ] && find "$dir" -type f -name '*.vcd' -size -$((max_len + 1))c
  done
}

n=0
if [ "$target" = vcd ]; then
  while IFS= read -r file; do
    cp "$file" "$seeds/$((n += 1)).vcd"
  done < <(small_vcds)
  find "$root/tests/data/fuzz" -type f -name '*.dump' -exec cp -t "$seeds" {} + 2>/dev/null || true
  extra=(-dict="$root/fuzz/vcd.dict")
elif [ "$target" = fst ]; then
  for dir in "$root/tests/data" "$shared"; do
    [ -d "$dir" ] && find "$dir" -type f -name '*.fst' -size -$((max_len + 1))c
  done | while IFS= read -r file; do
    cp "$file" "$seeds/$((n += 1)).fst"
  done
  extra=()
else
  # The converter carries the sanitizers too; its leak check is the fuzz targets' business. Each
  # dump gives a seed in each format.
  while IFS= read -r file; do
    n=$((n + 1))
    for format in 1 2; do
      ASAN_OPTIONS=detect_leaks=0 "$build/bin/dovlin-convert" "$file" -o "$seeds/$n-$format.dvn" --format "$format" \
        >/dev/null 2>&1 || rm -f "$seeds/$n-$format.dvn"
    done
  done < <(small_vcds)
  find "$seeds" -type f -size +$((max_len))c -delete
  find "$root/tests/data/fuzz" -type f -name '*.dvn' -exec cp -t "$seeds" {} + 2>/dev/null || true
  extra=()
fi
echo "fuzz_$target: $(find "$seeds" -type f | wc -l) seeds, $(find "$corpus" -type f | wc -l) inputs in $corpus"

# One process; the grown corpus collects the new inputs, the seed folder is read only.
exec "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
  -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "${extra[@]}" "$@" "$corpus" "$seeds"
