#!/usr/bin/env bash
# Checks that the i686 tamrix.exe can load and run on Windows 95 on a
# Pentium:
#   - it imports from KERNEL32.dll, USER32.dll and ADVAPI32.dll only, by
#     name; every KERNEL32 name is one the Windows 95 KERNEL32.DLL exports
#     (KERNEL32_LIST), every other name is in tests/windows/allowed-imports.txt;
#   - its PE header asks for Windows 4.0: subsystem Windows GUI 4.0, OS
#     version 4.0; there is no TLS directory;
#   - its code holds no instruction newer than the Pentium: no SSE register,
#     no MMX register, no CMOV/FCMOV/FCOMI;
#   - none of its objects needs a static constructor (no C runtime runs
#     them) or thread-local storage;
#   - it holds dialog 102, bitmaps 106 and 116, icon group 101 and a version
#     block, and the dialog has no system menu; the pictures in resources/
#     are the ones resources/make_art.py draws;
#   - it is tens of KB, not hundreds.
#
#   tests/windows/check_exe.sh BUILD_DIR [KERNEL32_LIST]
#
# KERNEL32_LIST defaults to ../shared/data/win95-exports/kernel32.txt beside
# the repository.  Prints one line per check and "exe: N passed, N failed".
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build="${1:?usage: check_exe.sh BUILD_DIR [KERNEL32_LIST]}"
exe="$build/tamrix.exe"
kernel32_list="${2:-$repo/../shared/data/win95-exports/kernel32.txt}"
allowed="$here/allowed-imports.txt"
objdump=i686-w64-mingw32-objdump
windres=i686-w64-mingw32-windres

passed=0
failed=0
check() {  # check NAME PROBLEMS...: passes when no problem is given
  local name="$1"
  shift
  if [[ $# -eq 0 ]]; then
    passed=$((passed + 1))
    echo "PASS $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    printf '     %s\n' "$@"
  fi
}

[[ -f "$exe" ]] || { echo "check_exe: no $exe" >&2; exit 1; }
[[ -f "$kernel32_list" ]] || { echo "check_exe: no $kernel32_list" >&2; exit 1; }

headers="$("$objdump" -p "$exe" 2>&1)" || { echo "check_exe: $headers" >&2; exit 1; }

# ---- imports ----------------------------------------------------------------------

# "DLL function" for every import; "DLL #ordinal" for one by ordinal.
imports="$(awk '
  /^[ \t]*DLL Name:/ { dll = $3; next }
  /^[ \t]*vma:/ { next }
  dll != "" && /^[ \t]*[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z_]/ { print dll, $3; next }
  dll != "" && /^[ \t]*[0-9a-f]+[ \t]+<none>/ { print dll, "#" $2; next }
  /^[ \t]*$/ { next }
  /^[^ \t]/ { dll = "" }
' <<<"$headers")"

problems=()
while read -r dll; do
  case "${dll^^}" in
    KERNEL32.DLL | USER32.DLL | ADVAPI32.DLL) ;;
    *) problems+=("imports from $dll") ;;
  esac
done < <(grep -o 'DLL Name: .*' <<<"$headers" | cut -d' ' -f3)
[[ -n "$imports" ]] || problems+=("no imports found (objdump output not understood)")
check "imports only from KERNEL32.dll, USER32.dll, ADVAPI32.dll" "${problems[@]}"

problems=()
while read -r dll name; do
  [[ -z "$dll" ]] && continue
  if [[ "$name" == \#* ]]; then
    problems+=("$dll imported by ordinal $name")
  elif [[ "${dll^^}" == KERNEL32.DLL ]]; then
    grep -qxF "$name" "$kernel32_list" || problems+=("$name is not exported by Windows 95's KERNEL32")
  fi
done <<<"$imports"
check "every KERNEL32 import is exported by Windows 95 ($(grep -ci '^kernel32' <<<"$imports") names)" \
  "${problems[@]}"

problems=()
while read -r dll name; do
  [[ -z "$dll" || "${dll^^}" == KERNEL32.DLL ]] && continue
  grep -v '^#' "$allowed" | grep -qix "$dll $name" || problems+=("$dll $name is not in allowed-imports.txt")
done <<<"$imports"
check "every USER32 and ADVAPI32 import is allowed" "${problems[@]}"

# ---- PE header ----------------------------------------------------------------------

field() { awk -v f="$1" '$1 == f { print $2; exit }' <<<"$headers"; }
problems=()
[[ "$(field Magic)" == 010b ]] || problems+=("not PE32 (Magic $(field Magic))")
[[ "$(field Subsystem)" == 00000002 ]] || problems+=("subsystem $(field Subsystem), not Windows GUI (2)")
for f in MajorSubsystemVersion:4 MinorSubsystemVersion:0 MajorOSystemVersion:4 MinorOSystemVersion:0; do
  [[ "$(field "${f%:*}")" == "${f#*:}" ]] || problems+=("${f%:*} is $(field "${f%:*}"), not ${f#*:}")
done
check "PE header: PE32, Windows GUI subsystem 4.0, OS version 4.0" "${problems[@]}"

problems=()
tls="$(grep 'Thread Storage Directory' <<<"$headers")"
[[ "$tls" =~ ^Entry\ 9\ 0+\ 0+\  ]] || problems+=("TLS directory: $tls")
"$objdump" -h "$exe" | grep -q ' \.tls ' && problems+=("a .tls section")
check "no TLS directory" "${problems[@]}"

# ---- instructions ---------------------------------------------------------------------

code="$("$objdump" -d --no-show-raw-insn "$exe")"
newer="$(grep -E '%[xyz]mm[0-9]|%mm[0-7]|[[:space:]](cmov|fcmov|fcomip?|fucomip?)[a-z]*[[:space:]]' <<<"$code" | head -n 5)"
problems=()
[[ $(grep -c '^ *[0-9a-f]*:' <<<"$code") -gt 100 ]] || problems+=("no code disassembled")
[[ -z "$newer" ]] || problems+=("instructions the Pentium lacks:" "$newer")
check "code for the Pentium: no SSE or MMX register, no CMOV, FCMOV or FCOMI" "${problems[@]}"

# ---- objects ------------------------------------------------------------------------------

problems=()
for lib in "$build/libtamrix_core.a" "$build/libtamrix_win32.a"; do
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
style="$(grep -A1 '^102 DIALOGEX' <<<"$rc" | sed -n 's/^STYLE 0x//p')"
if [[ -z "$style" ]]; then
  problems+=("dialog 102 has no style")
else
  # WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT, no WS_SYSMENU.
  (( (0x$style & 0x00080000) == 0 )) || problems+=("dialog 102 has a system menu (style 0x$style)")
  (( (0x$style & 0x80c008c0) == 0x80c008c0 )) || problems+=("dialog 102 style 0x$style")
fi
check "resources: dialog 102, bitmaps 106 and 116, icon 101, version 1.01" "${problems[@]}"

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
