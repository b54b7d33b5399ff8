#!/usr/bin/env bash
# Runs a placasim script against a program on a board of its own, in the folder
# holding the cabin pictures; skipped (77) without a display. With --wine, placasim.exe
# and the program (in placasim.exe's folder, which holds the pictures too) run under
# Wine, and the script's "$E2E" steps reach window.sh through wine_bridge.sh.
#   run.sh PLACASIM ASSETS SCRIPT [-- PROGRAM ...]
#   run.sh --wine WINE_RUN PLACASIM_EXE SCRIPT [-- PROGRAM.EXE ...]
set -uo pipefail
wine=
if [ "${1:-}" = --wine ]; then wine=$2; shift 2; fi
placasim=$(readlink -f "$1")
if [ -n "$wine" ]; then assets=$(dirname "$placasim"); script=$(readlink -f "$2"); shift 2
else assets=$2 script=$(readlink -f "$3"); shift 3; fi
[ -n "${DISPLAY:-}" ] || { echo "run.sh: no display" >&2; exit 77; }
command -v xdotool >/dev/null || { echo "run.sh: xdotool missing" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
export E2E=$here/window.sh
board=placasim-e2e-$$
program=()
cd "$assets" || exit 1

if [ -z "$wine" ]; then
  if [ "${1:-}" = -- ]; then program=(-- "$(readlink -f "$2")" "${@:3}"); fi
  "$placasim" --board "$board" --script "$script" "${program[@]}"
  code=$?
  rm -f "/dev/shm/$board"
  exit $code
fi

if [ "${1:-}" = -- ]; then program=(-- "${@:2}"); fi
export E2E_WINDOW=$E2E E2E_FAILURES
E2E_FAILURES=$(mktemp)
windows_script=$(mktemp "$assets/e2e-XXXXXX.txt")
trap 'rm -f "$E2E_FAILURES" "$windows_script"' EXIT
sed "s|\"\$E2E\"|start /wait /unix $here/wine_bridge.sh|" "$script" >"$windows_script"
"$wine" "$(basename "$placasim")" --board "$board" --script "$(basename "$windows_script")" "${program[@]}"
code=$?
if [ -s "$E2E_FAILURES" ]; then cat "$E2E_FAILURES" >&2; [ "$code" -eq 0 ] && code=1; fi
exit $code
