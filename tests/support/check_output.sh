# Sourced by test scripts: runs a command and checks its exit code and output.
#   check_output NAME WANTED_CODE PATTERN -- COMMAND...
# Says "ok" or "FAIL" with the output, and sets fail=1 on a failure.
check_output() {
  local name=$1 want=$2 pattern=$3
  shift 4
  local out code
  out=$("$@" 2>&1 | tr -d '\r')
  code=${PIPESTATUS[0]}
  if [ "$code" != "$want" ] || ! grep -qF -- "$pattern" <<<"$out"; then
    echo "FAIL $name: exit $code (wanted $want), output:"
    echo "$out"
    fail=1
  else
    echo "ok   $name"
  fi
}
