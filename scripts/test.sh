#!/usr/bin/env bash
# Build everything (installing what it needs) and run every test headless; then the whole suite
# again built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/); then the tests of
# the imports, whose threads share the model, built with ThreadSanitizer (build-tsan/); then each
# fuzz target on its seeds (build-fuzz/, see bench/fuzz.sh). Every pass runs even when an earlier one
# failed; the output ends with the verdict of each and CTest's summary of the main pass, and the
# script fails when any pass failed.
#   DOVLIN_FUZZ_SECONDS  seconds per fuzz target (default 60; 0 leaves fuzzing out)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
fuzz_seconds="${DOVLIN_FUZZ_SECONDS:-60}"
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

verdicts=()
failed=0
# run_pass NAME COMMAND...: runs the command with its output shown and kept in $logs/NAME; the
# verdict quotes CTest's count or libFuzzer's final statistics.
run_pass() {
  local name="$1" result="passed"
  shift
  echo "== $name"
  if ! "$@" 2>&1 | tee "$logs/$name"; then
    result="FAILED"
    failed=1
  fi
  local detail
  detail="$(grep -E 'tests passed, .* tests failed out of|^#[0-9]+[[:space:]]+DONE' "$logs/$name" | tail -n 1 || true)"
  verdicts+=("$name: $result $detail")
}

main_tests() {
  dovlin_build && ctest --test-dir "$DOVLIN_BUILD" --output-on-failure --parallel "$(nproc)"
}

sanitizer_tests() {
  local DOVLIN_BUILD="$DOVLIN_ROOT/build-asan"
  dovlin_build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDOVLIN_SANITIZE=ON \
    && ctest --test-dir "$DOVLIN_BUILD" --output-on-failure --parallel "$(nproc)"
}

# Any race report fails the test; the FST tests start vcd2fst with threads running. Qt is not built
# with the sanitizer: what its own code does (the test watchdog's wait condition) is not checked.
thread_tests() {
  local DOVLIN_BUILD="$DOVLIN_ROOT/build-tsan" tests="tst_bounded tst_vcdimport tst_fstimport"
  cmake -S "$DOVLIN_ROOT" -B "$DOVLIN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDOVLIN_SANITIZE_THREAD=ON \
    && cmake --build "$DOVLIN_BUILD" --parallel "$(nproc)" --target $tests \
    && TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 ignore_noninstrumented_modules=1" ctest --test-dir "$DOVLIN_BUILD" --output-on-failure \
      --parallel "$(nproc)" -R "^(${tests// /|})\$"
}

run_pass "main tests" main_tests
run_pass "sanitizer tests" sanitizer_tests
run_pass "thread sanitizer tests" thread_tests
if [ "$fuzz_seconds" -gt 0 ]; then
  for target in vcd fst wave roundtrip; do
    run_pass "fuzz $target" "$DOVLIN_ROOT/bench/fuzz.sh" "$target" "$fuzz_seconds"
  done
fi

echo
echo "== Verdict"
for verdict in "${verdicts[@]}"; do
  echo "$verdict"
done
echo
# CTest's summary of the main pass, from its line "N% tests passed, ..." to the end.
sed -n '/tests passed, .* tests failed out of/,$p' "$logs/main tests"
exit "$failed"
