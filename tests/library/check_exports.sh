#!/usr/bin/env bash
# The export table of placaio.dll, as objdump reads it: the directory names the DLL
# "placaio.dll", exports exactly the 29 plain names, and the DLL imports system DLLs
# only (its C and C++ runtimes are linked in).
# Usage: check_exports.sh OBJDUMP DLL
set -euo pipefail
objdump=$1 dll=$2
fail() { echo "check_exports: $*" >&2; exit 1; }

dump=$("$objdump" -p "$dll")

name=$(awk '/^Name[ \t]/ { print $NF; exit }' <<<"$dump")
[ "$name" = placaio.dll ] || fail "export directory names '$name'"

expected="APAGA CONECTA CONECTADO_INT CONECTAR DESCONECTA DESCONECTAR EnviaOcteto EsperaOff
EsperaOn M M1 M2 M3 M4 M_INT SALIDA SALIDA_INT SAW SAX SAY SAZ SA_INT SD SD_INT VE_INT VS_INT
entrada leeanalogica segundos"
exported=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | LC_ALL=C sort)
if ! diff <(tr -s ' \n' '\n' <<<"$expected" | LC_ALL=C sort) <(printf '%s\n' "$exported") >&2; then
  fail "exported names differ (< expected, > exported)"
fi

imports=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$dump" | sort -u)
[ -n "$imports" ] || fail "no imports found"
for import in $imports; do
  case $import in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ntdll.dll) ;;
    *) fail "imports $import, which is not a system DLL" ;;
  esac
done
echo "check_exports: placaio.dll exports the 29 names and imports $(echo $imports)"
