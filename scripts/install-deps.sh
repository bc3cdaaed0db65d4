#!/usr/bin/env bash
# Installs every package of scripts/debian-packages.txt that this machine
# lacks.  Quiet and idempotent: prints nothing when nothing is missing.
set -euo pipefail

list="$(dirname "${BASH_SOURCE[0]}")/debian-packages.txt"

missing=()
while IFS= read -r line || [[ -n "$line" ]]; do
  line="${line%%#*}"
  for pkg in $line; do
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
export DEBIAN_FRONTEND=noninteractive
if ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
       apt-get update -qq -o DPkg::Lock::Timeout=600 >"$log" 2>&1 ||
   ! "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
       apt-get install -y -qq --no-install-recommends \
       -o DPkg::Lock::Timeout=600 "${missing[@]}" >>"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: apt-get failed" >&2
  exit 1
fi
