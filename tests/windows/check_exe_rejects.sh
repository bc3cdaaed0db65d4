#!/usr/bin/env bash
# Tests of check_exe.sh itself: it must reject an exe that imports by
# ordinal and one whose code holds a NOPL.  Each is a tiny program built
# here with the i686 mingw compiler, in a folder of its own as tamrix.exe.
#
#   tests/windows/check_exe_rejects.sh
#
# Prints one line per case and "rejects: N passed, N failed".
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cc=i686-w64-mingw32-gcc
dlltool=i686-w64-mingw32-dlltool
work="$(mktemp -d /tmp/tamrix-rejects.XXXXXX)"
trap 'rm -rf "$work"' EXIT

cat >"$work/bad.c" <<'C'
__declspec(dllimport) void __stdcall ExitProcess(unsigned status);
void start(void) {
#ifdef NOPL
    __asm__ volatile("nopl 0(%eax)");
#endif
    ExitProcess(0);
}
C
# An import library that takes ExitProcess from KERNEL32.dll by ordinal.
printf 'LIBRARY KERNEL32.dll\nEXPORTS\nExitProcess@4 @123 NONAME\n' >"$work/ordinal.def"

passed=0
failed=0

# rejects NAME DIR CHECK PROBLEM: check_exe.sh on DIR fails, and the check
# CHECK is among its failures, with a problem line matching PROBLEM.
rejects() {
  local name="$1" dir="$2" check="$3" problem="$4" out
  out="$("$here/check_exe.sh" "$dir" 2>&1)"
  if [[ $? -ne 0 ]] && grep -A 5 "^FAIL $check" <<<"$out" | grep -qE "^     .*$problem"; then
    passed=$((passed + 1))
    echo "PASS $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    sed 's/^/     | /' <<<"$out"
  fi
}

# build DIR CC_OPTIONS...: DIR/tamrix.exe from bad.c, or a failed case.
build() {
  local dir="$work/$1"
  shift
  mkdir -p "$dir"
  if ! "$cc" -march=pentium -Os -nostdlib -e _start -Wl,--subsystem,windows:4.0 \
      -o "$dir/tamrix.exe" "$work/bad.c" "$@" >"$dir/build.log" 2>&1; then
    failed=$((failed + 1))
    echo "FAIL building $1"
    sed 's/^/     | /' "$dir/build.log"
    return 1
  fi
}

if "$dlltool" -d "$work/ordinal.def" -l "$work/libordinal.a" >"$work/dlltool.log" 2>&1; then
  build ordinal -L"$work" -lordinal &&
    rejects "check_exe.sh rejects an import by ordinal" "$work/ordinal" \
      "every import is by name" "KERNEL32.dll imported by ordinal #123"
else
  failed=$((failed + 1))
  echo "FAIL dlltool"
  sed 's/^/     | /' "$work/dlltool.log"
fi

build nopl -DNOPL -lkernel32 &&
  rejects "check_exe.sh rejects a NOPL in the code" "$work/nopl" "code for the Pentium" "nopl"

echo
echo "rejects: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
