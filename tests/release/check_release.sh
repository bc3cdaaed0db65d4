#!/usr/bin/env bash
# Checks the release bundle that scripts/release.sh writes: runs it twice,
# each time with a clean build, into scratch folders, and checks that
#   - the floppy image is 1,474,560 bytes, labelled TAMRIX, clean to
#     fsck.fat, and holds the checked executable and README.TXT;
#   - README.TXT is printable ASCII with CR LF line ends, at most 76
#     columns, and names the version;
#   - the zip holds exactly TAMRIX.EXE and README.TXT, with their bytes;
#   - SHA256SUMS verifies;
#   - the second run wrote the same bytes as the first.
#
#   tests/release/check_release.sh
#
# Prints one line per check and "release: N passed, N failed".
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

source "$here/../check.sh"
finish() {
  echo
  echo "release: $passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
}

version="$("$repo/scripts/version.sh")"
image="tamrix-$version.img"
zip="tamrix-$version.zip"
files=(TAMRIX.EXE README.TXT "$image" "$zip" SHA256SUMS)

# run N: the release into $scratch/outN, built in $scratch/buildN.
run() {
  TAMRIX_RELEASE_BUILD="$scratch/build$1" "$repo/scripts/release.sh" "$scratch/out$1" \
    >"$scratch/run$1.log" 2>&1
}

problems=()
run 1 || problems+=("release.sh failed:" "$(tail -n 20 "$scratch/run1.log")")
for f in "${files[@]}"; do
  [[ -f "$scratch/out1/$f" ]] || problems+=("no $f")
done
check "release.sh writes ${files[*]}" "${problems[@]}"
[[ ${#problems[@]} -eq 0 ]] || finish

out="$scratch/out1"
img="$out/$image"
export MTOOLS_SKIP_CHECK=1

problems=()
cmp -s "$out/TAMRIX.EXE" "$scratch/build1/tamrix.exe" || problems+=("TAMRIX.EXE is not the checked exe")
for f in TAMRIX.EXE README.TXT; do
  mcopy -n -i "$img" "::$f" - 2>/dev/null | cmp -s - "$out/$f" || problems+=("the image's $f differs")
done
listed="$(mdir -b -i "$img" :: 2>&1 | tr -d ' ' | sort | tr '\n' ' ')"
[[ "$listed" == "::/README.TXT ::/TAMRIX.EXE " ]] || problems+=("the image holds: $listed")
check "the floppy image holds the checked TAMRIX.EXE and README.TXT, and nothing else" "${problems[@]}"

problems=()
size=$(stat -c %s "$img")
[[ $size -eq 1474560 ]] || problems+=("$size bytes")
label="$(mlabel -s -i "$img" :: 2>&1)"
[[ "$label" =~ ^\ *Volume\ label\ is\ TAMRIX\ *$ ]] || problems+=("label: $label")
fsck="$(fsck.fat -n "$img" 2>&1)" || problems+=("fsck.fat -n:" "$fsck")
check "the floppy image: 1,474,560 bytes, label TAMRIX, clean to fsck.fat" "${problems[@]}"

problems=()
while IFS= read -r p; do problems+=("$p"); done < <(python3 - "$out/README.TXT" "$version" <<'EOF'
import sys
text = open(sys.argv[1], "rb").read()
version = sys.argv[2].encode()
if not text.endswith(b"\r\n"):
    print("does not end in CR LF")
if text.count(b"\n") != text.count(b"\r\n") or text.count(b"\r") != text.count(b"\r\n"):
    print("a line end that is not CR LF")
for number, line in enumerate(text.split(b"\r\n")[:-1], 1):
    if any(byte < 0x20 or byte > 0x7e for byte in line.replace(b"\r", b"").replace(b"\n", b"")):
        print(f"line {number}: not printable ASCII")
    if len(line) > 76:
        print(f"line {number}: {len(line)} columns")
if b"@VERSION@" in text or b"Tamrix version " + version + b"." not in text:
    print("the version is not filled in")
EOF
)
check "README.TXT: printable ASCII, CR LF, at most 76 columns, version $version" "${problems[@]}"

problems=()
while IFS= read -r p; do problems+=("$p"); done < <(python3 - "$out" "$zip" <<'EOF'
import sys, zipfile
out, name = sys.argv[1:]
with zipfile.ZipFile(f"{out}/{name}") as bundle:
    names = bundle.namelist()
    if sorted(names) != ["README.TXT", "TAMRIX.EXE"]:
        print(f"holds {names}")
    elif bundle.testzip() is not None:
        print("a damaged entry")
    else:
        for member in names:
            if bundle.read(member) != open(f"{out}/{member}", "rb").read():
                print(f"{member} differs")
EOF
)
check "the zip holds exactly TAMRIX.EXE and README.TXT, with their bytes" "${problems[@]}"

problems=()
sums="$(cd "$out" && sha256sum -c --strict SHA256SUMS 2>&1)" || problems+=("$sums")
[[ $(wc -l <"$out/SHA256SUMS") -eq 4 ]] || problems+=("SHA256SUMS does not list the four other files")
check "SHA256SUMS verifies the four other files" "${problems[@]}"

problems=()
if run 2; then
  for f in "${files[@]}"; do
    cmp -s "$scratch/out1/$f" "$scratch/out2/$f" || problems+=("$f differs")
  done
else
  problems+=("the second release.sh failed:" "$(tail -n 20 "$scratch/run2.log")")
fi
check "a second run, with a clean build, writes the same bytes" "${problems[@]}"

finish
