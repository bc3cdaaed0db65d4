#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh builds, into a scratch
# folder, as a user gets it:
#   - lintian finds no error, and no warning that debian/ does not override
#     with its reason (skipped, saying why, where lintian is missing);
#   - it holds exactly the program, its manual page and completion, the
#     documents and the Windows release, nothing of the build;
#   - dpkg-deb -I: Depends on mtools and the shared libraries, Recommends
#     the QEMU and FUSE packages and bash-completion, Suggests libcreg-utils;
#   - unpacked with dpkg -x: its tamrix --version names the version and the
#     licence, its tamrix status reads a copy of sample/WINDOWS, and man -l
#     renders its manual page without a warning (that its words agree with
#     tamrix --help is tests/posix/test_documents.py's).
#
#   tests/release/check_package.sh
#
# Prints one line per check and "package: N passed, N failed", with
# ", N skipped" when a check could not run here.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

source "$here/../check.sh"
skipped=0
finish() {
  local line="package: $passed passed, $failed failed"
  [[ $skipped -gt 0 ]] && line+=", $skipped skipped"
  echo
  echo "$line"
  [[ $failed -eq 0 ]]
  exit
}

version="$("$repo/scripts/version.sh")"
deb="$scratch/out/tamrix_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"

problems=()
"$repo/scripts/package.sh" "$scratch/out" >"$scratch/package.log" 2>&1 ||
  problems+=("package.sh failed:" "$(tail -n 20 "$scratch/package.log")")
[[ -f "$deb" ]] || problems+=("no $(basename "$deb")")
check "package.sh writes $(basename "$deb")" "${problems[@]}"
[[ ${#problems[@]} -eq 0 ]] || finish

if command -v lintian >/dev/null; then
  # Root is told that lintian had rather not run as root; that line is no tag.
  said="$(lintian --fail-on error,warning "$deb" 2>&1)"
  rc=$?
  said="$(grep -v '^running with root privileges is not recommended!$' <<<"$said")"
  problems=()
  [[ $rc -eq 0 && -z "$said" ]] || problems+=("lintian (status $rc):" "$said")
  check "lintian: no error, no warning left unexplained" "${problems[@]}"
else
  apt_said="$(awk -F '\t' '$1 == "lintian" { print $2 }' "$repo/build/skipped-packages.txt" 2>/dev/null)"
  echo "SKIP lintian: not installed${apt_said:+ (apt: $apt_said)}"
  skipped=$((skipped + 1))
fi

problems=()
listed="$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' | sort)"
expected="$(sort <<EOF2
./usr/bin/tamrix
./usr/share/bash-completion/completions/tamrix
./usr/share/doc/tamrix/LICENSE
./usr/share/doc/tamrix/README.md.gz
./usr/share/doc/tamrix/changelog.gz
./usr/share/doc/tamrix/copyright
./usr/share/lintian/overrides/tamrix
./usr/share/man/man1/tamrix.1.gz
./usr/share/tamrix/windows/README.TXT
./usr/share/tamrix/windows/tamrix-$version.img
./usr/share/tamrix/windows/tamrix-$version.zip
EOF2
)"
[[ "$listed" == "$expected" ]] ||
  problems+=("holds other files:" "$(diff <(echo "$expected") <(echo "$listed") | grep '^[<>]')")
check "the package holds the program, its page and completion, the documents and the Windows release" \
  "${problems[@]}"

problems=()
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Version)" == "$version" ]] || problems+=("Version: $(field Version)")
[[ "$(field Depends)" =~ ^mtools,\ .*libc6\ .*libncurses ]] ||
  problems+=("Depends: $(field Depends)")
[[ "$(field Recommends)" == "qemu-utils, qemu-system-common, fuse3, bash-completion" ]] ||
  problems+=("Recommends: $(field Recommends)")
[[ "$(field Suggests)" == "libcreg-utils" ]] || problems+=("Suggests: $(field Suggests)")
shown="$(dpkg-deb -I "$deb")"
grep -qx ' Depends: mtools, .*' <<<"$shown" || problems+=("dpkg-deb -I shows no Depends line")
check "dpkg-deb -I: version $version, Depends mtools and the libraries, Recommends, Suggests" \
  "${problems[@]}"

root="$scratch/root"
dpkg -x "$deb" "$root"
tamrix="$root/usr/bin/tamrix"

problems=()
said="$("$tamrix" --version 2>&1)" || problems+=("status $?")
[[ "$(head -n 1 <<<"$said")" == "tamrix $version" ]] || problems+=("first line: $(head -n 1 <<<"$said")")
grep -q "License MIT" <<<"$said" || problems+=("no licence line:" "$said")
check "its tamrix --version: \"tamrix $version\" and the MIT licence" "${problems[@]}"

problems=()
cp -r "$repo/sample/WINDOWS" "$scratch/WINDOWS"
said="$("$tamrix" status --windows-dir "$scratch/WINDOWS" 2>&1)"
rc=$?
# The sample is not patched: status says so, with status 3.
[[ $rc -eq 3 && "$said" == $'Windows in the folder: version 4.00.950, no service string: platform kind 1\nINF/MACHINE.INF: not installed\nINF/USB.INF: not installed\nSYSTEM.DAT: holds 4 of the ten device keys' ]] ||
  problems+=("status $rc:" "$said")
diff -r "$repo/sample/WINDOWS" "$scratch/WINDOWS" >/dev/null || problems+=("status changed the folder")
check "its tamrix status reads the sample Windows folder and changes nothing" "${problems[@]}"

problems=()
page="$root/usr/share/man/man1/tamrix.1.gz"
text="$(MANWIDTH=80 man --warnings -l "$page" 2>"$scratch/man.err")" || problems+=("man -l failed")
[[ -s "$scratch/man.err" ]] && problems+=("man warns:" "$(cat "$scratch/man.err")")
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" "DISK FORMATS" FILES ENVIRONMENT EXAMPLES; do
  grep -qx "$section" <<<"$text" || problems+=("no section $section")
done
grep -q "tamrix $version" <<<"$text" || problems+=("the page does not name version $version")
check "man -l renders its manual page, with no warning, in every section" "${problems[@]}"

finish
