#!/usr/bin/env bash
# "Salir" with the cabin at rest, COUNT times in a row: each run must end with exit
# code 0 within a second of the click, motor byte 0 written.
#
#   salir_at_rest.sh linux|wine PROGRAM DRIVER ASSETS RUN_FOLDER COUNT
set -uo pipefail
. "$(dirname "$0")/desktop.sh"
count=$1
choose_display

for i in $(seq "$count"); do
  start_program
  seen=$(journal_lines)
  clicked=$(ms)
  click "$main" 175 120
  exit_code_is 0 1 "\"Salir\" (run $i)"
  journal_has_after "$seen" windows 0 || fail "run $i: \"Salir\" wrote no motor byte 0"
  echo "run $i: ended $(($(ms) - clicked)) ms after the click"
done
echo "salir_at_rest: $platform, $count of $count runs ended with exit code 0 within 1 s"
