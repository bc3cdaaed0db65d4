#!/usr/bin/env bash
# Takes a picture of Tamrix's dialog as Windows 95 shows it, under wine64
# and Xvfb, and saves it as docs/dialog.png.
#
#   scripts/screenshot-windows.sh [BUILD_DIR] [OUTPUT.png]
#
# BUILD_DIR is the x86_64 build (default build/win-x86_64; it is built when
# tamrix.exe or driver.exe is missing).  Wine runs a virtual desktop
# (explorer /desktop), so that it draws the dialog's frame and caption bar
# itself; the test driver grabs
# the dialog's rectangle from the screen, and tests/windows/bmp_to_png.py
# turns the BMP into a PNG.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
build="${1:-build/win-x86_64}"
output="${2:-docs/dialog.png}"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

if [[ ! -f "$build/tamrix.exe" || ! -f "$build/driver.exe" ]]; then
  cmake -S . -B "$build" -Wno-dev -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
  cmake --build "$build" -j2 >/dev/null
fi

work="$(mktemp -d /tmp/tamrix-shot.XXXXXX)"
xvfb_pid=""
cleanup() {
  [[ -d "${WINEPREFIX:-}" ]] && "$wineserver" -k 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH

"$wine" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver" -w
"$wine" reg add 'HKCU\Software\Wine' /v Version /d win95 /f >/dev/null 2>&1

mkdir -p "$WINEPREFIX/drive_c/tamrix"
cp "$build/tamrix.exe" "$build/driver.exe" "$WINEPREFIX/drive_c/tamrix/"
cat >"$WINEPREFIX/drive_c/tamrix/steps.txt" <<'EOF'
start
dialog
sleep 1500
shot C:\tamrix\dialog.bmp
click exit
exit 0
EOF
"$wine" explorer /desktop=Tamrix,640x480 \
  'C:\tamrix\driver.exe' 'C:\tamrix\tamrix.exe' 'C:\tamrix\steps.txt'
"$wineserver" -w

mkdir -p "$(dirname "$output")"
python3 tests/windows/bmp_to_png.py "$WINEPREFIX/drive_c/tamrix/dialog.bmp" "$output"
echo "saved $output"
