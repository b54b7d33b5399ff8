#!/usr/bin/env bash
# A script's "run" step under Wine reaches window.sh through cmd.exe's
# "start /wait /unix", which splits the words at spaces and keeps their quotes and
# loses the exit code: the words are split again as the shell would, and a failure
# is written to $E2E_FAILURES for run.sh.
set -uo pipefail
eval "set -- $*"
# Wine shows a window a moment before its program reads the clicks on it.
[ "${1:-}" = click ] && sleep 0.5
"$E2E_WINDOW" "$@" || echo "window.sh $* failed" >>"$E2E_FAILURES"
