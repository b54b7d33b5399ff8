#!/usr/bin/env bash
# placasim.exe started on its own, as a Start-menu entry starts it (a console of its
# own), hides that console once its panel shows; started from a command prompt, the
# prompt's console stays. Skipped (77) without a display.
#   console_hidden.sh WINE_RUN BIN_DIR PANEL_PROBE
set -uo pipefail
wine_run=$1 bin=$2 probe=$3
[ -n "${DISPLAY:-}" ] || { echo "console_hidden.sh: no display" >&2; exit 77; }
cd "$bin" || exit 1
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The X window titled exactly $1 once it is there (20 s), and whether it is mapped.
window_of() {
  local w
  for _ in $(seq 200); do
    w=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
mapped() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# panel_with CONSOLE_TITLE EXPECTED(hidden|shown) START_ARGS...
panel_with() {
  local console_title=$1 expected=$2; shift 2
  local board=placasim-console-$$-$expected
  local title="placasim - board $board"
  "$wine_run" start "$@" placasim.exe --board "$board" >/dev/null 2>&1
  local panel console
  panel=$(window_of "$title") || { fail "no panel ($expected)"; return; }
  console=$(window_of "$(sed 's/[\\.]/\\&/g' <<<"$console_title")") || { fail "no console window ($expected)"; }
  # The Faults window opens after the panel; Wine hides another process's window in
  # its own time, so the console is given 5 s to come to its state, and kept to it 1 s.
  window_of "placasim - Faults" >/dev/null || fail "no Faults window ($expected)"
  if [ -n "$console" ]; then
    local state
    for _ in $(seq 50); do
      if mapped "$console"; then state=shown; else state=hidden; fi
      [ "$state" = "$expected" ] && break
      sleep 0.1
    done
    sleep 1
    if mapped "$console"; then state=shown; else state=hidden; fi
    [ "$state" = "$expected" ] && echo "ok: the console is $state" || fail "the console is $state, not $expected"
  fi
  "$wine_run" "$probe" close "$title" >/dev/null 2>&1
  for _ in $(seq 100); do mapped "$panel" 2>/dev/null || break; sleep 0.1; done
  rm -f "/dev/shm/$board"
}

panel_with "$("$wine_run" winepath -w "$bin/placasim.exe" 2>/dev/null | tr -d '\r')" hidden
panel_with 'C:\windows\system32\cmd.exe' shown cmd /c
[ "$failures" -eq 0 ]
