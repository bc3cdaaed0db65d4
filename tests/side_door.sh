#!/bin/sh
# No side door to the files of the Windows folder: every change of one goes
# through the seam's file layer (platform/file_backend.h), whose backends
# live in platform/ and disk/, so that the bookkeeping of a run's files
# (what an interruption deletes, what the stop line names) and the rules of
# a swap hold whoever makes the call.  Two checks, as core_purity.sh checks
# the layers:
#   - no object of the program outside platform/ and disk/ needs a call
#     that renames, deletes, links, copies into or changes the attributes
#     of a file (rename, unlink, link, copy_file_range, ioctl, chmod, chown
#     and their kin);
#   - no source outside platform/ and disk/ opens a file for writing,
#     except the lines listed below, none of which reaches the Windows
#     folder.
#
# Usage: side_door.sh NM OBJECT_OR_ARCHIVE...
set -eu
nm="$1"
shift
top="$(dirname "$0")/.."

forbidden='^(rename|renameat|renameat2|unlink|unlinkat|link|linkat|symlink|copy_file_range|sendfile|ioctl|remove|truncate|ftruncate|chmod|fchmod|fchmodat|chown|fchown|lchown|fchownat)(@.*)?$'
bad=0
for object in "$@"; do
    [ -f "$object" ] || { echo "side_door: $object not built" >&2; exit 1; }
    found="$("$nm" --undefined-only "$object" 2>/dev/null | awk 'NF >= 2 { print $NF }' |
             grep -E "$forbidden" | sort -u | tr '\n' ' ')" || true
    if [ -n "$found" ]; then
        echo "side_door: ${object##*/} calls $found" >&2
        bad=1
    fi
done

# Opens for writing outside platform/ and disk/.  Allowed, each with why:
#   linux/open_image.cpp   the disk image file itself, opened once for the
#                          session; its volume is changed through disk/
#   linux/dry_run.cpp      the dry run's copy of a text, in its scratch folder
#   base/start_command.cpp /dev/null, a child's standard streams
allowed='^(linux/open_image.cpp|linux/dry_run.cpp|base/start_command.cpp):'
opens="$(cd "$top" && grep -nE '(\bopen|\bopenat|\bcreat)\s*\(.*(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC)|\bfopen\s*\([^)]*"[wa]' \
         -r --include='*.cpp' --include='*.h' linux ops inf engine system ui windows registry base |
         grep -vE "$allowed")" || true
if [ -n "$opens" ]; then
    printf 'side_door: opens for writing outside platform/ and disk/:\n%s\n' "$opens" >&2
    bad=1
fi
[ "$bad" -eq 0 ] || { echo "side_door: a file may change beside the file layer" >&2; exit 1; }
echo "side_door: every change of a file goes through platform/ and disk/"
