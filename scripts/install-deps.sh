#!/usr/bin/env bash
# Installs the packages of scripts/debian-packages.txt that this machine
# lacks, in two steps:
#   1. the required ones, above the line "[optional]": every stage needs
#      them, so one that cannot be installed fails the run, named with apt's
#      own last error line;
#   2. the optional ones below it: one that cannot be installed is skipped,
#      and the stage that needs it says so.  The reasons are kept in
#      build/skipped-packages.txt, a line "NAME<TAB>apt's last error line"
#      each, until a later run installs the package.
# A package mirror may serve a broken index for hours.  `apt-get update` is
# then tried once more and its failure tolerated: apt goes on with the lists
# it could fetch, and only a package that still cannot be installed counts.
# Quiet and idempotent: prints nothing when nothing is missing.
#
# Packages named NAME:i386 (the 32-bit Wine of the Windows tests) are only
# wanted where this kernel runs 32-bit programs; for them the i386
# architecture is added to dpkg first.
#
#   scripts/install-deps.sh              installs what is missing
#   scripts/install-deps.sh --runs-i386  installs nothing; exit status 0 when
#                                        this kernel runs 32-bit i386 programs
#   TAMRIX_PACKAGES=FILE                 another package list, in this format
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
list="${TAMRIX_PACKAGES:-$root/scripts/debian-packages.txt}"
skipped_file="$root/build/skipped-packages.txt"

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

# The packages of the list that are not installed, by step.
i386=unknown
required=()
optional=()
step=required
while IFS= read -r line || [[ -n "$line" ]]; do
  line="${line%%#*}"
  [[ "$line" =~ ^[[:space:]]*\[optional\] ]] && { step=optional; continue; }
  for pkg in $line; do
    if [[ "$pkg" == *:i386 ]]; then
      [[ $i386 == unknown ]] && { runs_i386 && i386=yes || i386=no; }
      [[ $i386 == yes ]] || continue
    fi
    status="$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)"
    [[ "$status" == installed ]] && continue
    if [[ $step == required ]]; then required+=("$pkg"); else optional+=("$pkg"); fi
  done
done <"$list"

rm -f "$skipped_file"
[[ ${#required[@]} -eq 0 && ${#optional[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "install-deps: missing ${required[*]} ${optional[*]}, and not root (no sudo)" >&2
    exit 1
  fi
fi

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
apt() {
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout=600 "$@" \
    >"$log" 2>&1
}
# apt's own last error line (or its last line) of the last apt call.
apt_said() {
  grep -E '^E: ' "$log" | tail -n 1 | grep . || tail -n 1 "$log"
}

# install PACKAGE...: all at once; when that fails, one by one, so that each
# one that cannot be installed is known.  Sets not_installed and reasons.
install() {
  not_installed=()
  reasons=()
  apt install -y --no-install-recommends "$@" && return
  local pkg
  for pkg in "$@"; do
    apt install -y --no-install-recommends "$pkg" && continue
    not_installed+=("$pkg")
    reasons+=("$(apt_said)")
  done
}

wanted=("${required[@]}" "${optional[@]}")
echo "install-deps: installing ${wanted[*]}"
if [[ " ${wanted[*]}" == *:i386* ]] &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
if ! apt update && ! apt update; then
  echo "install-deps: apt-get update failed twice, going on with the lists it could fetch" \
       "(apt: $(apt_said))" >&2
fi

if [[ ${#required[@]} -gt 0 ]]; then
  install "${required[@]}"
  if [[ ${#not_installed[@]} -gt 0 ]]; then
    for i in "${!not_installed[@]}"; do
      echo "install-deps: the required package ${not_installed[$i]} cannot be installed" \
           "(apt: ${reasons[$i]})" >&2
    done
    exit 1
  fi
fi

if [[ ${#optional[@]} -gt 0 ]]; then
  install "${optional[@]}"
  mkdir -p "$(dirname "$skipped_file")"
  for i in "${!not_installed[@]}"; do
    echo "install-deps: skipped the optional package ${not_installed[$i]}" \
         "(apt: ${reasons[$i]}); the stage that needs it is skipped" >&2
    printf '%s\t%s\n' "${not_installed[$i]}" "${reasons[$i]}" >>"$skipped_file"
  done
fi
