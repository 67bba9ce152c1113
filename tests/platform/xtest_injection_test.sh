#!/usr/bin/env bash
# End to end: `kestrane-cli replay --inject` types through XTest into a separate X client that
# holds the input focus; the client must see exactly the expected presses and releases, in order.
# Exit status 77 (skipped) when no X display can be had.
set -u
cli=${KESTRANE_CLI:?}
logger=${X_KEY_LOGGER:?}
examples=${KESTRANE_EXAMPLES:?}
source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb
work=$x_work
source "$(dirname "$0")/../support/checks.sh"
# A private X server keeps the typed keys away from other tests' windows.
x_start_display 640x480x24

"$logger" --timeout 110 > "$work/log" 2> "$work/logger.err" &
logger_pid=$!
x_pids+=("$logger_pid")
if ! wait_for 100 grep -q '^ready$' "$work/log"; then
  wait "$logger_pid"
  status=$?
  logger_pid=
  if [ "$status" = 77 ]; then
    echo "skipped: no X display"
    exit 77
  fi
  echo "FAIL the key logger did not start (status $status)"; cat "$work/logger.err"
  exit 1
fi
export KESTRANE_KEY_OUTPUT=xtest

key_lines() { grep -v -e '^ready$' -e '^focus lost$' "$work/log"; }
seen() { key_lines | wc -l; }
# The key lines the logger printed after the first $1 of them.
keys_after() { key_lines | tail -n +$(($1 + 1)); }
pressed_after() { keys_after "$1" | grep -q "^press $2\$"; }
# At least $2 key lines after the first $1 (a function, so wait_for evaluates it afresh each try).
seen_after() { test "$(($(seen) - $1))" -ge "$2"; }

# replay NAME EXPECTED_FILE TRACE ARGS...: the injected replay prints what the plain one prints,
# says nothing on stderr, and the logger sees exactly the expected keys.
replay() {
  local name=$1 expected=$2 trace=$3; shift 3
  local before; before=$(seen)
  "$cli" replay --inject --delay 0 --set CHECK_INTERVAL=5 "$@" "$trace" > "$work/out" 2> "$work/err"
  check "$name: status" test $? = 0
  "$cli" replay --set CHECK_INTERVAL=5 "$@" "$trace" > "$work/plain"
  check "$name: same output as without --inject" cmp -s "$work/out" "$work/plain"
  check "$name: nothing on stderr" test ! -s "$work/err"
  local want; want=$(wc -l < "$expected")
  wait_for 50 seen_after "$before" "$want"
  sleep 0.2  # anything more would be a fault too
  keys_after "$before" > "$work/got"
  if ! check "$name: keys in order" cmp -s "$expected" "$work/got"; then
    diff "$expected" "$work/got" | head -20
  fi
}

every_gear=$examples/every-gear.trace  # N 1 N 2 N 3 N 4 N 5 N 6 N 7 N R N

# Mode 0: each gear's key held while the gear is in; reverse is the 8 key.
for g in 1 2 3 4 5 6 7 8; do printf 'press %s\nrelease %s\n' "$g" "$g"; done > "$work/mode0"
replay "mode 0" "$work/mode0" "$every_gear" --set SYM_TYPE=0

# Mode 1: a tap per change, the N key for neutral.
for g in 1 2 3 4 5 6 7 8; do printf 'press %s\nrelease %s\npress n\nrelease n\n' "$g" "$g"; done \
  > "$work/mode1"
replay "mode 1" "$work/mode1" "$every_gear" --set SYM_TYPE=1

# Mode 2: Page Up / Page Down once per step along RN1234567.
taps() { for _ in $(seq "$2"); do printf 'press %s\nrelease %s\n' "$1" "$1"; done; }
{
  for g in 1 2 3 4 5 6 7; do taps Prior "$g"; taps Next "$g"; done
  taps Next 1
  taps Prior 1
} > "$work/mode2"
replay "mode 2" "$work/mode2" "$every_gear" --set SYM_TYPE=2

# A trace that ends with a gear in: the key is released at the end.
printf '0 32767\n0 0\n0 0\n0 0\n' > "$work/ends-in-gear.trace"
printf 'press 1\nrelease 1\n' > "$work/held"
replay "held key released at the end" "$work/held" "$work/ends-in-gear.trace" --set SYM_TYPE=0

