#!/usr/bin/env bash
# Builds the Debian package of Tamrix, the Debian way (debian/: debhelper,
# dh with CMake), and writes it as OUT_DIR/tamrix_VERSION_ARCH.deb:
#
#   scripts/package.sh [OUT_DIR]     (default dist/ in the repository)
#
# dpkg-buildpackage -b -us -uc runs in a clean copy of the working tree
# (its tracked files and the new ones git does not ignore) in build/package,
# since it writes its results beside the tree it builds.  The package holds
# the Linux program, its manual page and bash completion, the README and
# licence, and the Windows release (built there by scripts/release.sh); the
# tests are not built.  Time stamps come from debian/changelog's date.
# Only the .deb is written in OUT_DIR; the build log stays in build/package.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"

[[ $# -le 1 ]] || { echo "usage: package.sh [OUT_DIR]" >&2; exit 2; }
out="${1:-$root/dist}"

fail() {
  echo "package: $*" >&2
  exit 1
}

for tool in dpkg-buildpackage dh git; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

version="$(scripts/version.sh)" || fail "no version in CMakeLists.txt"
packaged="$(dpkg-parsechangelog -l debian/changelog -S Version)"
[[ "$packaged" == "$version" ]] ||
  fail "debian/changelog names version $packaged, CMakeLists.txt $version: add a changelog entry"
arch="$(dpkg-architecture -qDEB_HOST_ARCH)"
deb="tamrix_${version}_${arch}.deb"

scratch="$root/build/package"
source="$scratch/tamrix-$version"
rm -rf "$scratch"
mkdir -p "$source"
git ls-files -z --cached --others --exclude-standard |
  tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null | tar -C "$source" -xf -
[[ -x "$source/debian/rules" ]] || fail "could not copy the working tree to $source"

echo "package: building $deb in $source"
# GIT_CEILING_DIRECTORIES: the copy is no checkout, and git must not take
# this repository's for it.
if ! (cd "$source" && GIT_CEILING_DIRECTORIES="$scratch" \
      DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" \
      dpkg-buildpackage -b -us -uc) >"$scratch/build.log" 2>&1; then
  tail -n 40 "$scratch/build.log" >&2
  fail "dpkg-buildpackage failed (see $scratch/build.log)"
fi
[[ -f "$scratch/$deb" ]] || fail "dpkg-buildpackage wrote no $deb"

mkdir -p "$out"
cp "$scratch/$deb" "$out/$deb"
echo "package: wrote $out/$deb"
