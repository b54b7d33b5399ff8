#!/usr/bin/env bash
# The Unix side of a script's "run" step under Wine, started by wine_step.exe through
# "start /unix", which splits the words at spaces and keeps their quotes: the words
# are split again as the shell would. The exit code goes to the file wine_step.exe
# waits for (written whole, then renamed, so it never reads half of it).
#   wine_bridge.sh CODE_FILE WORD...
set -uo pipefail
code_file=$1; shift
eval "set -- $*"
# Wine shows a window a moment before its program reads the clicks on it.
[ "${1:-}" = click ] && sleep 0.5
"$E2E_WINDOW" "$@"
echo $? >"$code_file.part" && mv "$code_file.part" "$code_file"
