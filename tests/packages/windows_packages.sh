#!/usr/bin/env bash
# The Windows installer and zip made from the two Windows builds into OUT, read
# without running them, so this holds on every host: the zip has what a user needs,
# the 32-bit product in bin\ and the 64-bit files in x64\, each of its bits, no io.dll
# beside any program, and the installer holds exactly the zip's files.
#   windows_packages.sh BUILD_DIR BUILD64_DIR OUT
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(readlink -f "$1") build64=$(readlink -f "$2") out=$3

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

rm -rf "$out" && mkdir -p "$out"
OUT=$out BUILD_DIR=$build BUILD64_DIR=$build64 "$root/packaging/windows/package" --built >/dev/null ||
  { echo "FAIL: packaging/windows/package" >&2; exit 1; }
python3 -m zipfile -e "$out"/placaio-*-win32.zip "$out/zip" || { echo "FAIL: the zip does not unpack" >&2; exit 1; }
tree=$(echo "$out"/zip/placaio-*-win32)

for f in bin/elevmando.exe bin/SDL.dll bin/ascensor{1,2,3}.bmp bin/placasim.exe bin/placasim/io.dll bin/serial/io.dll \
  bin/elevmando-simulado.cmd bin/placa.exe bin/placaio.dll include/placaio.h lib/libplacaio.dll.a \
  firmware/placaio_adaptor.hex firmware/placaio_adaptor/placaio_adaptor.ino firmware/placaio_adaptor/adaptor.c \
  lib/placaio.def examples/piso.c examples/teaching/floor2_stuck_{sin,con}_memoria.txt \
  licenses/SDL/COPYING.txt licenses/SDL/README-SDL.txt \
  x64/bin/placaio.dll x64/bin/placasim.exe x64/bin/placasim/io.dll x64/bin/serial/io.dll x64/bin/placa.exe \
  x64/include/placaio.h x64/lib/placaio.lib x64/lib/libplacaio.dll.a x64/lib/placaio.def \
  x64/lib/pkgconfig/placaio.pc; do
  [ -f "$tree/$f" ] || fail "the zip lacks $f"
done
for f in bin/io.dll x64/bin/io.dll x64/bin/elevmando.exe x64/bin/elevmando-simulado.cmd x64/lib/libio.dll.a lib/libio.dll.a; do
  [ ! -e "$tree/$f" ] || fail "the zip has $f"
done

# A 64-bit program loads only 64-bit DLLs, a 32-bit one only 32-bit ones.
while read -r f; do
  case $f in x64/*) want=pei-x86-64 ;; *) want=pei-i386 ;; esac
  format=$(objdump -f "$tree/$f" | sed -n 's/.*file format //p')
  [ "$format" = "$want" ] || fail "$f is $format, not $want"
done < <(cd "$tree" && find . \( -name '*.exe' -o -name '*.dll' \) -printf '%P\n')

# The x64 import library for Microsoft's linker: placaio.dll's 29 names, x64 objects.
lib_names=$(llvm-nm "$tree/x64/lib/placaio.lib" 2>/dev/null | awk '$2 == "T" && $3 !~ /^__imp_/ { print $3 }' | LC_ALL=C sort)
def_names=$(sed -n 's/^  \([A-Za-z_0-9]*\)$/\1/p' "$tree/x64/lib/placaio.def" | LC_ALL=C sort)
[ "$(wc -l <<<"$def_names")" = 29 ] || fail "x64/lib/placaio.def does not list 29 names"
[ "$lib_names" = "$def_names" ] || fail "x64/lib/placaio.lib names differ from placaio.def:"$'\n'"$(diff <(echo "$def_names") <(echo "$lib_names"))"
# Whole outputs first: grep -q in a pipe would cut its writer off.
members=$(llvm-objdump -a "$tree/x64/lib/placaio.lib" 2>/dev/null)
grep -q 'file format coff-x86-64' <<<"$members" || fail "x64/lib/placaio.lib holds no x64 objects"
grep -qx placaio.dll <<<"$(strings "$tree/x64/lib/placaio.lib")" || fail "x64/lib/placaio.lib does not name placaio.dll"

# The installer's files, as 7-Zip reads them, are the zip's (the uninstaller aside).
listed=$(7z l -slt "$out"/placaio-*-win32-setup.exe | sed -n 's/^Path = //p' | tr '\\' / |
  grep -v -e '^\$PLUGINSDIR' -e '^uninstall.exe$' -e '-setup.exe$' | LC_ALL=C sort)
zipped=$(cd "$tree" && find . -type f -printf '%P\n' | LC_ALL=C sort)
[ -n "$listed" ] || fail "7z lists no files in the installer"
[ "$listed" = "$zipped" ] ||
  fail "the installer's files differ from the zip's ('<' installer, '>' zip):"$'\n'"$(diff <(echo "$listed") <(echo "$zipped"))"

[ "$failed" = 0 ] && echo "windows_packages.sh: $(wc -l <<<"$zipped") files, the same in the zip and the installer"
exit "$failed"
