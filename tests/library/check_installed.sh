#!/usr/bin/env bash
# Installs the library into a scratch prefix and builds the C example against the
# installed files only, through pkg-config, as a user's program would be built. On
# Windows, given WINE_RUN, the example then runs under the installed placasim.exe.
# Usage: check_installed.sh BUILD_DIR EXAMPLE_SOURCE C_COMPILER linux|windows [OBJDUMP [WINE_RUN]]
set -euo pipefail
build=$1 source=$2 cc=$3 platform=$4 objdump=${5:-objdump} wine_run=${6:-}
fail() { echo "check_installed: $*" >&2; exit 1; }

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
for component in placaio placaio_dev; do
  cmake --install "$build" --component $component --prefix "$prefix" >/dev/null
done

pc=$(find "$prefix" -name placaio.pc)
[ -n "$pc" ] || fail "no placaio.pc installed"
[ -f "$prefix/include/placaio.h" ] || fail "no placaio.h installed"
export PKG_CONFIG_PATH=$(dirname "$pc") PKG_CONFIG_LIBDIR=$(dirname "$pc")
flags=$(pkg-config --cflags --libs placaio) || fail "pkg-config does not know placaio"
case $flags in *"$prefix"*) ;; *) fail "pkg-config flags '$flags' do not point into the prefix" ;; esac

program=$prefix/piso
# shellcheck disable=SC2086  # the flags are words
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$source" $flags -o "$program"

case $platform in
  linux)
    libdir=$(dirname "$(dirname "$pc")")
    [ -f "$libdir/libplacaio.so" ] || fail "no libplacaio.so in $libdir"
    # Whole outputs first: grep -q in a pipe would cut its writer off.
    needed=$(readelf -d "$program")
    grep -q 'NEEDED.*\[libplacaio\.so\.1\]' <<<"$needed" ||
      fail "the program does not need libplacaio.so.1"
    runpath=$(readelf -d "$libdir/libplacaio.so.1" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [ "$runpath" = '$ORIGIN/placaio' ] || fail "installed run path is '$runpath'"
    ;;
  windows)
    imports=$("$objdump" -p "$program.exe")
    grep -q 'DLL Name: placaio.dll' <<<"$imports" || fail "the program does not import placaio.dll"
    if [ -n "$wine_run" ]; then
      # Beside the library, as a user's program would be, on the simulated board.
      cmake --install "$build" --component placasim --prefix "$prefix" >/dev/null
      mv "$program.exe" "$prefix/bin/"
      printf '%s\n' 'expect outputs 2 within 5' 'expect floor 2 within 4' 'expect outputs 0' >"$prefix/bin/trip.txt"
      out=$(cd "$prefix/bin" && "$wine_run" placasim.exe --board "placaio-example-$$" --no-panel \
        --script trip.txt --strict -- piso.exe 2>&1 | tr -d '\r') || fail "the example's run failed: $out"
      grep -qx "the cabin is at floor 2 (input byte 16)" <<<"$out" ||
        fail "the example did not stop at floor 2: $out"
      echo "check_installed: the example called the cabin to floor 2 on the simulated board"
    fi
    ;;
esac
echo "check_installed: the example builds against $prefix with: $flags"
