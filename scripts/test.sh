#!/usr/bin/env bash
# Runs every test of Tamrix, from a fresh Debian 12 machine on:
#   1. installs the Debian packages the build needs (scripts/install-deps.sh);
#   2. native build (build/native) and all its tests;
#   3. all those tests again under AddressSanitizer and UndefinedBehaviorSanitizer
#      (build/sanitize), the Linux program's end-to-end tests included;
#   4. the fuzz targets, built with clang: each replays its regression inputs,
#      then runs for its share of a bounded time (build/fuzz);
#   5. the Windows builds and their tests (scripts/test-windows.sh);
#   6. the release bundle, made twice and checked (tests/release/check_release.sh).
#   7. the Debian package, built, unpacked and checked (tests/release/check_package.sh).
# Every stage is required; the script stops at the first that fails.  A
# stage whose optional packages could not be installed (the 32-bit Wine of
# the i686 end-to-end tests) is skipped, saying why, and counted as skipped.
# The last line is "N passed, N failed", with ", N skipped" when tests were
# skipped: the counts summed over the stages.  Each process the stages left
# running counts as one more failure: it is named, then killed.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"

jobs=2
fuzz_seconds="${TAMRIX_FUZZ_SECONDS:-110}"  # the whole fuzz stage's, shared out
passed=0
failed=0
skipped=0

# Every process the stages start carries this mark, wherever it goes (a tmux
# pane's session, init when its parent ends): see tests/left_over.py.
export TAMRIX_TEST_COMMAND="$$.$(date +%s%N)"

finish() {
  local left
  left="$(python3 tests/left_over.py TAMRIX_TEST_COMMAND)" || left=1
  failed=$((failed + left))
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

# junit_counts FILE: "PASSED FAILED SKIPPED" from ctest's JUnit report.
junit_counts() {
  python3 - "$1" <<'EOF'
import sys
import xml.etree.ElementTree as ET
suite = ET.parse(sys.argv[1]).getroot()
tests, failures, skipped, disabled = (int(suite.get(name, 0)) for name in
                                      ("tests", "failures", "skipped", "disabled"))
print(tests - failures - skipped - disabled, failures, skipped + disabled)
EOF
}

# run_ctest DIR NAME [ctest options...]: runs the tests and adds their counts.
run_ctest() {
  local dir="$1" name="$2"
  shift 2
  local junit="$root/$dir/ctest-junit.xml"
  rm -f "$junit"
  (cd "$root/$dir" && ctest --output-on-failure --no-tests=error --timeout 300 \
     --output-junit "$junit" "$@")
  local rc=$? counts p f s
  counts="$(junit_counts "$junit")" || stage_failed "$name tests (no readable $junit)"
  read -r p f s <<<"$counts"
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
  [[ $rc -eq 0 ]] || stage_failed "$name tests"
}

# ---- 1. packages -------------------------------------------------------------
scripts/install-deps.sh || stage_failed "installing the Debian packages"
export TAMRIX_PACKAGES_INSTALLED=1

# ---- 2. native build and tests -----------------------------------------------
stage "native build (build/native)"
mkdir -p build
configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo || stage_failed "native configure"
cmake --build build/native -j"$jobs" || stage_failed "native build"
stage "native tests"
run_ctest build/native native

# ---- 3. the tests under ASan and UBSan ------------------------------------------
stage "sanitizer build (build/sanitize)"
configure build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DTAMRIX_SANITIZE=ON || stage_failed "sanitizer configure"
cmake --build build/sanitize -j"$jobs" || stage_failed "sanitizer build"
stage "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1:strict_string_checks=1}" \
UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
  run_ctest build/sanitize sanitizer

# ---- 4. fuzzing ------------------------------------------------------------------
stage "fuzz build (build/fuzz, clang)"
CXX=clang++ configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMRIX_FUZZ=ON ||
  stage_failed "fuzz configure"
cmake --build build/fuzz -j"$jobs" --target fuzz_all || stage_failed "fuzz build"
rm -rf build/fuzz/seeds
python3 fuzz/make_seeds.py build/fuzz/seeds || stage_failed "fuzz seeds (fuzz/make_seeds.py)"
# Each target's share of the time, in tenths: the merge and the registry,
# whose inputs cost most, get the most.
for share in fuzz_merge:3 fuzz_registry:2 fuzz_fat_volume:2 fuzz_partitions:1 \
             fuzz_image_format:1 fuzz_tool_output:1; do
  target="${share%:*}"
  seconds=$((fuzz_seconds * ${share#*:} / 10))
  stage "$target for $seconds s"
  fuzz/run_target.sh "$target" build/fuzz -max_total_time="$seconds" ||
    stage_failed "$target (see build/fuzz/$target.log and build/fuzz/artifacts/)"
done

# counted_stage NAME LOG COMMAND...: runs a script whose last line is
# "NAME: N passed, N failed", maybe with ", N skipped", and adds its counts.
counted_stage() {
  local name="$1" log="$2"
  shift 2
  "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]} line
  line="$(tail -n 1 "$log")"
  if [[ "$line" =~ ^$name:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed(,\ ([0-9]+)\ skipped)?$ ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
    skipped=$((skipped + ${BASH_REMATCH[4]:-0}))
  else
    stage_failed "$1 (no closing count line)"
  fi
  [[ $rc -eq 0 ]] || stage_failed "$1"
}

# ---- 5. Windows builds -------------------------------------------------------------
stage "Windows builds and tests (scripts/test-windows.sh)"
counted_stage windows build/test-windows.log scripts/test-windows.sh

# ---- 6. the release bundle ---------------------------------------------------------
stage "release bundle (tests/release/check_release.sh)"
counted_stage release build/test-release.log tests/release/check_release.sh

# ---- 7. the Debian package -----------------------------------------------------------
stage "Debian package (tests/release/check_package.sh)"
counted_stage package build/test-package.log tests/release/check_package.sh

finish 0
