#!/usr/bin/env bash
# placa.exe under Wine, beside the recording io.dll: help, one command, refusals. Then
# beside an io.dll of the other bits, which no process of these bits can load.
#   placa_exe.sh WINE_RUN PLACA_EXE OTHER_BITS_DLL
set -uo pipefail
wine_run=$1 placa=$2 other_bits=$3
fail=0
. "$(dirname "$0")/../support/check_output.sh"
check() { check_output "$1" "$2" "$3" -- "$wine_run" "$placa" "${@:5}"; }  # check NAME WANTED_CODE PATTERN -- ARGS...
check help 0 "espera-off N [-t S]" -- --help
# The recording driver answers 0x78: every count reads 255, four whole volts.
check analogicas 0 "3 (Y)     255      4" -- analogicas
check motores 0 "motors: 1:D 2:P 3:I 4:P" -- motores DPIP
check bad-byte 2 "salida: byte 256 is out of range (0..255)" -- salida 256
# Full-width digits and letters are no ASCII ones, as on Linux; the ANSI code page
# would have turned them into look-alikes.
check fullwidth-digit 2 "is not a number" -- salida ３
check fullwidth-letters 2 "motores: bad motor codes" -- motores ＤＰＩＰ
check fullwidth-option 2 "expected espera-on N" -- espera-on 1 －ｔ 1

# The library behaves as with no driver: every input off, writes go nowhere, no crash.
other=$(mktemp -d)
trap 'rm -rf "$other"' EXIT
cp "$placa" "$(dirname "$placa")/placaio.dll" "$other/" && cp "$other_bits" "$other/io.dll"
placa=$other/placa.exe
check other-bits-salida 0 "outputs: 255" -- salida 255
check other-bits-entradas 0 "inputs: 0 (0x00, 0b00000000)" -- entradas
exit $fail
