#!/usr/bin/env bash
# elevmando under a window manager (openbox), on a display of its own, with the cabin
# at rest: the window manager stays nearly idle (at most $WM_CPU_LIMIT % of a core
# over 3 s), closing the panel through the window manager only hides it, and closing
# the main window ends the program with exit code 0 and no motor byte from the windows.
# The window manager's own close (Alt+F4) sends the same request as its close box.
# Windows made at the default position cascade, as on Windows.
#
#   window_manager.sh linux|wine PROGRAM DRIVER ASSETS RUN_FOLDER
set -uo pipefail
. "$(dirname "$0")/desktop.sh"
wm_cpu_limit=${WM_CPU_LIMIT:-3}

own_display_with_openbox

start_program

# CPU time of the window manager, in clock ticks (1/100 s).
wm_ticks() { awk '{ print $14 + $15 }' "/proc/$wm_pid/stat"; }
sleep 1
before=$(wm_ticks)
sleep 3
used=$(($(wm_ticks) - before))
echo "window_manager: openbox used $used ticks of 300 at rest"
[ "$used" -le $((wm_cpu_limit * 3)) ] || fail "the window manager used $((used / 3)) % of a core at rest"

close_by_wm() { xdotool windowactivate --sync "$1" key --clearmodifiers alt+F4; }

click "$main" 275 50
panel=$(window_named 1 "Con Memoria") || fail "\"Con Memoria\" showed no panel within 1 s"
# Both are made at the system's default position: cascaded as on Windows, the panel
# down and right of the main window rather than on top of it.
position() { eval "$(xdotool getwindowgeometry --shell "$1")"; echo "$X $Y"; }
read -r main_x main_y <<<"$(position "$main")"
read -r panel_x panel_y <<<"$(position "$panel")"
echo "window_manager: main window at $main_x,$main_y, panel at $panel_x,$panel_y"
[ "$panel_x" -gt "$main_x" ] && [ "$panel_y" -gt "$main_y" ] ||
  fail "the panel at $panel_x,$panel_y is not cascaded from the main window at $main_x,$main_y"
seen=$(journal_lines)
close_by_wm "$panel"
within 1 not_shown "Con Memoria" || fail "closing the panel did not hide it within 1 s"
sleep 0.3
running || fail "closing the panel ended the program"
journal_after "$seen" | grep -q '^windows ' && fail "closing the panel wrote to the board"

seen=$(journal_lines)
close_by_wm "$main"
exit_code_is 0 1 "closing the main window"
journal_after "$seen" | grep -q '^windows ' && fail "closing the main window wrote a motor byte"
echo "window_manager: $platform passed"
