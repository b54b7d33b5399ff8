#!/usr/bin/env bash
# The README's teaching example: elevmando with floor 2's sensor stuck off. The
# script's expectations hold, and the checks name the end stop; skipped (77) without
# a display.
#   teaching.sh PLACASIM ASSETS SCRIPT PROGRAM
set -uo pipefail
placasim=$(readlink -f "$1") assets=$2 script=$(readlink -f "$3") program=$(readlink -f "$4")
[ -n "${DISPLAY:-}" ] || { echo "teaching.sh: no display" >&2; exit 77; }
export E2E=$(cd "$(dirname "$0")" && pwd)/window.sh
board=placasim-e2e-teach-$$
trace=$(mktemp)
trap 'rm -f "$trace" "/dev/shm/$board"' EXIT
cd "$assets" || exit 1
"$placasim" --board "$board" --script "$script" --trace "$trace" -- "$program" ||
  { cat "$trace" >&2; echo "teaching.sh: the example's expectations failed" >&2; exit 1; }
violations=$(grep '"event":"violation"' "$trace")
[ "$(grep -c . <<<"$violations")" = 1 ] && grep -q '"rule":"end_stop"' <<<"$violations" ||
  { echo "teaching.sh: expected one end_stop violation, found: $violations" >&2; exit 1; }
echo "teaching.sh: $violations"
