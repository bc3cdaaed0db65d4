#!/bin/sh
# Fails when the core library needs anything from outside itself but the
# functions of the seam (platform/platform.h).  The only other names allowed
# are the memory functions that the compiler may call on its own for copies
# and clears; every backend, the Win32 one included, must provide these:
#   memcpy memset memmove memcmp
# So no operator new or delete, no __cxa_* (exceptions, guards, atexit), no
# std:: and no C library.  In a sanitizer build the sanitizers' own entry
# points are allowed too.
#
# Usage: core_purity.sh NM LIBRARY [plain|sanitized]
set -eu
nm="$1"
library="$2"
mode="${3:-plain}"

seam_header="$(dirname "$0")/../platform/platform.h"
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
echo "core_purity: $seam seam functions and nothing else"
