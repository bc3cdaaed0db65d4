#!/usr/bin/env bash
# The long fuzz campaign: every target of fuzz/ (the INF merge and each
# reader of foreign bytes) for a million inputs or more, one after the
# other, each in one process (the machine's other cores stay free):
#   bench/fuzz_campaign.sh [INPUTS [TARGET...]]   (default 1000000, all targets)
# The merge's inputs cost most (each is written, flushed and renamed three
# times): about an hour of the campaign is its.
# Builds build/fuzz with clang first (as scripts/test.sh does), makes the
# seeds, and keeps what it finds in build/fuzz/campaign: the corpora, the
# logs and, for any crash, sanitizer report or broken property, the input
# (artifacts/).  Ends with one line for each target ("TARGET: N inputs in
# S s") and the count of targets that failed; README.md gives the figures
# of the last campaign.  A fault found is mended, and its input joins
# fuzz/regression/TARGET, which every run replays first.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

inputs="${1:-1000000}"
shift $(($# > 0 ? 1 : 0))
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(fuzz_registry fuzz_image_format fuzz_partitions
                                       fuzz_fat_volume fuzz_tool_output fuzz_merge)
out=build/fuzz/campaign
CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMRIX_FUZZ=ON \
  >/dev/null || exit 1
cmake --build build/fuzz -j1 --target fuzz_all >/dev/null || exit 1
rm -rf build/fuzz/seeds
python3 fuzz/make_seeds.py build/fuzz/seeds || exit 1

failed=0
for target in "${targets[@]}"; do
  fuzz/run_target.sh "$target" "$out" -runs="$inputs" || failed=$((failed + 1))
done
echo "fuzz campaign: $failed targets failed"
[[ $failed -eq 0 ]]