# A stick lost and found as the program finds it: reads failing for 500 ms (100 ticks of 5 ms), then
# reported gone and read again; each time the key comes up and goes down again.
{
  printf '0 32767\n0 0\n0 0\n0 0\n'
  printf 'fail\n%.0s' $(seq 100)
  printf '0 0\ngone\n0 0\n0 32767\n0 32767\n0 32767\n'
} > "$work/lost.trace"
for _ in 1 2 3; do printf 'press 1\nrelease 1\n'; done > "$work/lost"
replay "stick lost and back" "$work/lost" "$work/lost.trace" --set SYM_TYPE=0

# Every way the replay can end in the middle of a held gear lets the key up: a stop signal (the
# status tells it), and a kill or crash that gives the program no chance (its key guard does it).
for sig in INT TERM HUP QUIT ABRT SEGV KILL; do
  mkfifo "$work/fifo.$sig"
  before=$(seen)
  "$cli" replay --inject --delay 0 --set SYM_TYPE=0 --set CHECK_INTERVAL=5 < "$work/fifo.$sig" \
    > "$work/out" 2> "$work/err" &
  pid=$!
  exec 6> "$work/fifo.$sig"
  printf '32767 0\n32767 0\n32767 0\n' >&6
  check "SIG$sig: the key pressed" wait_for 300 pressed_after "$before" 3
  sleep 0.1
  kill -"$sig" "$pid"
  wait "$pid"
  status=$?
  exec 6>&-
  case $sig in
    INT) want_status=130 ;; TERM) want_status=143 ;; HUP) want_status=129 ;; QUIT) want_status=131 ;;
    *) want_status="" ;;
  esac
  [ -n "$want_status" ] && check "SIG$sig: status $want_status" test "$status" = "$want_status"
  wait_for 300 seen_after "$before" 2
  keys_after "$before" > "$work/got"
  printf 'press 3\nrelease 3\n' > "$work/want"
  if ! check "SIG$sig: the held key released" cmp -s "$work/want" "$work/got"; then
    diff "$work/want" "$work/got" | head -20
    sed 's/^/  stderr: /' "$work/err"
  fi
  [ -n "$want_status" ] && check "SIG$sig: every tick printed" test "$(grep -c lane "$work/out")" = 3
done

# A reader that goes away (| head): the replay ends and lets the key up.
mkfifo "$work/fifo.pipe"
before=$(seen)
{ "$cli" replay --inject --delay 0 --jsonl --set SYM_TYPE=0 --set CHECK_INTERVAL=5 < "$work/fifo.pipe" \
    2>/dev/null | head -n 3 >/dev/null; } &
reader=$!
trap '' PIPE  # the replay may be gone when the last lines are written
exec 6> "$work/fifo.pipe"
printf '32767 0\n32767 0\n32767 0\n' >&6
wait_for 50 pressed_after "$before" 3
printf '32767 0\n32767 0\n' >&6 2>/dev/null
wait_for 50 seen_after "$before" 2
exec 6>&- 2>/dev/null
wait "$reader"
keys_after "$before" > "$work/got"
check "closed pipe: the held key released" cmp -s "$work/want" "$work/got"

# The wait before the first key: counted down on stderr; a stop request during it ends the replay
# with nothing typed.
before=$(seen)
"$cli" replay --inject --delay 30 --set SYM_TYPE=0 --set CHECK_INTERVAL=5 "$every_gear" \
  > "$work/out" 2> "$work/err" &
pid=$!
countdown_shown() { grep -q "keys in 30 s" "$work/err"; }
check "countdown: said on stderr" wait_for 300 countdown_shown
kill -TERM "$pid"
wait "$pid"
check "countdown: stopped with status 143" test $? = 143
check "countdown: nothing typed" test "$(seen)" = "$before"
check "countdown: no tick run" test "$(grep -c lane "$work/out")" = 0
"$cli" replay --inject --delay 1 --set SYM_TYPE=0 --set CHECK_INTERVAL=5 "$every_gear" \
  > "$work/out" 2> "$work/err"
check "countdown of 1 s: status" test $? = 0
check "countdown of 1 s: counted" grep -q "keys in 1 s" "$work/err"
wait_for 100 seen_after "$before" 2
check "countdown of 1 s: then typed" seen_after "$before" 2

check "the logger kept the focus" test "$(grep -c '^focus lost$' "$work/log")" = 0
checks_done
