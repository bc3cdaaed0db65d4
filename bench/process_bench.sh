#!/bin/bash
# Whole process against whole process: `tamrix install --chipsets` on a
# generated machine.inf against `cp` of the same file, in pairs, each pair
# timed from the shell (EPOCHREALTIME: fork, exec, the run and the exit).
#
#   bench/process_bench.sh [-n PAIRS] [-s SIZE_MB] [-d DIR] BUILD_DIR
#
# BUILD_DIR holds tamrix and bench/bench_merge (a Release build, e.g.
# build/release).  The work folder DIR defaults to a new one in /dev/shm
# (tmpfs), else under $TMPDIR or /tmp; it is removed at the end unless given.
# Before each pair the Windows folder gets a fresh copy of the file; cp
# writes over a copy of its own made by the pair before, as Install frees
# the old machine.inf.  The pairs alternate which one runs first.  Printed:
# the median of each, and the median, smallest and largest of the pairs'
# ratios.  Goal: tamrix within 2 times cp at 10 MB.
set -eu

pairs=9
size=10
dir=
while getopts n:s:d: option; do
    case $option in
        n) pairs=$OPTARG ;;
        s) size=$OPTARG ;;
        d) dir=$OPTARG ;;
        *) echo "usage: $0 [-n PAIRS] [-s SIZE_MB] [-d DIR] BUILD_DIR" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || { echo "usage: $0 [-n PAIRS] [-s SIZE_MB] [-d DIR] BUILD_DIR" >&2; exit 2; }
tamrix=$1/tamrix
generator=$1/bench/bench_merge
for program in "$tamrix" "$generator"; do
    [ -x "$program" ] || { echo "process_bench: $program is not built" >&2; exit 2; }
done

made_dir=
if [ -z "$dir" ]; then
    if [ -d /dev/shm ] && [ -w /dev/shm ]; then
        dir=$(mktemp -d /dev/shm/tamrix-process-XXXXXX)
    else
        dir=$(mktemp -d "${TMPDIR:-/tmp}/tamrix-process-XXXXXX")
    fi
    made_dir=1
fi
mkdir -p "$dir/WINDOWS/inf"
source_file=$dir/source.inf
target=$dir/WINDOWS/inf/machine.inf
copy=$dir/copy.inf
times=$dir/times.txt
cleanup() {
    rm -f "$source_file" "$target" "$copy" "$times"
    rmdir "$dir/WINDOWS/inf" "$dir/WINDOWS" 2>/dev/null || true
    [ -z "$made_dir" ] || rmdir "$dir" 2>/dev/null || true
}
trap cleanup EXIT

"$generator" -w "$source_file" "$size" >/dev/null
source_bytes=$(stat -c %s "$source_file")
cp "$source_file" "$copy"

# Microseconds between two EPOCHREALTIME values.
elapsed() {
    local start=${1/./} end=${2/./}
    echo $((10#$end - 10#$start))
}

run_tamrix() {
    local start=$EPOCHREALTIME
    "$tamrix" install --chipsets --windows-dir "$dir/WINDOWS" --platform-kind 1 >/dev/null
    local end=$EPOCHREALTIME
    tamrix_us=$(elapsed "$start" "$end")
    [ "$(stat -c %s "$target")" -gt "$source_bytes" ] ||
        { echo "process_bench: tamrix added nothing" >&2; exit 1; }
}

run_cp() {
    local start=$EPOCHREALTIME
    cp "$source_file" "$copy"
    local end=$EPOCHREALTIME
    cp_us=$(elapsed "$start" "$end")
}

: >"$times"
for ((pair = 1; pair <= pairs; pair++)); do
    cp "$source_file" "$target"
    if ((pair % 2)); then
        run_tamrix
        run_cp
    else
        run_cp
        run_tamrix
    fi
    echo "$tamrix_us $cp_us" >>"$times"
done

echo "Tamrix whole process: tamrix install --chipsets --platform-kind 1 against cp,"
echo "a generated $size MB machine.inf ($source_bytes bytes) in $dir, $pairs pairs"
awk -v goal_size="$size" '
    function median(values, n,    sorted, i, j, t) {
        for (i = 1; i <= n; i++) sorted[i] = values[i]
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) {
                t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t
            }
        return n % 2 ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
    }
    {
        n++; tamrix[n] = $1 / 1000; cp[n] = $2 / 1000; ratio[n] = $1 / $2
        if (n == 1 || ratio[n] < low) low = ratio[n]
        if (n == 1 || ratio[n] > high) high = ratio[n]
    }
    END {
        printf "  tamrix install  median %7.1f ms\n", median(tamrix, n)
        printf "  cp              median %7.1f ms\n", median(cp, n)
        r = median(ratio, n)
        printf "  tamrix / cp     median %7.2fx (pairs %.2f-%.2f)\n", r, low, high
        if (goal_size == 10)
            printf "goal, tamrix within 2x cp at 10 MB: %s (%.2fx)\n", r <= 2 ? "met" : "NOT met", r
    }' "$times"
