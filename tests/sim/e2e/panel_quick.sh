#!/usr/bin/env bash
# Quick clicks and keys on the panel, seen by a reader polling the board: a 5 ms
# click holds the call for the shortest human press, a longer one for as long as it
# lasts, and the call keys work after another widget was clicked. With --wine,
# placasim.exe's panel and the reader run under Wine.
#   panel_quick.sh [--wine WINE_RUN] PLACASIM BOARD_HELPER
set -uo pipefail
wine=() settle=0.3
if [ "${1:-}" = --wine ]; then wine=("$2"); settle=2; shift 2; fi
placasim=$(readlink -f "$1") helper=$(readlink -f "$2")
[ -n "${DISPLAY:-}" ] || { echo "panel_quick.sh: no display" >&2; exit 77; }
board=placasim-e2e-quick-$$
title="placasim - board $board"
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -f "/dev/shm/$board"' EXIT
fail() { echo "panel_quick.sh: $*" >&2; exit 1; }

cd "$(dirname "$placasim")" || exit 1
"${wine[@]}" "$placasim" --board "$board" &
pid=$!
w=
for _ in $(seq 200); do
  w=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)
  [ -n "$w" ] && break
  sleep 0.1
done
[ -n "$w" ] || fail "the panel never showed"
[ ${#wine[@]} -eq 0 ] || sleep 1  # Wine shows a window a moment before it takes clicks

# held INPUT MIN MAX ACTION...: the input was seen held between MIN and MAX seconds.
held() {
  local input=$1 min=$2 max=$3; shift 3
  local out; out=$(mktemp)
  # The reader starts polling once it runs: under Wine that takes a while.
  "${wine[@]}" "$helper" "$board" held "$input" "$(awk -v s="$settle" 'BEGIN { print s + 1.7 }')" >"$out" &
  local reader=$!
  sleep "$settle"
  "$@"
  wait "$reader"
  local seen; seen=$(tr -d '\r' <"$out"); rm -f "$out"
  awk -v s="$seen" -v lo="$min" -v hi="$max" 'BEGIN { exit !(s >= lo && s <= hi) }' ||
    fail "input $input seen held $seen s, expected $min to $max s (after: $*)"
  echo "panel_quick.sh: input $input held $seen s after: $*"
}

# The call buttons sit at the top of the right-hand column: Floor 1, 2, 3.
held 3 0.17 0.5 xdotool mousemove --window "$w" 570 59 mousedown 1 sleep 0.005 mouseup 1
held 2 0.55 0.9 xdotool mousemove --window "$w" 450 59 mousedown 1 sleep 0.6 mouseup 1
# A slider clicked first, then the key: the key still calls.
xdotool mousemove --window "$w" 500 416 click 1
held 1 0.25 0.8 xdotool windowfocus --sync "$w" keydown 1 sleep 0.4 keyup 1
