#!/usr/bin/env bash
# The Windows installer and zip made from this build, tried under Wine in a prefix of
# its own: silent installs for all users (beside a user's io.dll) and for the current
# user, the files, the simulated lift's Start-menu entry run with a placasim script, a
# second install over a damaged first one, silent uninstalls after a file was deleted
# by hand. The zip is the expected tree. Skipped (77) without a display.
#   windows_installer.sh BUILD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(readlink -f "$1")
[ -n "${DISPLAY:-}" ] || { echo "windows_installer.sh: no display" >&2; exit 77; }

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

work=$(mktemp -d)
export WINEPREFIX=$work/wine
# No menu entries on this machine's desktop for the test's Start menu.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
wine() { timeout 60 "$root/scripts/wine-run" "$@"; }
# Waits for the prefix's programs to end (an uninstaller goes on from a copy of itself).
settle() { timeout 60 wineserver -w; }
unix_path() { local p=${1#C:\\}; echo "$WINEPREFIX/drive_c/${p//\\//}"; }
files_in() { (cd "$1" && find . -type f) | LC_ALL=C sort; }

# The new prefix first, which takes the longest.
timeout 120 "$root/scripts/wine-run" cmd /c exit >/dev/null 2>&1 || { echo "FAIL: no Wine prefix" >&2; exit 1; }
OUT=$work/out BUILD_DIR=$build "$root/packaging/windows/package" --built >/dev/null ||
  { echo "FAIL: packaging/windows/package" >&2; exit 1; }
setup=$(echo "$work"/out/placaio-*-win32-setup.exe)
mkdir -p "$work/zip"
python3 -m zipfile -e "$work"/out/placaio-*-win32.zip "$work/zip" || fail "the zip does not unpack"
tree=$(echo "$work"/zip/placaio-*-win32)

# What a user needs, and no io.dll beside the programs.
for f in bin/elevmando.exe bin/SDL.dll bin/ascensor{1,2,3}.bmp bin/placasim.exe bin/placasim/io.dll \
  bin/elevmando-simulado.cmd bin/placa.exe bin/placaio.dll include/placaio.h lib/libplacaio.dll.a \
  lib/placaio.def examples/piso.c examples/teaching/floor2_stuck_{sin,con}_memoria.txt \
  licenses/SDL/COPYING.txt licenses/SDL/README-SDL.txt; do
  [ -f "$tree/$f" ] || fail "the zip lacks $f"
done
[ ! -e "$tree/bin/io.dll" ] || fail "the zip has bin/io.dll"

# Installed: the zip's files with the same contents, the uninstaller, the user's io.dll.
check_installed() {  # folder
  local extra
  extra=$(diff <({ files_in "$tree"; printf '%s\n' ./bin/io.dll ./uninstall.exe; } | LC_ALL=C sort) <(files_in "$1"))
  [ -z "$extra" ] || fail "installed files differ from the zip's ('<' missing, '>' extra):"$'\n'"$extra"
  while read -r f; do
    [ ! -f "$1/$f" ] || cmp -s "$tree/$f" "$1/$f" || fail "$1/$f differs from the zip's"
  done < <(files_in "$tree")
  [ "$(cat "$1/bin/io.dll" 2>/dev/null)" = "the user's driver" ] || fail "the user's io.dll was changed"
}

# The Start menu's entries: each program there, started in the pictures' folder.
entries=("Lift program on the simulated board" "Lift program (real board)" "Board simulator" "Uninstall placaio")
check_menu() {  # menu folder, installed folder (Windows path)
  local name target dir args
  for name in "${entries[@]}"; do
    [ -f "$1/$name.lnk" ] || { fail "no Start-menu entry $name in $1"; continue; }
    { read -r target; read -r dir; read -r args; } < <("$here/lnk.py" "$1/$name.lnk")
    [ "${target%\\*}" = "$2\\bin" ] || [ "$target" = "$2\\uninstall.exe" ] || fail "$name starts $target"
    [ -f "$(unix_path "$target")" ] || fail "$name: no $target"
    [ "$dir" = "$2\\bin" ] || fail "$name starts in $dir"
  done
}

machine_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/placaio"
user_menu="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/placaio"
registry_entry() {  # system.reg|user.reg: whether it names an install (read once Wine is done)
  grep -qiF '[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\placaio]' "$WINEPREFIX/$1"
}

# For all users (the default as an administrator), where a user's io.dll already is.
installed=$WINEPREFIX/drive_c/placaio-test
mkdir -p "$installed/bin"
echo "the user's driver" >"$installed/bin/io.dll"
wine "$setup" /S '/D=C:\placaio-test' || fail "the install ended with $?"
check_installed "$installed"
check_menu "$machine_menu" 'C:\placaio-test'

# The simulated lift's entry, with a script: a call moves the cabin, which stops at its floor.
{ read -r target; read -r dir; read -r args; } < <("$here/lnk.py" "$machine_menu/${entries[0]}.lnk")
[ "${target##*\\}" = placasim.exe ] && [ "$dir" = "${target%\\*}" ] ||
  fail "the simulated lift's entry is $target in $dir"
read -ra words <<<"$args"
"$root/tests/sim/e2e/run.sh" --wine "$root/scripts/wine-run" "$(unix_path "$target")" \
  "$root/tests/sim/e2e/sin_memoria.txt" "${words[@]}" || fail "the simulated lift's entry: the script failed"

# For the current user too, elsewhere.
per_user=$WINEPREFIX/drive_c/placaio-user
wine "$setup" /S /CurrentUser '/D=C:\placaio-user' || fail "the install for the current user ended with $?"
check_menu "$user_menu" 'C:\placaio-user'

# Again, without a folder: the first install's folder, repaired.
truncate -s 0 "$installed/bin/placa.exe"
wine "$setup" /S || fail "the second install ended with $?"
check_installed "$installed"
[ ! -e "$WINEPREFIX/drive_c/Program Files/placaio" ] || fail "the second install went to Program Files"

# Uninstalled after a file was deleted by hand: only the user's io.dll stays.
rm "$installed/bin/ascensor2.bmp"
wine "$installed/uninstall.exe" /S || fail "the uninstall ended with $?"
settle
left=$(cd "$installed" && find . | sort | tr '\n' ' ')
[ "$left" = ". ./bin ./bin/io.dll " ] || fail "left after the uninstall: $left"
[ "$(cat "$installed/bin/io.dll")" = "the user's driver" ] || fail "the uninstall changed the user's io.dll"
[ ! -e "$machine_menu" ] || fail "the Start menu's entries stay after the uninstall"
[ -e "$user_menu" ] || fail "the uninstall for all users removed the current user's entries"
registry_entry system.reg && fail "the uninstall entry for all users stays"
registry_entry user.reg || fail "the uninstall for all users removed the current user's entry"

wine "$per_user/uninstall.exe" /S || fail "the current user's uninstall ended with $?"
settle
[ ! -e "$per_user" ] || fail "left after the current user's uninstall: $(cd "$per_user" && find .)"
[ ! -e "$user_menu" ] || fail "the current user's Start-menu entries stay"
registry_entry user.reg && fail "the current user's uninstall entry stays"

[ "$failed" = 0 ] && echo "windows_installer.sh: passed"
exit "$failed"
