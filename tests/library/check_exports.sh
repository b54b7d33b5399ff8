#!/usr/bin/env bash
# The export table of placaio.dll, as objdump reads it: the directory names the DLL
# "placaio.dll", exports exactly the 29 plain names, and the DLL imports system DLLs
# only (its C and C++ runtimes are linked in). In the 32-bit DLL every export removes
# its own arguments: each of its returns is `ret $N`, N four times the arguments the
# header gives it. Read from the files, so it holds on hosts that cannot run the DLL.
# Usage: check_exports.sh OBJDUMP DLL HEADER
set -euo pipefail
objdump=$1 dll=$2 header=$3
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

convention="one calling convention"
if [ "$("$objdump" -f "$dll" | sed -n 's/.*file format //p')" = pei-i386 ]; then
  # name -> stack bytes: four per argument (each is an int32_t, a pointer or a float).
  declare -A bytes
  while read -r name parameters; do
    [ "$parameters" = void ] && bytes[$name]=0 || bytes[$name]=$(( $(tr -cd , <<<"$parameters" | wc -c) * 4 + 4 ))
  done < <(sed -n 's/.*PLACAIO_LLAMADA \([A-Za-z_0-9]*\)(\(.*\));.*/\1 \2/p' "$header")
  [ ${#bytes[@]} = 29 ] || fail "the header declares ${#bytes[@]} functions, not 29"
  base=$(awk '/^ImageBase/ { print $2 }' <<<"$dump")
  mapfile -t rvas < <(sed -n 's/^[[:space:]]*\[ *[0-9]*\] +base\[ *[0-9]*\] *\([0-9a-f]*\) Export RVA/\1/p' <<<"$dump")
  code=$("$objdump" -d "$dll")
  while read -r index name; do
    address=$(printf '%x' $((0x$base + 0x${rvas[$index]})))
    # The function's block: from its label to the blank line after it.
    returns=$(awk -v a="$address" '$0 ~ "^0*" a " <" { on = 1 } on && /^$/ { exit } on' <<<"$code" |
      grep -oE '[[:space:]]ret[[:space:]]*(\$0x[0-9a-f]+)?$' | tr -d ' \t' | sort -u)
    want=ret; [ "${bytes[$name]}" = 0 ] || want=$(printf 'ret$0x%x' "${bytes[$name]}")
    [ "$returns" = "$want" ] || fail "$name returns with '$(echo $returns)', not '$want'"
  done < <(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)/\1 \2/p')
  convention="each removes its own arguments"
fi
echo "check_exports: placaio.dll exports the 29 names ($convention) and imports $(echo $imports)"
