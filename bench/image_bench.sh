#!/bin/bash
# A run on a large disk image: a 2 GB sparse raw disk, one FAT32 partition
# at 1 MiB holding a Windows folder with a generated 100 KB machine.inf.
# Times `tamrix install --chipsets`, `tamrix uninstall --chipsets` and
# `tamrix status --chipsets` on it, each run ROUNDS times from the shell
# (fork to exit), and prints the medians and the image's allocated size
# before and after: a run reads and writes only the files it needs, and
# never copies the image.
#
#   bench/image_bench.sh [-n ROUNDS] [-d DIR] [-f FORMAT] [-r SYSTEM_DAT] BUILD_DIR
#
# With -r, the Windows folder gets that registry, copied in afresh before
# each install (untimed), and install is timed also with --keep-registry:
# the difference is Exit's registry step (read, check, delete the device
# keys, write SYSTEM.TX1, check it again, swap it in).
#
# With -f, the disk is 1 GiB with a FAT16 partition at sector 63, converted
# by qemu-img into FORMAT (qcow2, vdi, vpc, vmdk, vhdx), which each run
# changes through qemu-storage-daemon: the daemon's start and end are in
# the times, and the time of qemu-img check alone, which each run makes
# before the export, is shown beside them.
# BUILD_DIR holds tamrix and bench/bench_merge (a Release build).  The work
# folder DIR defaults to a new one under $TMPDIR or /tmp (a disk, not tmpfs:
# the image stands where a user's would); it is removed at the end unless
# given.  Goal: an Install well under a second.
set -eu

rounds=5
dir=
format=
registry=
usage="usage: $0 [-n ROUNDS] [-d DIR] [-f FORMAT] [-r SYSTEM_DAT] BUILD_DIR"
while getopts n:d:f:r: option; do
    case $option in
        n) rounds=$OPTARG ;;
        d) dir=$OPTARG ;;
        f) format=$OPTARG ;;
        r) registry=$OPTARG ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
tamrix=$1/tamrix
generator=$1/bench/bench_merge
for program in "$tamrix" "$generator" "$(command -v mformat || echo mformat)" "$(command -v sfdisk || echo sfdisk)"; do
    [ -x "$program" ] || { echo "image_bench: $program is not there (scripts/install-deps.sh installs mtools and fdisk)" >&2; exit 2; }
done
if [ -n "$format" ]; then
    for program in qemu-img qemu-storage-daemon; do
        command -v $program >/dev/null || { echo "image_bench: $program is not there (scripts/install-deps.sh installs it)" >&2; exit 2; }
    done
fi

made_dir=
if [ -z "$dir" ]; then
    dir=$(mktemp -d "${TMPDIR:-/tmp}/tamrix-image-XXXXXX")
    made_dir=$dir
fi
trap '[ -z "$made_dir" ] || rm -rf "$made_dir"' EXIT
mkdir -p "$dir"
image=$dir/win95.img
export MTOOLS_SKIP_CHECK=1

# The disk: 2 GiB, sparse, a FAT32 partition from sector 2048 to the end;
# for another format 1 GiB, FAT16 from sector 63.
rm -f "$image"
if [ -z "$format" ]; then
    size=2G start=2048 type=c fat=-F what="2 GiB sparse raw disk, FAT32 at 1 MiB"
else
    size=1G start=63 type=6 fat= what="1 GiB $format disk, FAT16 at sector 63"
fi
truncate -s $size "$image"
echo "label: dos
start=$start, type=$type" | sfdisk -q "$image"
sectors=$(sfdisk -d "$image" | sed -n "s/.*start= *$start, size= *\([0-9]*\).*/\1/p")
volume="$image@@$((start * 512))"
mformat -i "$volume" -T "$sectors" -h 16 -s 63 -H $start $fat -v WIN95 ::
mmd -i "$volume" ::/WINDOWS ::/WINDOWS/INF
printf 'not a real WIN.COM' >"$dir/WIN.COM"
"$generator" -w "$dir/MACHINE.INF" 0.1 >/dev/null
mcopy -i "$volume" "$dir/WIN.COM" ::/WINDOWS/WIN.COM
mcopy -i "$volume" "$dir/MACHINE.INF" ::/WINDOWS/INF/MACHINE.INF
raw=$image
if [ -n "$format" ]; then
    image=$dir/win95.$format
    qemu-img convert -f raw -O "$format" "$raw" "$image"
fi
allocated_before=$(du -k "$image" | cut -f1)

# run COMMAND [OPTION]: tamrix COMMAND on the image; Exit's restart
# question is answered No.  With -r, an install starts from the registry.
run() {
    local answer=--no
    [ "$1" != status ] || answer=
    "$tamrix" "$1" --chipsets --platform-kind 1 --image "$image" $answer ${2:-} >/dev/null 2>&1
}
fresh_registry() {
    [ -n "$registry" ] || return 0
    mdel -i "$volume" ::/WINDOWS/SYSTEM.TX0 2>/dev/null || true
    mcopy -o -i "$volume" "$registry" ::/WINDOWS/SYSTEM.DAT
}

# ms COMMAND: runs the command once, prints its time in ms; a failed run
# ends the benchmark.
ms() {
    [ "$1" != install ] || fresh_registry
    local start=$EPOCHREALTIME end
    run "$1" "${2:-}" || { echo "image_bench: tamrix $1 failed" >&2; exit 1; }
    end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { print (b - a) * 1000 }'
}
median() { sort -n | sed -n "$(((rounds + 1) / 2))p"; }

# Install and Uninstall alternate, so that each starts from the other's
# result; status runs on the installed file.
installs=() uninstalls=() statuses=() checks=() kept=()
for _ in $(seq "$rounds"); do
    [ -z "$registry" ] || { kept+=("$(ms install --keep-registry)"); run uninstall --keep-registry; }
    installs+=("$(ms install)")
    statuses+=("$(ms status)")
    uninstalls+=("$(ms uninstall)")
done
# What the check before each run adds (qemu_check.h): qemu-img check alone.
for _ in $(seq "$rounds"); do
    [ -n "$format" ] || break
    start=$EPOCHREALTIME
    qemu-img check -f "$format" "$image" >/dev/null 2>&1 || [ $? -eq 63 ]  # 63: no check for it
    end=$EPOCHREALTIME
    checks+=("$(awk -v a="$start" -v b="$end" 'BEGIN { print (b - a) * 1000 }')")
done
[ -z "$format" ] || qemu-img convert -f "$format" -O raw "$image" "$raw"
mcopy -n -i "$volume" ::/WINDOWS/INF/MACHINE.INF "$dir/AFTER.INF"
cmp -s "$dir/MACHINE.INF" "$dir/AFTER.INF" || { echo "image_bench: uninstall did not give machine.inf back" >&2; exit 1; }

echo "Tamrix on a disk image: $what,"
echo "machine.inf $(stat -c %s "$dir/MACHINE.INF") bytes${registry:+, SYSTEM.DAT $(stat -c %s "$registry") bytes}, median of $rounds rounds, in $dir"
report() { printf '  %-15s %8.1f ms\n' "$1" "$(shift; printf '%s\n' "$@" | median)"; }
report install "${installs[@]}"
[ -z "$registry" ] || report "--keep-registry" "${kept[@]}"
report status "${statuses[@]}"
report uninstall "${uninstalls[@]}"
[ -z "$format" ] || report "qemu-img check" "${checks[@]}"
echo "  image allocated: $allocated_before KiB before, $(du -k "$image" | cut -f1) KiB after"
