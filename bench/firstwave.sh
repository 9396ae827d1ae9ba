#!/usr/bin/env bash
# Time from opening a VCD or FST file to its first waveform, for the viewer and for GTKWave, in turn on
# the same dump: each starts with the file on its command line (the viewer opens it as File > Open
# does, converting it first) under xvfb-run, and the time taken is until it has a window, none of
# its threads waits for the disk, and its CPU time has stood still for a second (that second not
# counted). The wave file is removed before
# each run of the viewer, so that every run converts.
#
# Usage: bench/firstwave.sh DUMP.vcd|DUMP.fst [runs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dump="$(realpath "$1")"
runs="${2:-3}"
build="${DOVLIN_BENCH_BUILD:-$root/build-bench}"

DOVLIN_EXTRA_PACKAGES="gtkwave xvfb xauth xdotool" source "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target dovlin >/dev/null

if [ -z "${DOVLIN_FIRSTWAVE_INNER:-}" ]; then
  exec env DOVLIN_FIRSTWAVE_INNER=1 DOVLIN_BENCH_BUILD="$build" xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi

# idle COMMAND...: prints the seconds until the command has a window and its CPU time stands still.
idle() {
  local start pid last=-1 ticks now since
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  since=$start
  while kill -0 "$pid" 2>/dev/null; do
    sleep 0.1
    ticks=$(awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo -1)
    now=$(date +%s.%N)
    # A thread waiting for the disk (flushing the wave file) takes no CPU time but is not idle.
    if [ "$ticks" != "$last" ] || cat /proc/"$pid"/task/*/stat 2>/dev/null | awk '$3 == "D" { found = 1 } END { exit !found }' \
      || ! xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; then
      last=$ticks
      since=$now
    elif awk -v n="$now" -v s="$since" 'BEGIN { exit !(n - s >= 1) }'; then
      awk -v s="$since" -v b="$start" 'BEGIN { printf "%.2f\n", s - b }'
      kill "$pid"
      wait "$pid" 2>/dev/null || true
      return
    fi
  done
  echo "failed: $*" >&2
  return 1
}

wave="${dump%.*}.dvn"
[ "${dump##*.}" = fst ] && wave="${dump%.*}-fst.dvn"
printf "%-8s %8s %9s\n" run "ours s" "gtkwave s"
for run in $(seq "$runs"); do
  rm -f "$wave"
  ours=$(idle "$build/bin/dovlin" "$dump")
  theirs=$(idle gtkwave "$dump")
  printf "%-8s %8s %9s\n" "$run" "$ours" "$theirs"
done
rm -f "$wave"
