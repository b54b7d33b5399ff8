#!/usr/bin/env bash
# Instructor mode hides the faults from the student's panel, not from the board: a
# fault set in the Faults window (input 1 stuck on) and one from a script joining the
# board (input 8 stuck on) are seen by a reader polling the board and in the panel's
# input count, while the panel's status names them only without --instructor. With
# --wine, placasim.exe, the reader and the probe run under Wine. With --instructor
# the Faults window starts hidden and F on the panel opens it. Then the Faults
# window's keys: Escape hides it, F on the panel brings it back.
#   instructor.sh [--wine WINE_RUN] PLACASIM PANEL_PROBE BOARD_HELPER
set -uo pipefail
wine=()
if [ "${1:-}" = --wine ]; then wine=("$2"); shift 2; fi
placasim=$(readlink -f "$1") probe=$(readlink -f "$2") helper=$(readlink -f "$3")
[ -n "${DISPLAY:-}" ] || { echo "instructor.sh: no display" >&2; exit 77; }
window=$(cd "$(dirname "$0")" && pwd)/window.sh
cd "$(dirname "$placasim")" || exit 1
script=$(mktemp "$PWD/instructor-XXXXXX.txt")
pid=
trap '[ -z "$pid" ] || { kill "$pid"; wait "$pid"; } 2>/dev/null; rm -f "$script" /dev/shm/placasim-e2e-instructor-$$-*' EXIT
fail() { echo "instructor.sh: $*" >&2; exit 1; }
echo "fault stuck 8 on" >"$script"

# bench NAME [--instructor]: sets both faults, checks the board, and leaves the panel's
# status in $status.
bench() {
  local board=placasim-e2e-instructor-$$-$1; shift
  local title="placasim - board $board"
  "${wine[@]}" "$placasim" --board "$board" "$@" &
  pid=$!
  "$window" wait "$title" || fail "no panel"
  if [ "${1:-}" = --instructor ]; then
    sleep 0.5
    "$window" shown "placasim - Faults" && fail "the Faults window shows on the student's screen"
    "$window" keys "$title" f || fail "no panel"
  fi
  "$window" wait "placasim - Faults" || fail "no Faults window"
  [ ${#wine[@]} -eq 0 ] || sleep 1  # Wine shows a window a moment before it takes clicks
  "$window" click "placasim - Faults" 180 23  # the "on" of "Input stuck", input 1 chosen
  "${wine[@]}" "$placasim" --board "$board" --script "$(basename "$script")" >/dev/null ||
    fail "the script could not set its fault"
  local input seen
  for input in 1 8; do
    seen=$("${wine[@]}" "$helper" "$board" held "$input" 0.5 | tr -d '\r')
    awk -v s="$seen" 'BEGIN { exit !(s >= 0.4) }' || fail "input $input is not stuck on the board (held ${seen}s)"
  done
  status=$("${wine[@]}" "$probe" status "$title" | tr -d '\r') || fail "cannot read the panel's status"
  # Inputs 1, 8 and floor 1's sensor (4): the panel shows what the board does.
  grep -q "inputs 137" <<<"$status" || fail "the panel does not show the stuck inputs: $status"
  # The Faults window's keys. On Windows Tab goes on from the "on" just clicked in
  # reading order ("off", "release", the floor, the seconds, "set"), and Space presses
  # "set": floor 1's sensor chatters.
  if [ ${#wine[@]} -gt 0 ]; then
    "$window" keys "placasim - Faults" Tab Tab Tab Tab Tab space || fail "no Faults window"
    local trace= pressed=0
    for _ in 1 2 3 4 5; do  # the keys pressed once; their effect waited for
      trace=$("${wine[@]}" "$placasim" --board "$board" --script "$(basename "$script")" | tr -d '\r')
      grep -q '"floor 1 sensor chatters for 0.50 s"' <<<"$trace" && { pressed=1; break; }
      sleep 0.3
    done
    [ "$pressed" = 1 ] || fail "Tab and Space did not press the chatter's \"set\": $trace"
  fi
  "$window" keys "placasim - Faults" Escape || fail "no Faults window"
  local hidden=0
  for _ in $(seq 30); do  # Wine takes its time
    "$window" shown "placasim - Faults" || { hidden=1; break; }
    sleep 0.1
  done
  [ "$hidden" = 1 ] || fail "Escape did not hide the Faults window"
  "$window" keys "$title" f || fail "no panel"
  "$window" wait "placasim - Faults" || fail "F on the panel did not bring the Faults window back"
  "${wine[@]}" "$probe" close "$title" || fail "cannot close the panel"
  wait "$pid" || fail "placasim ended with $?"
  pid=
}

bench instructor --instructor
grep -q "Fault" <<<"$status" && fail "the student's panel names the faults in instructor mode: $status"
echo "instructor.sh: with --instructor the panel names no fault"

bench student
grep -q "Fault: input 1 stuck on" <<<"$status" && grep -q "Fault: input 8 stuck on" <<<"$status" ||
  fail "without --instructor the panel does not name the faults: $status"
echo "instructor.sh: without it the panel names them"
