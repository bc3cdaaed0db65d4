#!/usr/bin/env bash
# Builds the Linux program (build/native), installing first what a fresh
# Debian 12 machine lacks, and opens the Tamrix dialog in this terminal on a
# scratch copy of sample/WINDOWS in a new temporary folder.  Its SYSTEM.DAT
# (scripts/sample_registry.py) names Windows 95, so the dialog comes without
# the start-up warning, and Exit deletes four device keys there.  Arguments
# go to the program before the folder, e.g. --platform-kind 2 (Windows 95
# with a service release: adds the IRQ router lines).
# TAMRIX_BUILD_DIR names another build folder than build/native.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
build="${TAMRIX_BUILD_DIR:-$root/build/native}"

scripts/install-deps.sh
mkdir -p build
log="$build.build.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -Wno-dev &&
       cmake --build "$build" -j2 --target tamrix; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "run-terminal.sh: the build failed" >&2
  exit 1
fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/tamrix-sample.XXXXXX")"
cp -R sample/WINDOWS "$scratch/"
echo "run-terminal.sh: the sample Windows folder is copied to $scratch/WINDOWS"
status=0
"$build/tamrix" "$@" "$scratch/WINDOWS" || status=$?
echo "run-terminal.sh: tamrix ended with status $status; the files are in $scratch/WINDOWS/INF"
exit "$status"
