#!/usr/bin/env bash
# Runs every test of Tamrix, from a fresh Debian 12 machine on:
#   1. installs the Debian packages the build needs (scripts/install-deps.sh);
#   2. native build (build/native) and all its tests;
#   3. the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer
#      (build/sanitize);
#   4. the merge fuzzer, built with clang, for a bounded time (build/fuzz);
#   5. the Windows builds and their tests, when scripts/test-windows.sh is there.
# Stops at the first stage that fails.  The last line is "N passed, N failed",
# the test counts summed over the stages.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"

jobs=2
fuzz_seconds="${TAMRIX_FUZZ_SECONDS:-60}"
passed=0
failed=0
skipped=0

finish() {
  local line="$passed passed, $failed failed"
  [[ $skipped -gt 0 ]] && line+=", $skipped skipped"
  echo
  echo "$line"
  if [[ $failed -gt 0 || $1 -ne 0 ]]; then
    exit 1
  fi
  exit 0
}

# A stage that failed without a test count of its own (a build, the fuzzer)
# still counts as one failure.
stage_failed() {
  echo "test.sh: $1 failed" >&2
  [[ $failed -eq 0 ]] && failed=1
  finish 1
}

stage() {
  echo
  echo "==== $1"
}

# configure DIR [cmake options...]
configure() {
  local dir="$1"
  shift
  cmake -S "$root" -B "$root/$dir" -Wno-dev "$@" >"$root/$dir.configure.log" 2>&1 || {
    cat "$root/$dir.configure.log"
    return 1
  }
}

# run_ctest DIR NAME [ctest options...]: runs the tests and adds their counts.
run_ctest() {
  local dir="$1" name="$2"
  shift 2
  local junit="$root/$dir/ctest-junit.xml"
  rm -f "$junit"
  (cd "$root/$dir" && ctest --output-on-failure --no-tests=error --timeout 300 \
     --output-junit "$junit" "$@")
  local rc=$?
  if [[ -f "$junit" ]]; then
    local head tests fails skips disabled
    head="$(sed -n '/<testsuite/,/>/p' "$junit" | head -n 12)"
    tests="$(grep -o 'tests="[0-9]*"' <<<"$head" | head -n 1 | tr -dc 0-9)"
    fails="$(grep -o 'failures="[0-9]*"' <<<"$head" | head -n 1 | tr -dc 0-9)"
    skips="$(grep -o 'skipped="[0-9]*"' <<<"$head" | head -n 1 | tr -dc 0-9)"
    disabled="$(grep -o 'disabled="[0-9]*"' <<<"$head" | head -n 1 | tr -dc 0-9)"
    tests=${tests:-0} fails=${fails:-0} skips=${skips:-0} disabled=${disabled:-0}
    passed=$((passed + tests - fails - skips - disabled))
    failed=$((failed + fails))
    skipped=$((skipped + skips + disabled))
  fi
  [[ $rc -eq 0 ]] || stage_failed "$name tests"
}

# ---- 1. packages -------------------------------------------------------------
scripts/install-deps.sh || stage_failed "installing the Debian packages"

# ---- 2. native build and tests -----------------------------------------------
stage "native build (build/native)"
mkdir -p build
configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo || stage_failed "native configure"
cmake --build build/native -j"$jobs" || stage_failed "native build"
stage "native tests"
run_ctest build/native native

# ---- 3. unit tests under ASan and UBSan ----------------------------------------
stage "sanitizer build (build/sanitize)"
configure build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DTAMRIX_SANITIZE=ON || stage_failed "sanitizer configure"
cmake --build build/sanitize -j"$jobs" || stage_failed "sanitizer build"
stage "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
label=()
if (cd build/sanitize && ctest -N -L unit 2>/dev/null | grep -q '^Total Tests: [1-9]'); then
  label=(-L unit)
fi
ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1:strict_string_checks=1}" \
UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
  run_ctest build/sanitize sanitizer "${label[@]}"

# ---- 4. fuzzing ------------------------------------------------------------------
if [[ -f fuzz/CMakeLists.txt ]]; then
  stage "fuzz build (build/fuzz, clang)"
  CXX=clang++ configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMRIX_FUZZ=ON ||
    stage_failed "fuzz configure"
  cmake --build build/fuzz -j"$jobs" --target fuzz_merge || stage_failed "fuzz build"
  fuzzer="$(find build/fuzz -type f -name fuzz_merge -perm -u+x | head -n 1)"
  [[ -n "$fuzzer" ]] || stage_failed "fuzz build (no fuzz_merge program)"
  stage "fuzz_merge for ${fuzz_seconds} s"
  corpus=build/fuzz/corpus
  mkdir -p "$corpus" build/fuzz/artifacts
  seeds=()
  [[ -d fuzz/corpus ]] && seeds=(fuzz/corpus)
  log=build/fuzz/fuzz_merge.log
  if "$fuzzer" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=30 \
       -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/ \
       "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    grep -E '^(Done|#[0-9]+ *DONE|stat::number_of_executed_units)' "$log" || tail -n 3 "$log"
  else
    tail -n 60 "$log"
    stage_failed "fuzz_merge (see $log and build/fuzz/artifacts/)"
  fi
else
  stage "fuzzing skipped: fuzz/ has no CMakeLists.txt"
fi

# ---- 5. Windows builds -------------------------------------------------------------
if [[ -x scripts/test-windows.sh ]]; then
  stage "Windows builds and tests (scripts/test-windows.sh)"
  wlog=build/test-windows.log
  scripts/test-windows.sh 2>&1 | tee "$wlog"
  wrc=${PIPESTATUS[0]}
  # Counts of its own, when it prints a closing "N passed, N failed" line.
  wline="$(grep -E '^([A-Za-z]+: )?[0-9]+ passed, [0-9]+ failed' "$wlog" | tail -n 1 || true)"
  if [[ -n "$wline" ]]; then
    wp="$(sed -E 's/^([A-Za-z]+: )?([0-9]+) passed.*/\2/' <<<"$wline")"
    wf="$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$wline")"
    passed=$((passed + wp))
    failed=$((failed + wf))
  fi
  [[ $wrc -eq 0 ]] || stage_failed "scripts/test-windows.sh"
fi

finish 0
