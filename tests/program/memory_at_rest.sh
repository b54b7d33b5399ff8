#!/usr/bin/env bash
# elevmando at rest at floor 1 of a simulated board redraws the cabin on every pass;
# its resident size must stay flat. Skipped (77) without a display.
#   memory_at_rest.sh ELEVMANDO ASSETS
set -uo pipefail
elevmando=$(readlink -f "$1") assets=$2
[ -n "${DISPLAY:-}" ] || { echo "memory_at_rest: no display" >&2; exit 77; }
export PLACASIM_BOARD=memory-at-rest-$$
cd "$assets" || exit 1
log=$(mktemp)
"$elevmando" >"$log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -f "/dev/shm/$PLACASIM_BOARD" "$log"' EXIT
rss() { awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null; }
sleep 2
before=$(rss)
sleep 6
after=$(rss)
if [ -z "$before" ] || [ -z "$after" ]; then
  wait $pid; echo "memory_at_rest: elevmando ended early with code $?:" >&2; cat "$log" >&2; exit 1
fi
echo "resident size: ${before} kB, 6 s later ${after} kB"
# Unread window events grew it by about 250 kB a second here.
[ $((after - before)) -lt 512 ]
