#!/bin/bash
# Instructions, not time: `tamrix install --chipsets` on a generated
# machine.inf of each size, counted by valgrind's callgrind, whole process.
# Unlike wall time, the counts do not change with what else the machine
# runs, so they tell apart two builds of the engine on a busy machine.
#
#   bench/instruction_bench.sh BUILD_DIR [SIZE_MB...]     (default: 0.1 1 10)
#
# BUILD_DIR holds tamrix and bench/bench_merge (a Release build).  Printed
# for each size: the instructions and what the new machine.inf's bytes hash
# to, so that two builds can be seen to write the same file.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [SIZE_MB...]" >&2; exit 2; }
build=$1
shift
sizes=${*:-0.1 1 10}
command -v valgrind >/dev/null || { echo "instruction_bench: valgrind is not installed" >&2; exit 2; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/tamrix-instructions-XXXXXX")
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/WINDOWS/inf"
for size in $sizes; do
    "$build/bench/bench_merge" -w "$dir/source.inf" "$size" >/dev/null
    cp "$dir/source.inf" "$dir/WINDOWS/inf/machine.inf"
    count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$build/tamrix" install --chipsets \
                --windows-dir "$dir/WINDOWS" --platform-kind 1 2>&1 >/dev/null | awk '/Collected/ {print $4}')
    printf '%6s MB  %12s instructions  %s\n' "$size" "$count" \
        "$(md5sum <"$dir/WINDOWS/inf/machine.inf" | cut -c1-12)"
done
