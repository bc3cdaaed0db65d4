#!/usr/bin/env bash
# Checks that the i686 tamrix.exe can load and run on Windows 95 on a
# Pentium:
#   - it imports from KERNEL32.dll, USER32.dll and ADVAPI32.dll only, all by
#     name; every KERNEL32 name is one the Windows 95 KERNEL32.DLL exports
#     (tests/windows/win95-kernel32-exports.txt), every other name is in
#     tests/windows/allowed-imports.txt;
#   - its PE header asks for Windows 4.0: subsystem Windows GUI 4.0, OS
#     version 4.0, image base 0x400000; there is no TLS, load configuration,
#     bound import or delay import directory, none of which Windows 95 reads;
#   - its code holds no instruction newer than the Pentium: no SSE register,
#     no MMX register, no CMOV/FCMOV/FCOMI, no multi-byte NOP, no ENDBR32;
#   - none of its objects needs a static constructor (no C runtime runs
#     them) or thread-local storage;
#   - it holds dialog 102, bitmaps 106 and 116, icon group 101 and a version
#     block; the dialog has no system menu and no DS_ style newer than
#     Windows 95; every bitmap has a 40-byte BITMAPINFOHEADER and at most
#     8 bits per pixel, and no icon image is a PNG; the pictures in
#     resources/ are the ones resources/make_art.py draws;
#   - it is tens of KB, not hundreds.
#
#   tests/windows/check_exe.sh BUILD_DIR
#
# BUILD_DIR holds tamrix.exe and the libraries it is linked from.  The PE
# structures are read by pe_facts.py beside this script.  Prints one line
# per check and "exe: N passed, N failed".
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="${1:?usage: check_exe.sh BUILD_DIR}"
exe="$build/tamrix.exe"
kernel32_list="$here/win95-kernel32-exports.txt"
allowed="$here/allowed-imports.txt"
objdump=i686-w64-mingw32-objdump
windres=i686-w64-mingw32-windres

source "$here/../check.sh"

[[ -f "$exe" ]] || { echo "check_exe: no $exe" >&2; exit 1; }
facts="$(python3 "$here/pe_facts.py" "$exe" 2>&1)" || { echo "check_exe: $facts" >&2; exit 1; }

# ---- imports ----------------------------------------------------------------------

# "DLL function" for every import; "DLL #ordinal" for one by ordinal.
imports="$(sed -n 's/^import //p' <<<"$facts")"

problems=()
[[ -n "$imports" ]] || problems+=("no imports found")
while read -r dll; do
  case "${dll^^}" in
    KERNEL32.DLL | USER32.DLL | ADVAPI32.DLL) ;;
    *) problems+=("imports from $dll") ;;
  esac
done < <(cut -d' ' -f1 <<<"$imports" | sort -u)
check "imports only from KERNEL32.dll, USER32.dll, ADVAPI32.dll" "${problems[@]}"

