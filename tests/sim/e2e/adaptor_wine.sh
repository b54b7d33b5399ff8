#!/usr/bin/env bash
# elevmando.exe under Wine with the serial driver's io.dll beside it, as a user sets it
# up, driving the lift through a COM port that leads to the emulated adaptor of the
# Linux build's placasim: an end-to-end script, with the lift's rules (--strict).
# Skipped (77) without a display or without the Linux build.
#   adaptor_wine.sh WINE_RUN LINUX_BUILD BIN_DIR SERIAL_IO_DLL SCRIPT
set -uo pipefail
wine_run=$1 linux=$2 bin=$3 driver=$4 script=$(readlink -f "$5")
[ -n "${DISPLAY:-}" ] || { echo "adaptor_wine.sh: skipped: no display"; exit 77; }
placasim=$linux/bin/placasim firmware=$linux/firmware/placaio_adaptor.elf
if [ ! -x "$placasim" ] || [ ! -f "$firmware" ]; then
  echo "adaptor_wine.sh: skipped: no $placasim or $firmware (scripts/build linux makes them)"
  exit 77
fi
com=com24  # a port of its own: other tests link theirs
prefix=$("$wine_run" --prefix)
link=$prefix/dosdevices/$com
work=$(mktemp -d)
board=placasim-adaptor-wine-$$
trap 'rm -rf "$work"; rm -f "$link" "/dev/shm/$board"' EXIT
cp "$bin"/elevmando.exe "$bin"/SDL.dll "$bin"/placaio.dll "$bin"/*.bmp "$driver" "$work/" || exit 1
"$wine_run" cmd.exe /c exit >/dev/null 2>&1  # makes the prefix on a first run
[ -d "$prefix/dosdevices" ] || { echo "FAIL: no $prefix/dosdevices"; exit 1; }

# The program reads its pictures from the working folder.
cd "$work" || exit 1
"$placasim" --board "$board" --script "$script" --strict --adaptor "$firmware" -- \
  /bin/sh -c 'ln -sfn "$PLACAIO_SERIAL" "$1" && PLACAIO_SERIAL=$2 exec "$3" elevmando.exe' \
  sh "$link" "${com^^}" "$wine_run"
