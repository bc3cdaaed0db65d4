#!/usr/bin/env bash
# Builds Tamrix natively (build/native), installing first what a fresh Debian
# 12 machine lacks, and runs it.  Until the front ends exist, "running" means
# the merge benchmark at small sizes; arguments go to the program.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"

# ---- build ---------------------------------------------------------------------
# build_native: installs the packages and builds everything in build/native.
build_native() {
  scripts/install-deps.sh
  mkdir -p "$root/build"
  local log="$root/build/native.build.log"
  if ! { cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -Wno-dev &&
         cmake --build "$root/build/native" -j2; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: the build failed" >&2
    return 1
  fi
}

# ---- run -----------------------------------------------------------------------
build_native
if [[ $# -eq 0 ]]; then
  set -- 1 10
fi
exec "$root/build/native/bench/bench_merge" "$@"
