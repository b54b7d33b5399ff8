#!/usr/bin/env bash
# elevmando with no display at all (no DISPLAY, no driver named in SDL_VIDEODRIVER):
# the graphics error once, then the refusal of SDL's start, exit code 1, and less
# than a kilobyte of output in all.
#   no_display.sh PROGRAM DRIVER ASSETS
set -uo pipefail
program=$(readlink -f "$1") driver=$(readlink -f "$2") assets=$3
out=$(mktemp)
trap 'rm -f "$out"' EXIT
cd "$assets" || exit 1
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER LD_LIBRARY_PATH="$(dirname "$driver")" \
  timeout 20 "$program" >"$out" 2>&1
code=$?
size=$(stat -c %s "$out")
echo "no_display: exit code $code, $size bytes of output:"
head -c 2000 "$out"
[ "$code" -eq 1 ] || { echo "no_display: exit code $code, not 1" >&2; exit 1; }
[ "$size" -lt 1024 ] || { echo "no_display: $size bytes of output" >&2; exit 1; }
[ "$(grep -c '^Error al entrar a modo grafico: .' "$out")" -eq 1 ] ||
  { echo "no_display: the graphics error is not there exactly once" >&2; exit 1; }
grep -q '^No se pudo inicializar SDL: ' "$out" || { echo "no_display: no refusal of SDL's start" >&2; exit 1; }