# Ordinals differ between Windows versions; Windows 95 refuses most of them.
problems=()
while read -r dll name; do
  [[ "$name" == \#* ]] && problems+=("$dll imported by ordinal $name")
done <<<"$imports"
check "every import is by name" "${problems[@]}"

problems=()
while read -r dll name; do
  [[ "${dll^^}" == KERNEL32.DLL && "$name" != \#* ]] || continue
  grep -qxF "$name" "$kernel32_list" || problems+=("$name is not exported by Windows 95's KERNEL32")
done <<<"$imports"
check "every KERNEL32 import is exported by Windows 95 ($(grep -ci '^kernel32' <<<"$imports") names)" \
  "${problems[@]}"

problems=()
while read -r dll name; do
  [[ -z "$dll" || "${dll^^}" == KERNEL32.DLL || "$name" == \#* ]] && continue
  grep -v '^#' "$allowed" | grep -qix "$dll $name" || problems+=("$dll $name is not in allowed-imports.txt")
done <<<"$imports"
check "every USER32 and ADVAPI32 import is allowed" "${problems[@]}"

# ---- PE header ----------------------------------------------------------------------

# header MAGIC SUBSYSTEM SUBSYSTEM_VERSION OS_VERSION IMAGE_BASE
read -r _ magic subsystem subsystem_version os_version image_base <<<"$(grep '^header ' <<<"$facts")"
problems=()
[[ "$magic" == 0x10b ]] || problems+=("not PE32 (magic $magic)")
[[ "$subsystem" == 2 ]] || problems+=("subsystem $subsystem, not Windows GUI (2)")
[[ "$subsystem_version" == 4.0 ]] || problems+=("subsystem version $subsystem_version, not 4.0")
[[ "$os_version" == 4.0 ]] || problems+=("OS version $os_version, not 4.0")
[[ "$image_base" == 0x400000 ]] || problems+=("image base $image_base, not 0x400000")
check "PE header: PE32, Windows GUI subsystem 4.0, OS version 4.0, image base 0x400000" "${problems[@]}"

problems=()
while read -r _ name rva size; do
  case "$name" in
    tls | load-config | bound-import | delay-import) problems+=("$name directory at $rva, $size bytes") ;;
  esac
done < <(grep '^directory ' <<<"$facts")
"$objdump" -h "$exe" | grep -q ' \.tls ' && problems+=("a .tls section")
check "no TLS, load configuration, bound import or delay import directory" "${problems[@]}"

# ---- instructions ---------------------------------------------------------------------

code="$("$objdump" -d --no-show-raw-insn "$exe")"
newer="$(grep -E '%[xyz]mm[0-9]|%mm[0-7]|[[:space:]](cmov|fcmov|fcomip?|fucomip?)[a-z]*[[:space:]]|[[:space:]](nop[lw]|endbr32)([[:space:]]|$)' <<<"$code" | head -n 5)"
problems=()
[[ $(grep -c '^ *[0-9a-f]*:' <<<"$code") -gt 100 ]] || problems+=("no code disassembled")
[[ -z "$newer" ]] || problems+=("instructions the Pentium lacks:" "$newer")
check "code for the Pentium: no SSE or MMX register, no CMOV, FCMOV, FCOMI, NOPL/NOPW or ENDBR32" \
  "${problems[@]}"

# ---- objects ------------------------------------------------------------------------------

problems=()
for lib in "$build/libtamrix_core.a" "$build/libtamrix_win32.a" "$build/libtamrix_windows.a"; do
  if [[ ! -f "$lib" ]]; then
    problems+=("no $lib")
    continue
  fi
  if ! sections="$("$objdump" -h "$lib" 2>&1)"; then
    problems+=("${lib##*/}: $(head -n 1 <<<"$sections")")
    continue
  fi
  bad="$(grep -E ' \.(ctors|dtors|init_array|fini_array|tls)[. ]' <<<"$sections" | head -n 3)"
  [[ -z "$bad" ]] || problems+=("${lib##*/} needs what no C runtime provides:" "$bad")
done
check "no static constructors or thread-local data in the objects" "${problems[@]}"

# ---- resources ----------------------------------------------------------------------------

rc="$("$windres" --input-format=coff -i "$exe" -O rc 2>&1)"
problems=()
for r in '^102 DIALOGEX 0, 0, 215, 106' '^106 2 ' '^116 2 ' '^101 14 ' '^1 VERSIONINFO' \
         'CAPTION "Tamrix.exe R1.01"' 'FONT 10, "System"' 'VALUE "ProductName", "Tamrix"' \
         'VALUE "FileVersion", "1.01"' 'FILEVERSION 1, 0, 1, 0'; do
  grep -q "$r" <<<"$rc" || problems+=("missing: $r")
done
style="$(sed -n 's/^dialog 102 //p' <<<"$facts")"
if [[ -z "$style" ]]; then
  problems+=("no dialog 102")
else
  # WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT, no WS_SYSMENU.
  (( (style & 0x00080000) == 0 )) || problems+=("dialog 102 has a system menu (style $style)")
  (( (style & 0x80c008c0) == 0x80c008c0 )) || problems+=("dialog 102 style $style")
fi
check "resources: dialog 102, bitmaps 106 and 116, icon 101, version 1.01" "${problems[@]}"

# The DS_ styles Windows 95 knows are DS_ABSALIGN to DS_CONTEXTHELP, 0x0001
# to 0x2000; the other two bits of the low word (DS_USEPIXELS is 0x8000)
# came later.
problems=()
while read -r _ id style; do
  (( (style & 0xc000) == 0 )) || problems+=("dialog $id style $style has DS_ bits Windows 95 lacks")
done < <(grep '^dialog ' <<<"$facts")
grep -q '^dialog ' <<<"$facts" || problems+=("no dialog found")
check "resources: only the DS_ dialog styles Windows 95 knows" "${problems[@]}"

# Windows 95 reads DIBs with the 40-byte BITMAPINFOHEADER; the V4 and V5
# headers and PNG icon images came later.  A palette of at most 256 colours
# shows on its 256-colour displays.
problems=()
while read -r kind id header bits; do
  if [[ "$header" == png ]]; then
    problems+=("$kind $id is a PNG")
  elif [[ "$kind" == bitmap ]]; then
    [[ "$header" == 40 ]] || problems+=("bitmap $id has a $header-byte header, not 40")
    (( bits <= 8 )) || problems+=("bitmap $id has $bits bits per pixel")
  fi
done < <(grep -E '^(bitmap|icon) ' <<<"$facts")
grep -q '^bitmap ' <<<"$facts" || problems+=("no bitmap found")
grep -q '^icon ' <<<"$facts" || problems+=("no icon found")
check "resources: bitmaps with a 40-byte header and at most 8 bits per pixel, no PNG icon" \
  "${problems[@]}"

problems=()
art="$(mktemp -d)"
if python3 "$repo/resources/make_art.py" "$art" >/dev/null; then
  for f in logo.bmp banner.bmp tamrix.ico; do
    cmp -s "$art/$f" "$repo/resources/$f" || problems+=("resources/$f is not what make_art.py draws")
  done
else
  problems+=("make_art.py failed")
fi
rm -rf "$art"
check "resources: the pictures are the ones resources/make_art.py draws" "${problems[@]}"

# ---- size ----------------------------------------------------------------------------------

size=$(stat -c %s "$exe")
problems=()
[[ $size -lt 100000 ]] || problems+=("$size bytes")
check "size: $size bytes ($((size / 1024)) KB)" "${problems[@]}"

echo
echo "exe: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
