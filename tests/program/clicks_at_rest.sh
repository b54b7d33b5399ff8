#!/usr/bin/env bash
# Counts the clicks that have no effect within 1 s while the cabin rests at its target
# floor: "Con Memoria" in the main window, then "Volver" in its panel, COUNT clicks in
# all, each made once. A click that shows its effect later still counts as lost. Prints
# the count; exit code 1 when any was lost. Under Wine, or with WM=openbox, it runs on
# a display of its own under openbox.
#
#   clicks_at_rest.sh linux|wine PROGRAM DRIVER ASSETS RUN_FOLDER COUNT
set -uo pipefail
. "$(dirname "$0")/desktop.sh"
count=$1
choose_display

start_program
lost=0
for i in $(seq "$count"); do
  if not_shown "Con Memoria"; then
    click "$main" 275 50
    within 1 shown "Con Memoria" || { lost=$((lost + 1)); within 4 shown "Con Memoria"; }
  else
    click "$(window_named 1 "Con Memoria")" 175 120
    within 1 not_shown "Con Memoria" || { lost=$((lost + 1)); within 4 not_shown "Con Memoria"; }
  fi
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
echo "clicks_at_rest: $platform: $lost of $count clicks lost"
[ "$lost" -eq 0 ]
