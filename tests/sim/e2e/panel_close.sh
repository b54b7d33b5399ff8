#!/usr/bin/env bash
# The panel closed while its command runs: the window leaves the screen within a
# second, the command goes on, placasim ends when it ends, with its exit code. Left
# open, the panel stays after its command ended, saying how it ended, until closed.
#   panel_close.sh PLACASIM PROBE
set -uo pipefail
placasim=$(readlink -f "$1") probe=$(readlink -f "$2")
[ -n "${DISPLAY:-}" ] || { echo "panel_close.sh: no display" >&2; exit 77; }
board=placasim-e2e-close-$$
title="placasim - board $board"
stop=$(mktemp -u)
trap 'rm -f "$stop" "/dev/shm/$board"' EXIT
fail() { echo "panel_close.sh: $*" >&2; kill -KILL "$pid" 2>/dev/null; exit 1; }
visible() { [ -n "$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null)" ]; }

"$placasim" --board "$board" -- sh -c "while [ ! -e '$stop' ]; do sleep 0.05; done; exit 5" &
pid=$!
for _ in $(seq 100); do visible && break; sleep 0.1; done
visible || fail "the panel never showed"
"$probe" close "$title" || fail "could not ask the panel to close"
gone=0
for _ in $(seq 10); do sleep 0.1; visible || { gone=1; break; }; done
[ "$gone" = 1 ] || fail "the panel is still on the screen 1 s after it was closed"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "placasim ended with the panel; its command should go on"
[ -n "$(pgrep -P "$pid")" ] || fail "the command ended with the panel"
touch "$stop"
for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "placasim did not end with its command"
wait "$pid"
code=$?
[ "$code" = 5 ] || fail "exit code $code, not the command's 5"
echo "panel_close.sh: closed panel unmapped, command ran on, placasim ended with it"

"$placasim" --board "$board" -- sh -c "exit 3" &
pid=$!
for _ in $(seq 100); do visible && break; sleep 0.1; done
status=
for _ in $(seq 30); do
  status=$("$probe" status "$title") && grep -q "sh -c exit 3: finished (exit 3)" <<<"$status" && break
  sleep 0.1
done
grep -q "finished (exit 3)" <<<"$status" || fail "the panel does not say how its command ended: $status"
sleep 0.5
visible || fail "the panel went with its command"
"$probe" close "$title" || fail "could not ask the panel to close"
wait "$pid"
code=$?
[ "$code" = 3 ] || fail "exit code $code after the panel was closed, not the command's 3"
echo "panel_close.sh: the panel stayed after its command ended and said so"
