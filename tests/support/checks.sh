# Sourced by the shell tests: `check NAME COMMAND...` runs one check and prints "ok" or "FAIL"
# with its name, and returns the check's result (so that `check ... || show what was seen`);
# `checks_done` prints the failures and ends the test with its status.
failures=0
check() {
  local name=$1
  shift
  if "$@"; then
    echo "ok   $name"
    return 0
  fi
  echo "FAIL $name"
  failures=$((failures + 1))
  return 1
}
checks_done() {
  [ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
  exit 0
}
