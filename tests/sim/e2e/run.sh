#!/usr/bin/env bash
# Runs a placasim script against a program on a board of its own, in the folder
# holding the cabin pictures; skipped (77) without a display. placasim gets the
# options given after the script, or --strict (the lift's rules) when none are. With
# --wine, placasim.exe and the program (in placasim.exe's folder, which holds the
# pictures too) run under Wine. The scripts work the windows with placasim's own
# window and click steps.
#   run.sh PLACASIM ASSETS SCRIPT [OPTION ...] [-- PROGRAM ...]
#   run.sh --wine WINE_RUN PLACASIM_EXE SCRIPT [OPTION ...] [-- PROGRAM.EXE ...]
set -uo pipefail
wine=
if [ "${1:-}" = --wine ]; then wine=$2; shift 2; fi
placasim=$(readlink -f "$1")
if [ -n "$wine" ]; then assets=$(dirname "$placasim"); script=$(readlink -f "$2"); shift 2
else assets=$2 script=$(readlink -f "$3"); shift 3; fi
[ -n "${DISPLAY:-}" ] || { echo "run.sh: no display" >&2; exit 77; }
board=placasim-e2e-$$
program=()
options=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
[ ${#options[@]} -gt 0 ] || options=(--strict)
cd "$assets" || exit 1

if [ -z "$wine" ]; then
  if [ "${1:-}" = -- ]; then program=(-- "$(readlink -f "$2")" "${@:3}"); fi
  "$placasim" --board "$board" --script "$script" "${options[@]}" "${program[@]}"
  code=$?
  rm -f "/dev/shm/$board"
  exit $code
fi

if [ "${1:-}" = -- ]; then program=(-- "${@:2}"); fi
# Z: is the Unix root in every Wine prefix.
"$wine" "$(basename "$placasim")" --board "$board" --script "Z:${script//\//\\}" "${options[@]}" "${program[@]}"
