#!/usr/bin/env bash
# Runs the real Tamrix program under wine64, on a scratch copy of a Windows
# folder, on the display in $DISPLAY.
#
#   scripts/run-windows.sh FOLDER [win95|win98|win2k]
#
# FOLDER is a Windows folder holding an inf folder (inf or INF) with
# machine.inf and usb.inf, such as the repository's sample/ folder.  It is
# copied to build/run-windows/windows first and the program edits only that
# copy: Wine's C:\windows\inf is made to point at the copy's inf folder.
# The Windows version (default win95) decides what the program sees: win98
# adds the IRQ router lines, win2k shows the start-up warning.
#
# The x86_64 build (build/win-x86_64) is made when it is missing, and the
# Wine prefix (build/run-windows/prefix) is made once and then reused.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
folder="${1:?usage: scripts/run-windows.sh FOLDER [win95|win98|win2k]}"
version="${2:-win95}"
build="$root/build/win-x86_64"
run="$root/build/run-windows"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

case "$version" in win95 | win98 | win2k) ;; *) echo "run-windows: unknown version $version" >&2; exit 2 ;; esac
[[ -n "${DISPLAY:-}" ]] || { echo "run-windows: no display; set DISPLAY (or run it under xvfb-run)" >&2; exit 2; }
[[ -x "$wine" ]] || { echo "run-windows: wine64 is missing: scripts/install-deps.sh installs it" >&2; exit 2; }

inf_dir=""
for name in inf INF Inf; do
  [[ -d "$folder/$name" ]] && { inf_dir="$name"; break; }
done
[[ -n "$inf_dir" ]] || { echo "run-windows: $folder has no inf folder" >&2; exit 2; }

if [[ ! -f "$build/tamrix.exe" ]]; then
  echo "building $build ..."
  cmake -S . -B "$build" -Wno-dev -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
  cmake --build "$build" -j2 >/dev/null
fi

export WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH
mkdir -p "$run"
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "making the Wine prefix $WINEPREFIX ..."
  "$wine" wineboot -i >"$run/wineboot.log" 2>&1
  "$wineserver" -w
fi
"$wine" reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1

# A fresh copy of the folder, and C:\windows\inf pointing at its inf folder.
rm -rf "$run/windows"
cp -r "$folder" "$run/windows"
rm -rf "$WINEPREFIX/drive_c/windows/inf"
ln -s "$run/windows/$inf_dir" "$WINEPREFIX/drive_c/windows/inf"

echo "Tamrix on $run/windows ($version)"
status=0
"$wine" "$build/tamrix.exe" || status=$?
"$wineserver" -w
echo "Tamrix ended with status $status; the edited copy is in $run/windows/$inf_dir"
exit "$status"
