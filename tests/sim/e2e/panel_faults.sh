#!/usr/bin/env bash
# Faults set from the panel's faults window (in instructor mode, opened with F) reach
# the board: a script joining the board lists them. The panel goes with its command
# (--close-with-command).
#   panel_faults.sh PLACASIM
set -uo pipefail
placasim=$(readlink -f "$1")
[ -n "${DISPLAY:-}" ] || { echo "panel_faults.sh: no display" >&2; exit 77; }
window=$(cd "$(dirname "$0")" && pwd)/window.sh
board=placasim-e2e-faults-$$
stop=$(mktemp -u) script=$(mktemp)
trap 'rm -f "$stop" "$script" "/dev/shm/$board"' EXIT
fail() { echo "panel_faults.sh: $*" >&2; touch "$stop"; exit 1; }

"$placasim" --board "$board" --instructor --close-with-command -- sh -c "while [ ! -e '$stop' ]; do sleep 0.05; done" &
pid=$!
"$window" keys "placasim - board $board" f || fail "no panel"   # the Faults window, hidden at first
"$window" click "placasim - Faults" 180 23 || fail "no faults window"   # input 1 stuck on
"$window" click "placasim - Faults" 125 91 || fail "no faults window"   # lift motor stalled
sleep 0.3
echo "clear noise 1" > "$script"
trace=$("$placasim" --board "$board" --script "$script") || fail "the joining script failed"
grep -q '"faults":\["input 1 stuck on","lift motor stalled"\]' <<<"$trace" || fail "faults not on the board: $trace"
touch "$stop"
wait "$pid" || fail "placasim ended with $?"
echo "panel_faults.sh: faults set from the panel are on the board"
