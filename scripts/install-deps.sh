#!/usr/bin/env bash
# Installs every package of scripts/debian-packages.txt that this machine
# lacks.  Quiet and idempotent: prints nothing when nothing is missing.
#
# Packages named NAME:i386 (the 32-bit Wine of the Windows tests) are only
# wanted where this kernel runs 32-bit programs; for them the i386
# architecture is added to dpkg first.
#
#   scripts/install-deps.sh              installs what is missing
#   scripts/install-deps.sh --runs-i386  installs nothing; exit status 0 when
#                                        this kernel runs 32-bit i386 programs
set -euo pipefail

list="$(dirname "${BASH_SOURCE[0]}")/debian-packages.txt"

# runs_i386: runs a 93-byte ELF32 i386 program that only calls exit(0)
# through int 0x80.  The kernel says whether it runs it; uname cannot
# (a 64-bit kernel may be built without 32-bit support).
runs_i386() {
  local dir rc=0
  dir="$(mktemp -d)"
  # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$dir/probe"
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$dir/probe"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$dir/probe"
  printf '\x00\x00\x00\x00' >>"$dir/probe"
  # One loadable segment: the whole file at 0x08048000, read and execute.
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$dir/probe"
  printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$dir/probe"
  # mov eax, 1 (exit); xor ebx, ebx; int 0x80
  printf '\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$dir/probe"
  chmod +x "$dir/probe"
  "$dir/probe" 2>/dev/null || rc=1
  rm -rf "$dir"
  return $rc
}

if [[ "${1:-}" == --runs-i386 ]]; then
  runs_i386
  exit
fi
[[ $# -eq 0 ]] || { echo "usage: install-deps.sh [--runs-i386]" >&2; exit 2; }

i386=unknown
missing=()
while IFS= read -r line || [[ -n "$line" ]]; do
  line="${line%%#*}"
  for pkg in $line; do
    if [[ "$pkg" == *:i386 ]]; then
      [[ $i386 == unknown ]] && { runs_i386 && i386=yes || i386=no; }
      [[ $i386 == yes ]] || continue
    fi
    status="$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)"
    [[ "$status" == installed ]] || missing+=("$pkg")
  done
done < "$list"

[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "install-deps: missing ${missing[*]}, and not root (no sudo)" >&2
    exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
       apt-get update -qq -o DPkg::Lock::Timeout=600 >"$log" 2>&1 ||
   ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
       apt-get install -y -qq --no-install-recommends \
       -o DPkg::Lock::Timeout=600 "${missing[@]}" >>"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: apt-get failed" >&2
  exit 1
fi
