#!/usr/bin/env bash
# Starts elevmando as a user would, on the journal port driver, with the cabin at rest
# at its target floor (so that the cabin is redrawn at every pass), and checks what
# every click does, each within 1 s:
#   "Con Memoria" shows its panel; "Activar" stores the next call (its start comes
#   after the 100 ms and 1000 ms pauses, not at once); "Desactivar" during a trip
#   writes motor byte 0 and the cabin stays stopped; "Volver" writes motor byte 0 and
#   hides the panel; "Salir" writes motor byte 0 and ends the program with exit code 0.
# Screenshots of the three kinds of window land in the run folder (and in
# $SCREENSHOTS_TO when set).
#
#   end_to_end.sh linux|wine PROGRAM DRIVER ASSETS RUN_FOLDER
set -uo pipefail
. "$(dirname "$0")/desktop.sh"

choose_display
command -v import >/dev/null || fail "import missing"

shot() {  # window name
  import -window "$1" "$run/$2.png" || fail "no screenshot of $2"
  if [ -n "${SCREENSHOTS_TO:-}" ]; then
    mkdir -p "$SCREENSHOTS_TO" && cp "$run/$2.png" "$SCREENSHOTS_TO/"
  fi
}

start_program
# Apart, so that no window hides another in the screenshots.
xdotool windowmove "$main" 260 20

click "$main" 275 50
panel=$(window_named 1 "Con Memoria") || fail "\"Con Memoria\" showed no panel within 1 s"
xdotool windowmove "$panel" 260 280
sleep 0.3
shot "$graphics" "elevmando-$platform-graphics"
shot "$main" "elevmando-$platform-main"
shot "$panel" "elevmando-$platform-panel"

# "Activar": a call for floor 3, one second after the click, is stored and served
# after the two pauses. Without memory it would start at once.
click "$panel" 85 50
sleep 1
seen=$(journal_lines)
inputs_tap $((4 | floor1_sensor))
within 3 journal_has_after "$seen" controller 2 || fail "no start after a call: $(journal_text)"
tapped=$(journal_time_after "$seen" tap 12) started=$(journal_time_after "$seen" controller 2)
[ $((started - tapped)) -ge 1000 ] ||
  fail "\"Activar\" had no effect within 1 s: the call started the motor after $((started - tapped)) ms"
# The cabin arrives at floor 3 and rests there.
seen=$(journal_lines)
inputs_rest $floor3_sensor
within 1 journal_has_after "$seen" controller 0 || fail "no stop at floor 3: $(journal_text)"

# "Desactivar" during a trip toward floor 1.
seen=$(journal_lines)
inputs_tap $((1 | floor3_sensor))
within 3 journal_has_after "$seen" controller 1 || fail "no start toward floor 1: $(journal_text)"
seen=$(journal_lines)
click "$panel" 275 50
within 1 journal_has_after "$seen" windows 0 || fail "\"Desactivar\" wrote no motor byte 0 within 1 s"
sleep 0.5
journal_after "$seen" | grep -q '^controller [12] ' && fail "the cabin did not stay stopped: $(journal_text)"
running || fail "the program ended after \"Desactivar\""
# The cabin is moved to floor 1 by hand, its target, and rests there again.
seen=$(journal_lines)
inputs_rest $floor1_sensor
within 1 journal_has_after "$seen" controller 0 || fail "no rest at floor 1: $(journal_text)"

seen=$(journal_lines)
click "$panel" 175 120
within 1 not_shown "Con Memoria" || fail "\"Volver\" did not hide the panel within 1 s"
journal_has_after "$seen" windows 0 || fail "\"Volver\" wrote no motor byte 0"

seen=$(journal_lines)
click "$main" 175 120
exit_code_is 0 1 "\"Salir\""
journal_has_after "$seen" windows 0 || fail "\"Salir\" wrote no motor byte 0: $(journal_text)"
echo "end_to_end: $platform passed; journal: $(journal_text)"
