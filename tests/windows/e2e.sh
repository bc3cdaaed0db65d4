#!/usr/bin/env bash
# End-to-end tests of tamrix.exe under Wine and Xvfb.
#
#   tests/windows/e2e.sh EXE DRIVER WINE
#
# EXE is the tamrix.exe to test, i686 or x86_64; DRIVER is the x86_64
# driver.exe that plays the steps; WINE is the loader that sets up the
# prefixes and starts the driver: /usr/lib/wine/wine64, or /usr/lib/wine/wine
# (32-bit Wine; its prefixes are 64-bit too, so the driver runs in them, and
# Wine starts an i686 EXE with its 32-bit half).  Each group of cases runs in a fresh Wine prefix set to one Windows version:
# win2k (platform kind 0), win95 (kind 1) and win98 (kind 2, its service
# string is " A ").  The prefixes are copies of one prefix initialised once.
# Every case puts the tests' shared INF files (tests/fixtures, expanded with
# CR LF) into C:\windows\inf, lets driver.exe play a script of steps against
# the program, and compares the files afterwards with the expected ones from
# the same folder, byte for byte.
#
# Prints one line per case (with TAMRIX_E2E_VERBOSE=1 also every step the
# driver saw) and closes with "e2e: N passed, N failed".
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[[ $# -eq 3 ]] || { echo "usage: e2e.sh EXE DRIVER WINE" >&2; exit 2; }
exe="$1"
driver="$2"
wine="$3"
wineserver=/usr/lib/wine/wineserver

for f in "$exe" "$driver"; do
  [[ -f "$f" ]] || { echo "e2e: no $f" >&2; exit 1; }
done
for f in "$wine" "$wineserver"; do
  [[ -x "$f" ]] || { echo "e2e: no $f (scripts/install-deps.sh installs Wine)" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "e2e: Xvfb is not installed" >&2; exit 1; }

work="$(mktemp -d /tmp/tamrix-e2e.XXXXXX)"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEARCH

passed=0
failed=0
xvfb_pid=""

# end_wine: ends the Wine server of the current prefix and every program of
# it (a copy of tamrix.exe that a failed case left running), and waits until
# the server has gone: none may outlive its case, nor the test run.
end_wine() {
  "$wineserver" -k 2>/dev/null
  "$wineserver" -w 2>/dev/null
}

cleanup() {
  if [[ -n "${WINEPREFIX:-}" && -d "$WINEPREFIX" ]]; then
    end_wine
  fi
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# ---- display and prefixes -----------------------------------------------------

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || { echo "e2e: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

# One initialised prefix; wineboot is the slow part.
export WINEPREFIX="$work/base"
"$wine" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver" -w
[[ -f "$WINEPREFIX/system.reg" ]] || { echo "e2e: wineboot failed" >&2; cat "$work/wineboot.log" >&2; exit 1; }

# new_prefix VERSION: a fresh copy of the base prefix for one group.  The
# big, never written parts are hard links; the registry and C:\windows\inf
# are real copies (and the test files are always replaced, never rewritten
# in place).
new_prefix() {
  local version="$1"
  [[ -n "${WINEPREFIX:-}" && "$WINEPREFIX" != "$work/base" ]] && end_wine
  export WINEPREFIX="$work/prefix-$version"
  cp -al "$work/base" "$WINEPREFIX"
  local f
  for f in "$WINEPREFIX"/*.reg; do cp --remove-destination "$work/base/${f##*/}" "$f"; done
  rm -rf "$WINEPREFIX/drive_c/windows/inf"
  mkdir -p "$WINEPREFIX/drive_c/windows/inf" "$WINEPREFIX/drive_c/tamrix"
  cp "$exe" "$WINEPREFIX/drive_c/tamrix/tamrix.exe"
  cp "$driver" "$WINEPREFIX/drive_c/tamrix/driver.exe"
  "$wineserver" -p
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1
  inf="$WINEPREFIX/drive_c/windows/inf"
  echo "-- group $version"
}

# ---- files ----------------------------------------------------------------------

# The inputs and the expected files, as Windows keeps them: with CR LF.
fx="$work/fixtures"
mkdir -p "$fx"
for name in machine.inf usb.inf machine-kind1.inf machine-kind2.inf usb-installed.inf usb-new.inf; do
  python3 "$here/../fixtures/inf_text.py" expand "$here/../fixtures/$name" "$fx/$name" ||
    { echo "e2e: cannot expand tests/fixtures/$name" >&2; exit 1; }
done

# A case starts with both test files in place and nothing else of Tamrix's.
reset_inf() {
  rm -rf "$inf/machine.inf" "$inf/usb.inf" "$inf/out.inf" "$inf/machine.in@" "$inf/usb.in@"
  cp "$fx/machine.inf" "$fx/usb.inf" "$inf/"
}

problems=()

# expect_file NAME EXPECTED: C:\windows\inf\NAME holds EXPECTED, byte for byte.
expect_file() {
  local name="$1" expected="$2"
  if [[ ! -f "$inf/$name" ]]; then
    problems+=("$name is missing")
  elif ! cmp -s "$expected" "$inf/$name"; then
    problems+=("$name differs from ${expected#$fx/}:")
    problems+=("$(diff <(tr -d '\r' <"$expected") <(tr -d '\r' <"$inf/$name") | head -n 20)")
    cmp -s <(tr -d '\r' <"$inf/$name") <(tr -d '\r' <"$expected") &&
      problems+=("(only the line ends differ)")
  fi
}

expect_no_file() {
  [[ -e "$inf/$1" ]] && problems+=("$1 should not exist")
}

# After a run no temporary or backup file is left.
expect_clean() {
  local f
  for f in out.inf machine.in@ usb.in@; do expect_no_file "$f"; done
}

# expect_installed KIND: both files as Install writes them on that kind.
expect_installed() {
  expect_file machine.inf "$fx/machine-kind$1.inf"
  expect_file usb.inf "$fx/usb-installed.inf"
  expect_clean
}

# expect_untouched: both files as the case began.
expect_untouched() {
  expect_file machine.inf "$fx/machine.inf"
  expect_file usb.inf "$fx/usb.inf"
}

# ---- registry keys, as driver steps ---------------------------------------------

devices=(
  'VEN_8086&DEV_7110' 'VEN_8086&DEV_7100' 'VEN_8086&DEV_7113' 'VEN_8086&DEV_7180'
  'VEN_8086&DEV_7181' 'VEN_8086&DEV_7112' 'VEN_8086&DEV_7020' 'VEN_1039&DEV_7001'
  'VEN_1039&DEV_5571' 'VEN_1039&DEV_5597'
)
pci='HKLM\Enum\PCI'
# A device Tamrix does not know, which must survive every Exit.
unrelated="$pci\\VEN_8086&DEV_1250\\BUS_00&DEV_00&FUNC_00"

# keys_add: the ten device keys, each with device instances below it that
# have subkeys of their own, as on a real system, and the unrelated device.
keys_add() {
  local d
  for d in "${devices[@]}"; do
    echo "regadd $pci\\$d\\BUS_00&DEV_07&FUNC_00\\LogConf"
    echo "regadd $pci\\$d\\BUS_00&DEV_07&FUNC_01"
  done
  echo "regadd $unrelated"
}

keys_gone() {
  local d
  for d in "${devices[@]}"; do echo "reggone $pci\\$d"; done
  echo "regexists $unrelated"
}

keys_kept() {
  local d
  for d in "${devices[@]}"; do echo "regexists $pci\\$d"; done
  echo "regexists $unrelated"
}

# ---- running a case ------------------------------------------------------------

# The texts of the program's messages.
warning='box "Warning" " The OS is not Windows 95 system.\n Continue, anyway?" yesno icon'
updated='box "OK" " The utility has updated completely!" ok noicon ok'
uninstalled='box "OK" "The utility has uninstalled completely!" ok noicon ok'
finish='box "Finish" "You must restart your computer.\n Do you want to restart your computer now?" yesno noicon'
# Exit, No to the restart question, and the process ends with 0.
exit_no_restart="click exit
$finish no
exit 0"

current=""
case_begin() {
  current="$1"
  problems=()
  reset_inf
}

# drive: plays the steps on standard input with driver.exe.
drive() {
  cat >"$WINEPREFIX/drive_c/tamrix/steps.txt"
  if ! timeout 120 "$wine" 'C:\tamrix\driver.exe' 'C:\tamrix\tamrix.exe' \
      'C:\tamrix\steps.txt' >"$work/driver.log" 2>&1; then
    problems+=("driver: $(grep -m 1 -A 1 '^FAIL' "$work/driver.log" || tail -n 3 "$work/driver.log")")
    # Nothing of the failed case may linger into the next one.
    end_wine
    "$wineserver" -p
  fi
}

case_end() {
  if [[ ${#problems[@]} -eq 0 ]]; then
    passed=$((passed + 1))
    echo "PASS $current"
    [[ "${TAMRIX_E2E_VERBOSE:-0}" == 1 ]] && sed 's/^/     | /' "$work/driver.log"
  else
    failed=$((failed + 1))
    echo "FAIL $current"
    printf '     %s\n' "${problems[@]}"
    sed 's/^/     | /' "$work/driver.log"
  fi
}

# ---- kind 0: Windows 2000 ------------------------------------------------------

new_prefix win2k

case_begin "kind 0: the warning shows; No ends with status 0 and no dialog"
drive <<EOF
$(keys_add)
start
$warning no
exit 0
nodialog
$(keys_kept)
EOF
expect_untouched
case_end

case_begin "kind 0: Yes shows the dialog; Exit in a fresh process asks nothing, touches no key"
drive <<EOF
$(keys_add)
start
$warning yes
dialog
check chipsets 1
check usb 1
click exit
exit 0
$(keys_kept)
EOF
expect_untouched
case_end

case_begin "kind 0: Install, then Exit deletes the ten device trees and asks Finish; No ends with 0"
drive <<EOF
$(keys_add)
start
$warning yes
dialog
click install
$updated
$(keys_kept)
$exit_no_restart
$(keys_gone)
EOF
expect_installed 1
case_end

# ---- kind 1: Windows 95 ---------------------------------------------------------

new_prefix win95

case_begin "kind 1: no warning, both boxes checked; Install gives the kind 1 files"
drive <<EOF
start
dialog
check chipsets 1
check usb 1
click install
$updated
$exit_no_restart
EOF
expect_installed 1
case_end

# Escape reaches the dialog procedure as the cancel command, IDCANCEL.
case_begin "kind 1: Escape leaves the dialog open and changes nothing"
drive <<EOF
$(keys_add)
start
dialog
key escape
quiet 1500
command cancel
quiet 500
check chipsets 1
check usb 1
click exit
exit 0
$(keys_kept)
EOF
expect_untouched
case_end

case_begin "kind 1: Enter runs Install; Exit deletes the ten keys, asks Finish; No ends with 0"
drive <<EOF
$(keys_add)
start
dialog
key enter
$updated
$exit_no_restart
$(keys_gone)
EOF
expect_installed 1
case_end

case_begin "kind 1: Install with both boxes cleared asks for a choice and changes nothing"
drive <<EOF
start
dialog
press chipsets
press usb
sleep 200
check chipsets 0
check usb 0
click install
box "Do what?" " Please choice drivers!" ok icon ok
quiet 500
click exit
exit 0
EOF
expect_untouched
case_end

case_begin "kind 1: Install, then Uninstall gives back the original files"
drive <<EOF
start
dialog
click install
$updated
click uninstall
$uninstalled
$exit_no_restart
EOF
expect_untouched
expect_clean
case_end

# A new usb.inf changes the system's files like a replacement does, so
# Exit makes Windows detect the devices again.
case_begin "kind 1: only USB checked and no usb.inf: a new usb.inf; Exit deletes the keys"
rm -f "$inf/usb.inf"
drive <<EOF
$(keys_add)
start
dialog
set chipsets 0
click install
$updated
$exit_no_restart
$(keys_gone)
EOF
expect_file machine.inf "$fx/machine.inf"
expect_file usb.inf "$fx/usb-new.inf"
case_end

case_begin "kind 1: a missing machine.inf ends with File Open Error and status 1"
rm -f "$inf/machine.inf"
drive <<EOF
start
dialog
click install
box "File Open Error" "Can't find C:\\\\windows\\\\inf\\\\machine.inf" ok icon ok
exit 1
EOF
expect_no_file machine.inf
expect_file usb.inf "$fx/usb.inf"
expect_clean
case_end

# The file layer tells a file that cannot be opened from a missing one.
case_begin "kind 1: a machine.inf that cannot be read is reported; the run stops"
rm -f "$inf/machine.inf"
mkdir "$inf/machine.inf"
drive <<EOF
start
dialog
click install
box "File Read Error" "Can't read C:\\\\windows\\\\inf\\\\machine.inf" ok icon ok
quiet 500
click exit
exit 0
EOF
[[ -d "$inf/machine.inf" ]] || problems+=("the folder machine.inf is gone")
expect_file usb.inf "$fx/usb.inf"
expect_clean
case_end

case_begin "kind 1: an out.inf that cannot be created ends with status 1"
mkdir "$inf/out.inf"
drive <<EOF
start
dialog
click install
box "File Open Error" "Can't create C:\\\\windows\\\\inf\\\\out.inf" ok icon ok
exit 1
EOF
expect_untouched
case_end

# Only one copy runs at a time: a second one says so, brings the first
# copy's dialog to the front and ends, and the first goes on working.  A
# window of the driver's is in front when the second copy starts, so the
# dialog is in front afterwards only if the second copy brought it there.
case_begin "kind 1: a second copy says Tamrix is already running and ends with 0; the first goes on"
drive <<EOF
start
dialog
away
start
box "Tamrix" "Tamrix is already running." ok information ok
exit 0
nodialog
copy 1
foreground
click install
$updated
$exit_no_restart
EOF
expect_installed 1
case_end

# While a box is open the dialog is disabled, so a real click on Exit is
# dropped by the system; once the box is gone the same click works.
case_begin "kind 1: while a box is open the dialog is disabled and a click on Exit does nothing"
drive <<EOF
start
dialog
click install
await OK
enabled 0
mouse exit
$updated
quiet 1000
enabled 1
mouse exit
await Finish
enabled 0
mouse exit
$finish no
exit 0
EOF
expect_installed 1
case_end

# ---- kind 2: Windows 98 ---------------------------------------------------------

new_prefix win98

case_begin "kind 2: no warning; Install adds the IRQ router lines"
drive <<EOF
start
dialog
check chipsets 1
check usb 1
click install
$updated
$exit_no_restart
EOF
expect_installed 2
case_end

echo
echo "e2e: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
