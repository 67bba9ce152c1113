# Sourced by the shell tests: `check NAME COMMAND...` runs one check and prints "ok" or "FAIL"
# with its name; `checks_done` prints the failures and ends the test with its status.
failures=0
check() {
  local name=$1
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
checks_done() {
  [ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
  exit 0
}
