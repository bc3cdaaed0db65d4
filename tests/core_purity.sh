#!/bin/sh
# Three checks of the layers.
#
# First, the includes: each folder includes only the folders below it.
#   base/                      nothing of the project's but itself: the floor
#                              of the Linux program's machinery
#   registry/                  itself and base/
#   platform/                  itself, base/ and registry/ (the seam's registry calls)
#   disk/                      itself, base/, and of platform/ only the seam's
#                              headers (platform.h, file_backend.h)
#   engine/                    itself and platform/
#   inf/ ops/ system/ ui/      the core below them and platform/
#   resources/                 itself
#   linux/ windows/            anything but the other front end
# Nothing below linux/ and windows/ includes a front end.  And no two
# folders include each other, directly or through a third: the folders'
# include graph has no loop.
#
# Then the core's symbols: it fails when the core library needs anything from outside itself but the
# functions of the seam (platform/platform.h).  The only other names allowed
# are the memory functions that the compiler may call on its own for copies
# and clears; every backend, the Win32 one included, must provide these:
#   memcpy memset memmove memcmp
# So no operator new or delete, no __cxa_* (exceptions, guards, atexit), no
# std:: and no C library.  In a sanitizer build the sanitizers' own entry
# points are allowed too.
#
# Last, the line engine's three files call downward only: the streams
# (line_streams) below the scans (line_scan) below the operations
# (line_operations).  No file needs a name that a file above it defines.
#
# Usage: core_purity.sh NM LIBRARY [plain|sanitized]
set -eu
nm="$1"
library="$2"
mode="${3:-plain}"

top="$(dirname "$0")/.."
seam_header="$top/platform/platform.h"

# allowed FOLDER: the folders that FOLDER's files may include.
allowed() {
    case "$1" in
        base) echo "base" ;;
        registry) echo "registry base" ;;
        platform) echo "platform registry base" ;;
        disk) echo "disk platform base" ;;
        engine) echo "engine platform" ;;
        inf) echo "inf engine platform" ;;
        ops) echo "ops inf engine platform" ;;
        system) echo "system engine platform" ;;
        ui) echo "ui ops system inf engine platform resources" ;;
        resources) echo "resources" ;;
        linux) echo "linux ui ops system inf engine platform resources disk registry base" ;;
        windows) echo "windows ui ops system inf engine platform resources" ;;
    esac
}
layers_bad=0
edges="${TMPDIR:-/tmp}/core_purity_edges.$$"
: >"$edges"
for folder in base registry platform disk engine inf ops system ui resources linux windows; do
    [ -d "$top/$folder" ] || continue
    ok="$(allowed "$folder")"
    # Each quoted include, resolved against its file's folder, as the
    # project's top-level folder it lands in.
    for file in $(find "$top/$folder" -name '*.h' -o -name '*.cpp' -o -name '*.rc'); do
        dir="$(dirname "$file")"
        sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" |
        while read -r inc; do
            target="$(realpath -m "$dir/$inc")"
            rel="${target#"$(realpath -m "$top")"/}"
            case "$rel" in
                /*) echo "core_purity: $file includes $inc, outside the project" ; continue ;;
            esac
            to="${rel%%/*}"
            case " $ok " in
                *" $to "*) ;;
                *) echo "core_purity: ${file#"$top"/} ($folder/) includes $inc ($to/)" ;;
            esac
            if [ "$folder" = disk ] && [ "$to" = platform ] &&
                [ "$rel" != platform/platform.h ] && [ "$rel" != platform/file_backend.h ]; then
                echo "core_purity: ${file#"$top"/} (disk/) includes $inc, not a seam header"
            fi
            [ "$to" = "$folder" ] || echo "$folder $to" >>"$edges"
        done
    done
done >"${TMPDIR:-/tmp}/core_purity.$$"
if [ -s "${TMPDIR:-/tmp}/core_purity.$$" ]; then
    cat "${TMPDIR:-/tmp}/core_purity.$$" >&2
    layers_bad=1
fi
rm -f "${TMPDIR:-/tmp}/core_purity.$$"
if ! sort -u "$edges" | tsort >/dev/null 2>"$edges.loop"; then
    echo "core_purity: folders include each other: $(tr '\n' ' ' <"$edges.loop")" >&2
    layers_bad=1
fi
rm -f "$edges" "$edges.loop"
[ "$layers_bad" -eq 0 ] || { echo "core_purity: an include reaches a layer it may not" >&2; exit 1; }
[ -f "$library" ] || { echo "core_purity: $library not built" >&2; exit 1; }

list=$(mktemp)
trap 'rm -f "$list" "$list.defined" "$list.undefined"' EXIT

# Names that the archive's objects define and that they need.  The seam has
# C linkage, so its functions appear by their plain names.
"$nm" --defined-only "$library" | awk 'NF == 3 { print $3 }' | sort -u >"$list.defined"
"$nm" --undefined-only "$library" | awk 'NF >= 2 { print $NF }' | sort -u >"$list.undefined"
comm -23 "$list.undefined" "$list.defined" >"$list"

bad=0
seam=0
while read -r name; do
    case "$name" in
        memcpy | memset | memmove | memcmp) continue ;;
        # Made by the linker itself for position-independent code.
        _GLOBAL_OFFSET_TABLE_) continue ;;
    esac
    # A function of the seam, declared there.
    if printf '%s\n' "$name" | grep -Eq '^platform_[a-z_]+$' &&
        grep -Eq "[ *]$name\(" "$seam_header"; then
        seam=$((seam + 1))
        continue
    fi
    if [ "$mode" = sanitized ]; then
        case "$name" in
            __asan_* | __ubsan_* | __sanitizer_* | __lsan_* | __start___sancov* | __stop___sancov*)
                continue ;;
        esac
    fi
    echo "core_purity: the core needs $(printf '%s\n' "$name" | c++filt) ($name)" >&2
    bad=1
done <"$list"

if [ "$seam" -eq 0 ]; then
    echo "core_purity: no seam function is used at all; is $library the core?" >&2
    exit 1
fi
[ "$bad" -eq 0 ] || exit 1

# names KIND FILE: the names the engine's FILE.cpp object needs (undefined)
# or gives (defined), by the member name nm prints before each line.
names() {
    "$nm" -A "--$1-only" "$library" | awk -v member="$2.cpp.o" -F: '$2 ~ "^" member' |
        awk '{ print $NF }' | sort -u
}
for pair in "line_streams line_scan" "line_streams line_operations" "line_scan line_operations"; do
    set -- $pair
    names undefined "$1" >"$list.undefined"
    names defined "$2" >"$list.defined"
    upward="$(comm -12 "$list.undefined" "$list.defined" | tr '\n' ' ')"
    if [ -n "$upward" ]; then
        echo "core_purity: engine/$1.cpp calls up into engine/$2.cpp: $upward" >&2
        bad=1
    fi
done
[ "$bad" -eq 0 ] || exit 1
echo "core_purity: $seam seam functions and nothing else; the engine's files call downward"
