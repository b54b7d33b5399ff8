#!/usr/bin/env bash
# placasim.exe under Wine: a script's press seen by placa.exe on the same board, a run
# step's quoted words passed on as written, the command's exit code passed on, and the simulated io.dll reaching the command without
# shadowing a user's io.dll (the recording driver stands in for it), and a second run
# on a busy board refused.
#   placasim_exe.sh WINE_RUN BIN_DIR USER_DIR
# BIN_DIR holds placasim.exe and placa.exe; USER_DIR holds placa.exe beside its own io.dll.
set -uo pipefail
wine_run=$1 bin=$2 user=$3
board=placasim-wine-$$
failures=0
check() {  # description, command output, text expected in it
  if grep -q -- "$3" <<<"$2"; then echo "ok: $1"; else echo "FAILED: $1 (no '$3' in: $2)"; failures=$((failures + 1)); fi
}
script=$(mktemp "$bin/script-XXXXXX.txt")
hold=$(mktemp "$bin/hold-XXXXXX.txt")
trap 'rm -f "$script" "$hold"' EXIT
cd "$bin" || exit 1

printf 'press 2\nrun placa.exe entradas\nrelease 2\n' >"$script"
out=$("$wine_run" placasim.exe --board "$board" --script "$(basename "$script")" 2>&1)
check "a pressed call is seen by another process" "$out" "2:on"
check "the script passed" "$out" '"event":"end","ok":true'

# cmd.exe takes a run step's text as it stands: quoted words arrive whole, unescaped.
printf 'run echo "two  words" end\n' >"$script"
out=$("$wine_run" placasim.exe --board "$board" --script "$(basename "$script")" 2>&1)
check "a run step's quoted words reach the command as written" "$out" '^"two  words" end'

out=$("$wine_run" placasim.exe --board "$board" --no-panel -- placa.exe motor 9 D 2>&1; echo "exit $?")
check "the command's exit code is passed on" "$out" "exit 2"

out=$("$wine_run" "$user/placa.exe" entradas 2>&1)
check "on its own, a program keeps the user's io.dll" "$out" "4:off"
out=$("$wine_run" placasim.exe --board "$board" --no-panel -- "$user/placa.exe" entradas 2>&1)
check "under placasim the same program is on the simulated board" "$out" "4:on"

# The first run's command is a placasim that waits on a board of its own.
printf 'wait 8\n' >"$hold"
"$wine_run" placasim.exe --board "$board" --no-panel -- placasim.exe --board "$board-x" --script "$(basename "$hold")" \
  >/dev/null 2>&1 &
first=$!
sleep 4
out=$("$wine_run" placasim.exe --board "$board" --no-panel -- placa.exe entradas 2>&1; echo "exit $?")
check "a second run on a busy board is refused" "$out" "is in use by placasim.exe (pid"
check "and fails" "$out" "exit 2"
wait "$first"

[ "$failures" -eq 0 ]
