#!/usr/bin/env bash
# Runs the real Tamrix program under Wine, on a scratch copy of a Windows
# folder, on the display in $DISPLAY: the i686 release under 32-bit Wine, or,
# where the 32-bit Wine is missing (it is optional), the same code built for
# x86_64 under wine64.
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
# The build (build/win-i686 or build/win-x86_64) is made when it is
# missing, and the Wine prefix (build/run-windows/prefix) is made once and
# then reused.  TAMRIX_WINE32 names another 32-bit Wine than
# /usr/lib/wine/wine.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
folder="${1:?usage: scripts/run-windows.sh FOLDER [win95|win98|win2k]}"
version="${2:-win95}"
run="$root/build/run-windows"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
wine32="${TAMRIX_WINE32:-/usr/lib/wine/wine}"

case "$version" in win95 | win98 | win2k) ;; *) echo "run-windows: unknown version $version" >&2; exit 2 ;; esac
[[ -n "${DISPLAY:-}" ]] || { echo "run-windows: no display; set DISPLAY (or run it under xvfb-run)" >&2; exit 2; }
[[ -x "$wine" ]] || { echo "run-windows: wine64 is missing: scripts/install-deps.sh installs it" >&2; exit 2; }
if [[ -x "$wine32" ]]; then
  arch=i686
  wine="$wine32"
else
  arch=x86_64
  echo "run-windows: no 32-bit Wine here ($wine32 is missing), so the x86_64 build runs under wine64"
fi
build="$root/build/win-$arch"

inf_dir=""
for name in inf INF Inf; do
  [[ -d "$folder/$name" ]] && { inf_dir="$name"; break; }
done
[[ -n "$inf_dir" ]] || { echo "run-windows: $folder has no inf folder" >&2; exit 2; }

if [[ ! -f "$build/tamrix.exe" ]]; then
  echo "building $build ..."
  cmake -S . -B "$build" -Wno-dev -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" >/dev/null
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
