#!/usr/bin/env bash
# The guide's commands as a reader types them: each block marked <!-- tested: NAME -->
# in the README or docs/*.md runs with bash, as written, in a scratch folder laid out
# as the source folder with the build as build/linux, on a board of its own powered on
# afresh (cabin at floor 1). Also: the C program the guide prints is the example's file.
#   commands.sh SOURCE_DIR BUILD_DIR NAME...   (exit 77: a block needs a display)
set -uo pipefail
src=$(realpath "$1") build=$(realpath "$2"); shift 2
fail() { echo "docs_commands: $*" >&2; exit 1; }

work=$(mktemp -d)
board=placaio-docs-$$
trap 'rm -rf "$work"; rm -f "/dev/shm/$board"' EXIT
mkdir -p "$work/build"
ln -s "$build" "$work/build/linux"
for f in examples library; do ln -s "$src/$f" "$work/$f"; done
# Copies: a program run from assets/ finds ../scratch beside it, and installing the
# package builds inside its folder.
cp -r "$src/assets" "$src/python" "$work/" && rm -rf "$work/python/build" "$work/python"/*.egg-info
export PLACASIM_BOARD=$board

# NAME's block: the lines of the first fenced block after its marker, unindented.
block() {
  cat "$src/README.md" "$src"/docs/*.md | sed 's/^ *//' |
    awk -v m="<!-- tested: $1 -->" '$0 == m {on = 1; next} on && /^```/ {if (open) exit; open = 1; next} open'
}

printed=$(sed -n '/^## A first program in C/,/^```$/p' "$src/docs/library.md" | sed '1,/^```c$/d;$d')
[ "$printed" = "$(cat "$src/examples/piso.c")" ] || fail "docs/library.md prints another program than examples/piso.c"

for name in "$@"; do
  text=$(block "$name")
  [ -n "$text" ] || fail "no block marked '$name'"
  if [[ $text == *elevmando* ]] && [ -z "${DISPLAY:-}" ]; then
    echo "docs_commands: '$name' needs a display"; exit 77
  fi
  "$build/bin/placasim" --no-panel -- true || fail "cannot power the board on"
  echo "docs_commands: $name:"$'\n'"$text"
  (cd "$work" && timeout 300 bash -euo pipefail -c "$text") || fail "the block '$name' failed"
done
echo "docs_commands: ran $*"
