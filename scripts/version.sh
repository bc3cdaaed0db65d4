#!/usr/bin/env bash
# Prints Tamrix's version, as the CMake project names it in CMakeLists.txt:
# the one place it is written.  The release files, the Debian package and
# their tests take it from here.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
version="$(sed -n 's/^project(tamrix VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
if [[ ! "$version" =~ ^[0-9]+\.[0-9]+$ ]]; then
  echo "version.sh: no project(tamrix VERSION N.NN ...) line in CMakeLists.txt" >&2
  exit 1
fi
echo "$version"
