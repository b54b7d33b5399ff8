#!/usr/bin/env bash
# Runs a placasim script against a program on a board of its own, in the folder
# holding the cabin pictures, with the lift's rules strict; skipped (77) without a
# display.
#   run.sh PLACASIM ASSETS SCRIPT [-- PROGRAM ...]
set -uo pipefail
placasim=$(readlink -f "$1") assets=$2 script=$(readlink -f "$3"); shift 3
[ -n "${DISPLAY:-}" ] || { echo "run.sh: no display" >&2; exit 77; }
command -v xdotool >/dev/null || { echo "run.sh: xdotool missing" >&2; exit 1; }
export E2E=$(cd "$(dirname "$0")" && pwd)/window.sh
board=placasim-e2e-$$
program=()
if [ "${1:-}" = -- ]; then program=(-- "$(readlink -f "$2")" "${@:3}"); fi
cd "$assets" || exit 1
"$placasim" --board "$board" --script "$script" --strict "${program[@]}"
code=$?
rm -f "/dev/shm/$board"
exit $code
