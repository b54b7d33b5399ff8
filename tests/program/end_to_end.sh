#!/usr/bin/env bash
# Starts elevmando as a user would, on the journal port driver, and works its windows
# with xdotool: "Con Memoria", then "Activar" in the panel that shows, then "Salir".
# Passes when the program ends with exit code 0 and motor byte 0 was the last byte
# written to the board. Screenshots of the three kinds of window land in the run
# folder (and in $SCREENSHOTS_TO when set).
#
#   end_to_end.sh linux|wine PROGRAM DRIVER ASSETS RUN_FOLDER
set -uo pipefail
platform=$1
program=$(readlink -f "$2") driver=$(readlink -f "$3") assets=$(readlink -f "$4") run=$(readlink -m "$5")
here=$(cd "$(dirname "$0")" && pwd)
skip=77

if [ -z "${DISPLAY:-}" ]; then
  echo "end_to_end: no display" >&2
  exit $skip
fi
for tool in xdotool import; do
  command -v $tool >/dev/null || { echo "end_to_end: $tool missing" >&2; exit 1; }
done

rm -rf "$run" && mkdir -p "$run" || exit 1
cp "$assets"/ascensor1.bmp "$assets"/ascensor2.bmp "$assets"/ascensor3.bmp "$run"/
journal=$run/journal.txt
: >"$journal"

fail() {
  echo "end_to_end: $*" >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}

# Waits up to $1 seconds for a visible window whose title is exactly $2.
window_named() {
  local limit=$1 title=$2 id
  for _ in $(seq $((limit * 10))); do
    id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# The graphics window has no title of ours: it is the visible 200 x 308 window.
graphics_window() {
  local id
  for _ in $(seq 100); do
    for id in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
      if xdotool getwindowgeometry "$id" 2>/dev/null | grep -q 'Geometry: 200x308'; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

click() {  # window x y, in the window's client area
  xdotool mousemove --window "$1" "$2" "$3" click 1
}

shot() {  # window name
  import -window "$1" "$run/$2.png" || fail "no screenshot of $2"
  if [ -n "${SCREENSHOTS_TO:-}" ]; then
    mkdir -p "$SCREENSHOTS_TO" && cp "$run/$2.png" "$SCREENSHOTS_TO/"
  fi
}

export JOURNAL_FILE=$journal
case $platform in
  linux)
    (cd "$run" && LD_LIBRARY_PATH=$(dirname "$driver") exec "$program") &
    pid=$!
    patience=20
    ;;
  wine)
    cp "$program" "$(dirname "$program")/SDL.dll" "$driver" "$run"/ || fail "cannot stage the program"
    (cd "$run" && exec "$here/../../scripts/wine-run" ./elevmando.exe) &
    pid=$!
    patience=90
    ;;
  *) fail "unknown platform $platform" ;;
esac

main=$(window_named $patience "Ascensor") || fail "no main window"
graphics=$(graphics_window) || fail "no graphics window"
# Apart, so that no window hides another in the screenshots. The graphics window
# stays where it opened: it redraws only when the controller shows a new picture.
xdotool windowmove "$main" 260 20
sleep 0.5

# Button centres: "Sin Memoria"/"Activar" at (85, 50), "Con Memoria"/"Desactivar" at
# (275, 50), "Salir"/"Volver" at (175, 120).
click "$main" 275 50
panel=$(window_named 10 "Con Memoria") || fail "\"Con Memoria\" showed no panel"
xdotool windowmove "$panel" 260 280
sleep 0.5
shot "$graphics" "elevmando-$platform-graphics"
shot "$main" "elevmando-$platform-main"
shot "$panel" "elevmando-$platform-panel"

click "$panel" 85 50
sleep 0.5
[ -s "$journal" ] && fail "\"Activar\" wrote to the board: $(tr '\n' ' ' <"$journal")"
kill -0 "$pid" 2>/dev/null || fail "the program ended before \"Salir\""

click "$main" 175 120
for _ in $(seq $((patience * 10))); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "\"Salir\" did not end the program"
wait "$pid"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code"
last=$(tail -n 1 "$journal")
[ "$last" = "0" ] || fail "the last motor byte was '${last}', not 0 (journal: $(tr '\n' ' ' <"$journal"))"
echo "end_to_end: $platform passed; motor bytes written: $(tr '\n' ' ' <"$journal")"
