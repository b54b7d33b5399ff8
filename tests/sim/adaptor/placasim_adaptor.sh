#!/usr/bin/env bash
# placasim --adaptor: the command reaches the board through the emulated adaptor, and
# a firmware or command line placasim cannot use is refused before anything runs.
#   placasim_adaptor.sh PLACASIM PROBE FIRMWARE PLACA LIBRARY PYTHON_DIR   (LIBRARY "": no Python)
set -uo pipefail
placasim=$1 probe=$2 firmware=$3 placa=$4 library=$5 python_dir=$6
dir=$(mktemp -d)
board=placasim-adaptor-$$
trap 'rm -rf "$dir"; rm -f "/dev/shm/$board"' EXIT
failed=0
fail() { echo "placasim_adaptor: $*" >&2; failed=1; }

cat >"$dir/script.txt" <<'END'
expect outputs 42 within 5
press 1
expect outputs 0 within 2
END
"$placasim" --board "$board" --script "$dir/script.txt" --trace "$dir/trace" --vcd "$dir/run.vcd" \
  --adaptor "$firmware" -- "$probe" 2>"$dir/err"
code=$?
[ "$code" = 0 ] || fail "the run through the adaptor failed ($code): $(cat "$dir/err") $(tail -3 "$dir/trace")"
grep -q '"summary"' "$dir/trace" || fail "no summary in the trace"
[ -s "$dir/run.vcd" ] || fail "no waveform"

# placa in one process after another through the serial driver: each opens the port,
# which resets the chip as a Uno's does, and finds the adaptor again.
cat >"$dir/placa.txt" <<END
expect outputs 0
run "$placa" salida 42 >/dev/null
expect outputs 42
run "$placa" entradas >/dev/null
expect outputs 42
press 1
run "$placa" espera-on 1 -t 3 >/dev/null
run "$placa" salida 0 >/dev/null
expect outputs 0
END
"$placasim" --board "$board" --script "$dir/placa.txt" --trace "$dir/trace" --adaptor "$firmware" -- sleep 60 \
  2>"$dir/err"
code=$?
[ "$code" = 0 ] || fail "placa through the adaptor failed ($code): $(cat "$dir/err") $(tail -3 "$dir/trace")"

# The Python example, calling the cabin to floor 3 and stopping it there.
cat >"$dir/python.txt" <<END
expect floor 1
run env PYTHONPATH="$python_dir" PLACAIO_LIBRARY="$library" python3 "$python_dir/examples/piso.py" 3 >/dev/null
expect floor 3
expect outputs 0
END
if [ -n "$library" ]; then
  "$placasim" --board "$board" --script "$dir/python.txt" --trace "$dir/trace" --strict --adaptor "$firmware" \
    -- sleep 60 2>"$dir/err"
  code=$?
  [ "$code" = 0 ] || fail "the Python example through the adaptor failed ($code): $(cat "$dir/err") $(tail -3 "$dir/trace")"
fi

expect_refusal() {  # what the error says, placasim's arguments...
  local says=$1; shift
  "$placasim" --board "$board" --no-panel "$@" >"$dir/out" 2>"$dir/err"
  local code=$?
  [ "$code" = 2 ] || fail "$* ended with $code, not 2"
  grep -qF -- "$says" "$dir/err" || fail "$* said: $(cat "$dir/err")"
}
expect_refusal "cannot read the firmware $dir/none.hex" --adaptor "$dir/none.hex" -- true
echo "not a firmware" >"$dir/notes.hex"
expect_refusal "$dir/notes.hex is not a firmware" --adaptor "$dir/notes.hex" -- true
expect_refusal "--adaptor needs a command" --adaptor "$firmware"

[ "$failed" = 0 ] && echo "placasim_adaptor: the command drove the board through the adaptor"
exit "$failed"
