#!/usr/bin/env bash
# The panel and a program on one board: placasim with its panel runs the program,
# a second placasim joins the same board and drives the panel's keys by script.
#   panel.sh PLACASIM ASSETS SCRIPT PROGRAM
set -uo pipefail
placasim=$(readlink -f "$1") assets=$2 script=$(readlink -f "$3") program=$(readlink -f "$4")
[ -n "${DISPLAY:-}" ] || { echo "panel.sh: no display" >&2; exit 77; }
command -v xdotool >/dev/null || { echo "panel.sh: xdotool missing" >&2; exit 1; }
export E2E=$(cd "$(dirname "$0")" && pwd)/window.sh
export PLACASIM_BOARD=placasim-e2e-panel-$$
cd "$assets" || exit 1
"$placasim" -- "$program" &
pid=$!
"$placasim" --script "$script"
code=$?
kill -TERM $pid 2>/dev/null  # forwarded to the program; placasim ends with it
wait $pid
rm -f "/dev/shm/$PLACASIM_BOARD"
exit $code
