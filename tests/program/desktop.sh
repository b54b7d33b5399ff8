# Shared by the end-to-end scripts: starting elevmando as a user would, on the journal
# port driver (see journal_driver.cpp), finding its windows, clicking, and reading
# what reached the board. Sourced by a script whose first arguments are
#   linux|wine PROGRAM DRIVER ASSETS RUN_FOLDER
# which it takes (the rest stay in "$@").
#
# A click is made once and its effect waited for: a second click would hide exactly
# the lost clicks these tests are about.

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
skip=77
platform=$1
program=$(readlink -f "$2") driver=$(readlink -f "$3") assets=$(readlink -f "$4") run=$(readlink -m "$5")
shift 5

need_display() {
  [ -n "${DISPLAY:-}" ] || { echo "${0##*/}: no display" >&2; exit $skip; }
  for tool in xdotool "$@"; do
    command -v "$tool" >/dev/null || { echo "${0##*/}: $tool missing" >&2; exit 1; }
  done
}
floor1_sensor=8 floor3_sensor=32

fail() {
  echo "${0##*/}: $*" >&2
  [ -s "${run:-}/output.txt" ] && { echo "program output:"; tail -n 40 "$run/output.txt"; } >&2
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  exit 1
}

ms() { date +%s%3N; }

# Runs "$@" every 50 ms until it succeeds or $1 seconds (fractions allowed) have passed.
within() {
  local limit_ms end
  limit_ms=$(awk -v s="$1" 'BEGIN { printf "%d", s * 1000 }'); shift
  end=$(($(ms) + limit_ms))
  while :; do
    "$@" && return 0
    [ "$(ms)" -ge "$end" ] && return 1
    sleep 0.05
  done
}

# The input byte the board shows, and one-pass taps of other bytes.
inputs_rest() { rest=$1; echo "$rest ${tap:-0} ${tap_seq:-0}" >"$INPUTS_FILE"; }
inputs_tap() { tap=$1; tap_seq=$((${tap_seq:-0} + 1)); echo "$rest $tap $tap_seq" >"$INPUTS_FILE"; }

# Journal lines "WHAT VALUE MS" after line $1 (a count taken before).
journal_lines() { wc -l <"$JOURNAL_FILE"; }
journal_after() { tail -n +$(($1 + 1)) "$JOURNAL_FILE"; }
journal_has_after() { journal_after "$1" | grep -q "^$2 $3 "; }
journal_time_after() { journal_after "$1" | awk -v w="$2" -v v="$3" '$1 == w && $2 == v { print $3; exit }'; }
journal_text() { tr '\n' ';' <"$JOURNAL_FILE"; }

# By title: FLTK gives a window shown again a new X window.
shown() { xdotool search --onlyvisible --name "^${1}\$" 2>/dev/null | grep -q .; }
not_shown() { ! shown "$1"; }
running() { kill -0 "$pid" 2>/dev/null; }
ended() { ! running; }

# Waits up to $1 seconds for a visible window whose title is exactly $2.
window_named() {
  local id end=$(($(ms) + $1 * 1000))
  while [ "$(ms)" -lt "$end" ]; do
    id=$(xdotool search --onlyvisible --name "^${2}\$" 2>/dev/null | head -n 1)
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

# Button centres: "Sin Memoria"/"Activar" at (85, 50), "Con Memoria"/"Desactivar" at
# (275, 50), "Salir"/"Volver" at (175, 120).
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

# Starts the program with the cabin at rest at floor 1 (its target at start): the
# arrival fires and the cabin is redrawn at every pass. Sets pid, main, graphics.
start_program() {
  local patience
  rm -rf "$run" && mkdir -p "$run" || exit 1
  cp "$assets"/ascensor1.bmp "$assets"/ascensor2.bmp "$assets"/ascensor3.bmp "$run"/
  export JOURNAL_FILE=$run/journal.txt INPUTS_FILE=$run/inputs.txt
  : >"$JOURNAL_FILE"
  tap= tap_seq=
  inputs_rest $floor1_sensor
  case $platform in
    linux)
      (cd "$run" && LD_LIBRARY_PATH=$(dirname "$driver") exec "$program" >"$run/output.txt" 2>&1) &
      pid=$!
      patience=20
      ;;
    wine)
      cp "$program" "$(dirname "$program")/SDL.dll" "$driver" "$run"/ || fail "cannot stage the program"
      (cd "$run" && exec "${WINE_RUN:-$here/../../scripts/wine-run}" ./elevmando.exe >"$run/output.txt" 2>&1) &
      pid=$!
      patience=90
      ;;
    *) fail "unknown platform $platform" ;;
  esac
  main=$(window_named $patience "Ascensor") || fail "no main window"
  graphics=$(graphics_window) || fail "no graphics window"
  within 5 journal_has_after 0 controller 0 || fail "the cabin is not at rest: $(journal_text)"
}

# Waits for the program's end and checks its exit code.
exit_code_is() {  # code seconds what
  within "$2" ended || fail "$3 did not end the program within $2 s"
  wait "$pid"
  local code=$?
  pid=
  [ "$code" -eq "$1" ] || fail "$3: exit code $code, not $1"
}

# A display of the script's own with openbox managing it; skipped (77) without them.
own_display_with_openbox() {
  for tool in Xvfb openbox xdotool xprop; do
    command -v $tool >/dev/null || { echo "${0##*/}: $tool missing" >&2; exit $skip; }
  done
  exec 3< <(exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null)
  xvfb_pid=$!
  read -r -t 10 number <&3 || fail "Xvfb did not start"
  export DISPLAY=:$number
  # The first key a test sends switches the server's keyboard to the test device; a
  # window manager running then reloads its keymap and grabs its keys again, and a
  # key arriving meanwhile passes its grab (Alt+F4 reached the window: 5 in 40 runs).
  # Done before openbox starts, there is nothing to race.
  xdotool key shift || fail "the display takes no key"
  openbox --sm-disable >/dev/null 2>&1 &
  wm_pid=$!
  trap 'kill $wm_pid $xvfb_pid 2>/dev/null; [ -n "${pid:-}" ] && kill $pid 2>/dev/null' EXIT
  within 10 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
}

# The display a run uses: the one it was given, except under Wine (or with WM=openbox)
# a display of its own with openbox. Without a window manager, Wine's X11 driver
# waits up to 2 s for one to withdraw each window it hides or destroys: a hidden panel
# shows for 2 s more, and the end takes 4 s.
choose_display() {
  if [ "$platform" = wine ] || [ "${WM:-}" = openbox ]; then own_display_with_openbox; else need_display; fi
}
