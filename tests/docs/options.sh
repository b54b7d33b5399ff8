#!/usr/bin/env bash
# One set of options per program: what its --help lists, its manual page and the
# guide's option table name the same long options; placasim's script steps are the
# same in the parser, the manual page and the guide; --version answers.
#   options.sh SOURCE_DIR BIN_DIR VERSION
set -uo pipefail
src=$1 bin=$2 version=$3
failed=0
fail() { echo "docs_options: $*" >&2; failed=1; }

long_options() { grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }
# The table that follows <!-- options: PROGRAM --> in the guide.
guide_table() { cat "$src"/docs/*.md | sed -n "/<!-- options: $1 -->/,/^\$/p"; }
man_text() { sed 's/\\-/-/g' "$src/packaging/linux/man/$1.1"; }
differ() {  # what, first list, second list
  [ "$2" = "$3" ] || fail "$1: $(diff <(echo "$2") <(echo "$3") | grep '^[<>]' | tr '\n' ' ')"
}

for program in placa placasim elevmando; do
  help=$("$bin/$program" --help | long_options)
  [ -n "$help" ] || fail "$program --help lists no options"
  differ "$program: --help (<) and its manual page (>)" "$help" "$(man_text $program | long_options)"
  differ "$program: --help (<) and the guide's table (>)" "$help" "$(guide_table $program | long_options)"
  said=$("$bin/$program" --version) || fail "$program --version failed"
  [ "$said" = "$program $version" ] || fail "$program --version said '$said'"
done

# Script steps: the words the parser compares, and those it takes by other means.
steps=$( { grep -rhoE 'verb == "[a-z]+"' "$src/sim" | grep -oE '"[a-z]+"' | tr -d '"'; echo run window click; } |
  tr ' ' '\n' | sort -u)
[ "$(wc -l <<<"$steps")" -ge 10 ] || fail "found only these steps in the parser: $steps"
man_steps=$(man_text placasim | sed -n '/^\.SH SCRIPTS/,/^\.SH /p')
guide_steps=$(sed -n '/^| step | meaning |/,/^$/p' "$src/docs/simulator.md")
for step in $steps; do
  grep -qE "^\.(B|BI|BR|TQ).*\b$step\b" <<<"$man_steps" || fail "placasim.1 does not describe the step $step"
  grep -qE "^\|.*\`$step\b" <<<"$guide_steps" || fail "the guide's step table lacks $step"
done

[ "$failed" = 0 ] && echo "docs_options: options, steps and versions agree"
exit "$failed"
