#!/usr/bin/env bash
# Builds the Windows program and runs its tests:
#   1. build/win-i686    the release for Windows 95 (cmake/toolchain-mingw-i686.cmake),
#                        checked by tests/windows/check_exe.sh: imports, PE
#                        header, Pentium-only code, resources, size; and
#                        tests/windows/check_exe_rejects.sh, that the check
#                        rejects what it should;
#   2. build/win-x86_64  the same code for wine64, with the test driver
#                        (cmake/toolchain-mingw-x86_64.cmake), and the
#                        end-to-end tests tests/windows/e2e.sh under Xvfb;
#   3. the same end-to-end tests of the i686 release under 32-bit Wine,
#      driven by the x86_64 driver; skipped, as one case that says why, where
#      this kernel cannot run 32-bit programs or the 32-bit Wine could not be
#      installed.  TAMRIX_WINE32 names another 32-bit Wine than
#      /usr/lib/wine/wine (a missing one shows the skip).
# The last line is "windows: N passed, N failed", with ", N skipped" added
# when something was skipped; the exit status is non-zero when a build or
# a test failed.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"

passed=0
failed=0
skipped=0

finish() {
  local line="windows: $passed passed, $failed failed"
  [[ $skipped -gt 0 ]] && line+=", $skipped skipped"
  echo
  echo "$line"
  [[ $failed -eq 0 && $1 -eq 0 ]] && exit 0
  exit 1
}

# build ARCH: configures and builds build/win-ARCH; a failure counts as one.
build() {
  local arch="$1" dir="build/win-$1"
  echo "== build $dir"
  if ! cmake -S "$root" -B "$root/$dir" -Wno-dev -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
      >"$root/$dir.configure.log" 2>&1; then
    cat "$root/$dir.configure.log"
    failed=$((failed + 1))
    finish 1
  fi
  if ! cmake --build "$root/$dir" -j2 >"$root/$dir.build.log" 2>&1; then
    tail -n 40 "$root/$dir.build.log"
    failed=$((failed + 1))
    finish 1
  fi
}

# counts LOG: adds the "N passed, N failed" of a test script's last line.
counts() {
  local line
  line="$(grep -E '^[a-z0-9]+: [0-9]+ passed, [0-9]+ failed' "$1" | tail -n 1)"
  if [[ -z "$line" ]]; then
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + $(sed -E 's/^[^:]*: ([0-9]+) passed.*/\1/' <<<"$line")))
  failed=$((failed + $(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")))
}

# scripts/test.sh has installed the packages already.
if [[ -z "${TAMRIX_PACKAGES_INSTALLED:-}" ]]; then
  scripts/install-deps.sh || { failed=$((failed + 1)); finish 1; }
fi

mkdir -p build
build i686
echo "== checks of build/win-i686/tamrix.exe"
tests/windows/check_exe.sh build/win-i686 2>&1 | tee build/win-i686.check.log
counts build/win-i686.check.log
echo "== tests of the checks"
tests/windows/check_exe_rejects.sh 2>&1 | tee build/win-i686.rejects.log
counts build/win-i686.rejects.log

build x86_64
driver=build/win-x86_64/driver.exe
echo "== end-to-end tests under wine64 (build/win-x86_64/tamrix.exe)"
timeout 600 tests/windows/e2e.sh build/win-x86_64/tamrix.exe "$driver" /usr/lib/wine/wine64 2>&1 |
  tee build/win-x86_64.e2e.log
counts build/win-x86_64.e2e.log

wine32="${TAMRIX_WINE32:-/usr/lib/wine/wine}"
if ! scripts/install-deps.sh --runs-i386; then
  echo "SKIP i686 end-to-end: this kernel cannot run 32-bit programs"
  skipped=$((skipped + 1))
elif [[ ! -x "$wine32" ]]; then
  apt_said="$(awk -F '\t' '$1 == "wine32:i386" { print $2 }' build/skipped-packages.txt 2>/dev/null)"
  if [[ -n "$apt_said" ]]; then
    echo "SKIP i686 end-to-end: 32-bit Wine could not be installed (apt: $apt_said)"
  else
    echo "SKIP i686 end-to-end: 32-bit Wine is not installed ($wine32 is missing)"
  fi
  skipped=$((skipped + 1))
else
  echo "== end-to-end tests under 32-bit Wine (build/win-i686/tamrix.exe)"
  timeout 600 tests/windows/e2e.sh build/win-i686/tamrix.exe "$driver" "$wine32" 2>&1 |
    tee build/win-i686.e2e.log
  counts build/win-i686.e2e.log
fi

finish 0
