#!/usr/bin/env bash
# For the "run" steps of the end-to-end scripts: windows found by their exact title.
#   window.sh wait TITLE | move TITLE X Y | click TITLE X Y | hold-key TITLE KEY SECONDS
#   window.sh keys TITLE KEY...    (pressed one after another, the window focused first)
#   window.sh shown TITLE          (succeeds when a window of that title shows now)
#   window.sh shot NAME GEOMETRY   (into $SCREENSHOTS_TO, when set)
set -uo pipefail

find_window() {
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "window.sh: no window \"$1\"" >&2
  return 1
}

case ${1:-} in
  wait) find_window "$2" >/dev/null ;;
  move) w=$(find_window "$2") && xdotool windowmove "$w" "$3" "$4" && sleep 0.3 ;;
  click) w=$(find_window "$2") && xdotool mousemove --window "$w" "$3" "$4" click 1 ;;
  hold-key)
    # Real key events (XTEST) to the focused window: the panel also asks the keyboard
    # whether the key is still down.
    w=$(find_window "$2") || exit 1
    xdotool windowfocus --sync "$w" && xdotool keydown "$3" && sleep "$4" && xdotool keyup "$3" ;;
  keys)
    w=$(find_window "$2") || exit 1
    shift 2
    xdotool windowfocus --sync "$w" && xdotool key --delay 100 "$@" ;;
  shown) xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | grep -q . ;;
  shot)
    [ -z "${SCREENSHOTS_TO:-}" ] && exit 0
    mkdir -p "$SCREENSHOTS_TO" && import -window root -crop "$3" +repage "$SCREENSHOTS_TO/$2.png" ;;
  *) echo "window.sh: unknown request ${1:-}" >&2; exit 2 ;;
esac
