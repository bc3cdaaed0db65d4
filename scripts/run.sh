#!/usr/bin/env bash
# Builds Tamrix and runs it on a scratch copy of the sample Windows folder,
# installing first what a fresh Debian 12 machine lacks.
#
#   scripts/run.sh [--platform-kind 0|1|2]   the dialog in this terminal
#   scripts/run.sh --windows [win95|win98|win2k]
#                                            the Windows program under Wine,
#                                            on the display in $DISPLAY
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [[ "${1:-}" == "--windows" ]]; then
  shift
  scripts/install-deps.sh
  exec scripts/run-windows.sh sample/WINDOWS "$@"
fi
exec scripts/run-terminal.sh "$@"
