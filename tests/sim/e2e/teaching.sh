#!/usr/bin/env bash
# The guide's teaching example: elevmando with floor 2's sensor stuck off. The
# script's expectations hold, the checks name the end stop, the waveform reads back
# in sigrok-cli with the lift driven toward floor 3, and gnuplot draws the timeline;
# skipped (77) without a display. With --wine as run.sh, placasim.exe and
# elevmando.exe under Wine (gnuplot as PLACASIM_GNUPLOT names it).
#   teaching.sh PLACASIM ASSETS SCRIPT PROGRAM
#   teaching.sh --wine WINE_RUN PLACASIM_EXE SCRIPT PROGRAM.EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
front=()
if [ "${1:-}" = --wine ]; then front=(--wine "$2" "$3" "$4"); shift 4
else front=("$1" "$2" "$3"); shift 3; fi
program=$1
[ "${front[0]}" = --wine ] || program=$(readlink -f "$program")
trace=$(mktemp) vcd=$(mktemp --suffix=.vcd) svg=$(mktemp --suffix=.svg)
trap 'rm -f "$trace" "$vcd" "$svg"' EXIT
"$here/run.sh" "${front[@]}" --trace "$trace" --vcd "$vcd" --plot "$svg" -- "$program"
code=$?
[ "$code" = 77 ] && exit 77
[ "$code" = 0 ] || { cat "$trace" >&2; echo "teaching.sh: the example's expectations failed" >&2; exit 1; }
violations=$(grep '"event":"violation"' "$trace")
[ "$(grep -c . <<<"$violations")" = 1 ] && grep -q '"rule":"end_stop"' <<<"$violations" ||
  { echo "teaching.sh: expected one end_stop violation, found: $violations" >&2; exit 1; }
echo "teaching.sh: $violations"
# Columns in1..in8, out1..out8: out2 (toward floor 3) is on for some of the run.
rows=$(sigrok-cli -I vcd:downsample=1000 -i "$vcd" -O csv 2>&1) ||
  { echo "teaching.sh: sigrok-cli cannot read the waveform: $rows" >&2; exit 1; }
awk -F, '/^logic,/ { data = 1; next } data && $10 == 1 { up = 1 } END { exit !up }' <<<"$rows" ||
  { echo "teaching.sh: the waveform never shows output 2 on" >&2; exit 1; }
grep -q '</svg>' "$svg" || { echo "teaching.sh: no complete timeline in $svg" >&2; exit 1; }
