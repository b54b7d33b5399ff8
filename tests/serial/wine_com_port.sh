#!/usr/bin/env bash
# The Windows io.dll under Wine reaching a fake adaptor on a pseudo-terminal through a
# COM port: placa.exe beside it sets the outputs, a second placa.exe reads the inputs,
# the adaptor keeps the outputs between them; found by the scan of COM1..COM32 too;
# and with the adaptor gone, the inputs read off, with one message and no hang.
#   wine_com_port.sh WINE_RUN FAKE_ADAPTOR PLACA_EXE SERIAL_IO_DLL
set -uo pipefail
wine_run=$1 fake=$2 placa=$3 driver=$4
# A port number of its own, so no other test's link is taken over.
com=com23
fail=0
work=$(mktemp -d)
fake_pid= link=
cleanup() {
  [ -z "$fake_pid" ] || kill "$fake_pid" 2>/dev/null
  [ -z "$link" ] || rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT
cp "$placa" "$(dirname "$placa")/placaio.dll" "$driver" "$work/" || exit 1
placa=$work/placa.exe

"$wine_run" "$placa" --help >/dev/null 2>&1  # makes the prefix on a first run
prefix=$("$wine_run" --prefix)
[ -d "$prefix/dosdevices" ] || { echo "FAIL: no $prefix/dosdevices"; exit 1; }
link=$prefix/dosdevices/$com

start_fake() {  # start_fake STATUS
  "$fake" --status "$1" --link "$link" --state "$work/state" >"$work/pty" &
  fake_pid=$!
  for _ in $(seq 50); do [ -s "$work/pty" ] && return; sleep 0.1; done
  echo "FAIL: the fake adaptor did not start"
  exit 1
}
stop_fake() {
  kill "$fake_pid"
  wait "$fake_pid" 2>/dev/null
  fake_pid=
}
. "$(dirname "$0")/../support/check_output.sh"
check() { check_output "$1" "$2" "$3" -- env "${@:5}"; }  # check NAME WANTED_CODE PATTERN -- ENV... placa ARGS...
state_is() {  # state_is NAME TEXT
  if [ "$(cat "$work/state" 2>/dev/null)" = "$2" ]; then echo "ok   $1"; else
    echo "FAIL $1: the adaptor holds '$(cat "$work/state" 2>/dev/null)', not '$2'"
    fail=1
  fi
}

# Every status line low: every input on, which an idle port never reads.
start_fake 0x00
check salida 0 "outputs: 42" -- PLACAIO_SERIAL=COM23 "$wine_run" "$placa" salida 42
state_is "the adaptor holds 42" "data 42 control 7"
check entradas 0 "inputs: 255" -- PLACAIO_SERIAL=COM23 "$wine_run" "$placa" entradas
grep -q "^data 42 " "$work/state" && echo "ok   42 kept after the second program" ||
  { echo "FAIL: the outputs changed: $(cat "$work/state")"; fail=1; }
# Found by the scan, with nothing named.
check scan 0 "inputs: 255" -- PLACAIO_SERIAL= "$wine_run" "$placa" entradas

stop_fake
rm -f "$link"  # its pty's number may go to another program's
began=$(date +%s)
# placa says the driver has no board (3).
check gone-entradas 3 "inputs: 0 " -- PLACAIO_SERIAL=COM23 "$wine_run" "$placa" entradas
check gone-message 3 "io (serial adaptor): no adaptor found" -- PLACAIO_SERIAL=COM23 "$wine_run" "$placa" entradas
took=$(( $(date +%s) - began ))
[ "$took" -lt 60 ] || { echo "FAIL: two runs without the adaptor took ${took}s"; fail=1; }
exit $fail
