#!/usr/bin/env bash
# The Debian packages unpacked into a scratch root (dpkg -x) run from there, without a
# display and without LD_LIBRARY_PATH: placa --help; placa on the simulated board;
# the lift program on it, as the menu entry starts it and on its own run path; the
# C example built with pkg-config against the development package.
# Usage: debian_unpacked.sh PACKAGES_DIR C_COMPILER EXAMPLE_SOURCE
set -euo pipefail
debs=$1 cc=$2 example=$3
fail() { echo "debian_unpacked: $*" >&2; exit 1; }

root=$(mktemp -d)
board=placaio-debian-test-$$
trap 'rm -rf "$root"; rm -f "/dev/shm/$board"' EXIT
for deb in "$debs"/*.deb; do dpkg -x "$deb" "$root"; done
unset LD_LIBRARY_PATH DISPLAY
export PLACASIM_BOARD=$board SDL_VIDEODRIVER=dummy
ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
bin=$root/usr/bin libdir=$root/usr/lib/$ma
script=$root/script

# placasim --script SCRIPT_TEXT [ARGS...]: a headless run on the test's board; the
# trace goes to $root/trace.
placasim_script() {
  printf '%s\n' "$1" >"$script"; shift
  "$bin/placasim" --script "$script" --trace "$root/trace" "$@" >"$root/out" 2>&1 ||
    fail "placasim --script $* failed:
$(cat "$root/out" "$root/trace")"
}

help=$("$bin/placa" --help) || fail "placa --help failed"
[[ $help == "Usage: placa "* ]] || fail "placa --help printed: $help"
loaded=$(ldd "$bin/placa" | sed -n 's/.*libplacaio\.so\.1 => \([^ ]*\) .*/\1/p')
[ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$libdir/libplacaio.so.1")" ] ||
  fail "placa does not load the packaged library: $(ldd "$bin/placa")"

# placa on its own finds the simulated board through the library; placasim wires
# the programs it starts to the packaged one.
placasim_script "run env -u LD_LIBRARY_PATH $bin/placa salida 0x5A
expect outputs 0x5A within 1
run printf '%s' \"\$LD_LIBRARY_PATH\" >$root/driver_path"
[ "$(realpath "$(cut -d: -f1 "$root/driver_path")")" = "$libdir/placaio" ] ||
  fail "placasim gives its programs the drivers in $(cat "$root/driver_path"), not $libdir/placaio"

trip='expect floor 1 within 1
tap 2 0.1
expect motor 1 D within 0.5
expect floor 2 within 5
expect outputs 0 within 0.5'

# The menu entry's command, from its folder: a call takes the cabin to its floor.
desktop=$root/usr/share/applications/elevmando.desktop
exec_line=$(sed -n 's/^Exec=//p' "$desktop") path=$(sed -n 's/^Path=//p' "$desktop")
[ "$exec_line" = "placasim -- elevmando" ] || fail "the menu entry runs '$exec_line'"
for p in ascensor1.bmp ascensor2.bmp ascensor3.bmp; do
  [ -f "$root$path/$p" ] || fail "the menu entry's folder $path has no $p"
done
desktop-file-validate "$desktop" || fail "desktop-file-validate finds faults in the menu entry"
(cd "$root$path" && PATH=$bin:$PATH placasim_script "$trip" -- elevmando)

# The lift program on its own run path: without LD_LIBRARY_PATH from placasim.
placasim_script "$trip" -- env -u LD_LIBRARY_PATH "$bin/elevmando"

# The C example against the development package, through its pkg-config file.
export PKG_CONFIG_PATH=$libdir/pkgconfig PKG_CONFIG_LIBDIR=$libdir/pkgconfig
flags=$(pkg-config --cflags --libs placaio) || fail "pkg-config does not know placaio"
include_dir=$(pkg-config --variable=includedir placaio) lib_dir=$(pkg-config --variable=libdir placaio)
[ "$(realpath "$include_dir")" = "$root/usr/include" ] && [ "$(realpath "$lib_dir")" = "$libdir" ] ||
  fail "pkg-config gives '$flags', not the unpacked folders"
# shellcheck disable=SC2086  # the flags are words
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$example" $flags -o "$root/piso"
# Installed, the loader finds the library in its folder; unpacked, it is told.
placasim_script 'expect outputs 2 within 1
expect floor 2 within 4
expect outputs 0' --strict -- env LD_LIBRARY_PATH="$libdir" "$root/piso"
grep -qx "the cabin is at floor 2 (input byte 16)" "$root/out" ||
  fail "the example did not stop at floor 2: $(cat "$root/out")"
echo "debian_unpacked: the unpacked programs and the example ran on the simulated board"
