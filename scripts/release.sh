#!/usr/bin/env bash
# Builds the Windows 95 release of Tamrix and writes the bundle:
#
#   TAMRIX.EXE          the i686 executable, once tests/windows/check_exe.sh
#                       has passed it
#   README.TXT          docs/README.TXT for the user: CR LF, the version filled in
#   tamrix-VER.img      a 1.44 MB FAT12 floppy image, label TAMRIX, holding both
#   tamrix-VER.zip      both files
#   SHA256SUMS          the checksums of the four files above
#
#   scripts/release.sh [OUT_DIR]     (default dist/ in the repository)
#
# The executable is built from the working tree, in a clean build folder
# (build/release-i686, or $TAMRIX_RELEASE_BUILD).  Every time stamp in the
# image and the zip is SOURCE_DATE_EPOCH, by default the date of the last
# commit, in UTC; the volume serial number is fixed.  Two runs on the same
# commit therefore write the same bytes.  VER is the CMake
# project's version (scripts/version.sh).
# Only the five files are written in OUT_DIR; nothing there is touched before
# all of them are made.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"

[[ $# -le 1 ]] || { echo "usage: release.sh [OUT_DIR]" >&2; exit 2; }
out="${1:-$root/dist}"
build="${TAMRIX_RELEASE_BUILD:-$root/build/release-i686}"

fail() {
  echo "release: $*" >&2
  exit 1
}

for tool in mformat mcopy python3 sha256sum i686-w64-mingw32-g++; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

version="$(scripts/version.sh)" || fail "no version in CMakeLists.txt"

if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
  SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null)" ||
    fail "not a git checkout: set SOURCE_DATE_EPOCH"
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || fail "SOURCE_DATE_EPOCH is not a number of seconds"
# FAT and zip keep local times from 1980 on: UTC, so that the zone of the
# machine that builds does not change the bytes.
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
(( SOURCE_DATE_EPOCH >= 315532800 )) || fail "SOURCE_DATE_EPOCH is before 1980"

if [[ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]]; then
  echo "release: warning: the working tree has uncommitted changes; the bundle is not the commit's" >&2
fi

# ---- the executable ------------------------------------------------------------

# The Windows program's flags are its own (the toolchain file's and the
# build type's): flags a caller exports, as a Debian package build does,
# would change its bytes or break its link without a C runtime.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS

echo "release: building Tamrix $version in $build"
rm -rf "$build"
mkdir -p "$(dirname "$build")"
cmake -S "$root" -B "$build" -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log" >&2; fail "configure failed"; }
cmake --build "$build" -j2 >"$build.build.log" 2>&1 ||
  { tail -n 40 "$build.build.log" >&2; fail "build failed (see $build.build.log)"; }

echo "release: checking the executable"
tests/windows/check_exe.sh "$build" >"$build.check.log" 2>&1 ||
  { cat "$build.check.log" >&2; fail "tests/windows/check_exe.sh rejected $build/tamrix.exe"; }

# ---- the bundle, made aside first ---------------------------------------------

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
image="tamrix-$version.img"
zip="tamrix-$version.zip"

cp "$build/tamrix.exe" "$stage/TAMRIX.EXE"

# README.TXT: the version filled in, LF made CR LF; plain ASCII, 76 columns.
python3 - docs/README.TXT "$stage/README.TXT" "$version" <<'EOF'
import sys
source, target, version = sys.argv[1:]
text = open(source, "rb").read().replace(b"@VERSION@", version.encode())
lines = text.split(b"\n")
if lines[-1] != b"":
    sys.exit("release: docs/README.TXT does not end in a line break")
for number, line in enumerate(lines[:-1], 1):
    if any(byte < 0x20 or byte > 0x7e for byte in line):
        sys.exit(f"release: docs/README.TXT line {number}: not printable ASCII")
    if len(line) > 76:
        sys.exit(f"release: docs/README.TXT line {number}: {len(line)} columns, more than 76")
open(target, "wb").write(text.replace(b"\n", b"\r\n"))
EOF

touch -d "@$SOURCE_DATE_EPOCH" "$stage/TAMRIX.EXE" "$stage/README.TXT"

# The floppy: mformat and mcopy both take their time stamps from
# SOURCE_DATE_EPOCH (the label's, and the files' creation and access dates);
# -m keeps the files' modification times, which are the same epoch.
# -N fixes the volume serial number, which mformat otherwise draws at random.
MTOOLS_NO_VFAT=1 mformat -C -i "$stage/$image" -f 1440 -v TAMRIX -N 19950824 ::
MTOOLS_NO_VFAT=1 mcopy -m -i "$stage/$image" "$stage/TAMRIX.EXE" "$stage/README.TXT" ::
[[ $(stat -c %s "$stage/$image") -eq 1474560 ]] || fail "$image is not 1,474,560 bytes"

# The zip: fixed entry order, time, attributes and compression.
python3 - "$stage" "$zip" "$SOURCE_DATE_EPOCH" <<'EOF'
import sys, time, zipfile
stage, name, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
stamp = time.gmtime(epoch)[:6]
with zipfile.ZipFile(f"{stage}/{name}", "w") as bundle:
    for member in ("TAMRIX.EXE", "README.TXT"):
        entry = zipfile.ZipInfo(member, date_time=stamp)
        entry.create_system = 0        # MS-DOS
        entry.external_attr = 0x20     # the archive attribute, as DOS sets it
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(f"{stage}/{member}", "rb") as data:
            bundle.writestr(entry, data.read(), compresslevel=9)
EOF

(cd "$stage" && sha256sum TAMRIX.EXE README.TXT "$image" "$zip" >SHA256SUMS)

mkdir -p "$out"
for f in TAMRIX.EXE README.TXT "$image" "$zip" SHA256SUMS; do
  cp "$stage/$f" "$out/$f"
done
echo "release: wrote TAMRIX.EXE, README.TXT, $image, $zip and SHA256SUMS to $out"
