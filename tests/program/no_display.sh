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

# Where the pictures are not (no display needed with SDL's dummy driver): one line on
# standard error naming the picture and the folder, however long the cabin rests.
empty=$(mktemp -d)
trap 'rm -f "$out"; rm -rf "$empty"' EXIT
cd "$empty" || exit 1
env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy LD_LIBRARY_PATH="$(dirname "$driver")" \
  timeout -s TERM 2 "$program" >/dev/null 2>"$out"
said=$(cat "$out")
[ "$said" = "elevmando: the cabin picture ascensor1.bmp cannot be opened in $empty (the pictures are read from the working directory)" ] ||
  { echo "no_display: without pictures it said: $said" >&2; exit 1; }
version=$("$program" --version) && [[ $version =~ ^elevmando\ [0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  { echo "no_display: --version gave '$version'" >&2; exit 1; }
echo "no_display: pictures missing said once; $version"
