#!/usr/bin/env bash
# Runs one fuzz target of build/fuzz on its inputs, for the test command
# (scripts/test.sh) and the campaign (bench/fuzz_campaign.sh):
#   fuzz/run_target.sh TARGET OUT [libFuzzer options...]
# The inputs: what earlier runs found (OUT/corpus/TARGET, where new ones go),
# the committed ones (fuzz/corpus for fuzz_merge, fuzz/regression/TARGET:
# every input that once showed a fault, replayed first), and the seeds
# fuzz/make_seeds.py made in build/fuzz/seeds/TARGET.  The target's
# dictionary is fuzz/TARGET.dict.  A crash, a sanitizer's report or a broken
# property is kept in OUT/artifacts/; the log is OUT/TARGET.log.  Prints
# "TARGET: N inputs in S s" and exits 0, or prints the log's end and exits 1.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

target="$1" out="$2"
shift 2
mkdir -p "$out/corpus/$target" "$out/artifacts"
inputs=("$out/corpus/$target")
[[ $target == fuzz_merge ]] && inputs+=(fuzz/corpus)
for committed in "fuzz/regression/$target" "build/fuzz/seeds/$target"; do
  [[ -d $committed ]] && inputs+=("$committed")
done
log="$out/$target.log"
start=$SECONDS
if build/fuzz/fuzz/"$target" -dict="fuzz/$target.dict" -rss_limit_mb=2048 -timeout=30 \
     -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" "$@" "${inputs[@]}" \
     >"$log" 2>&1; then
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  echo "$target: ${runs:-?} inputs in $((SECONDS - start)) s"
else
  tail -n 40 "$log"
  echo "$target: FAILED (see $log and $out/artifacts/)"
  exit 1
fi
