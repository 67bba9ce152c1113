#!/usr/bin/env bash
# End to end on Windows (under Wine): `kestrane-cli.exe replay --inject` types through SendInput,
# and a low-level keyboard hook in another program sees every key as a game would: each mode's
# keys in order, Page Up/Down with the extended flag, real scan codes, and nothing left down
# however the replay ends.
set -u
cli=${KESTRANE_CLI:?}  # kestrane-cli.exe through black_box_under_wine
cli_exe=${KESTRANE_CLI_EXE:?}
hook=${KEY_HOOK_LOGGER:?}
under_wine=${UNDER_WINE:?}
examples=${KESTRANE_EXAMPLES:?}
source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb
work=$x_work
source "$(dirname "$0")/../support/checks.sh"
x_start_display 640x480x24
# Wine's services (the desktop among them) start again on this display, and end with the test.
"$under_wine" --restart
trap 'x_cleanup; "$under_wine" --restart' EXIT

"$under_wine" "$hook" > "$work/log" 2> "$work/hook.err" &
x_pids+=($!)
wait_for 300 grep -q '^ready' "$work/log" || x_fail "the hook did not start: $(cat "$work/hook.err")"

# The key lines, without the CR of Windows line ends.
events() { grep -E '^(press|release) ' "$work/log" | tr -d '\r'; }
seen() { events | wc -l; }
keys_after() { events | tail -n +$(($1 + 1)) | cut -d' ' -f1,2; }
seen_after() { test "$(($(seen) - $1))" -ge "$2"; }
pressed_after() { keys_after "$1" | grep -qx "press $2"; }

# replay NAME EXPECTED_FILE TRACE ARGS...: the hook sees exactly the expected keys, and the
# injected replay prints what the plain one prints.
replay() {
  local name=$1 expected=$2 trace=$3; shift 3
  local before; before=$(seen)
  "$cli" replay --inject --delay 0 "$@" "$trace" > "$work/injected" 2> "$work/err"
  check "$name: status" test $? = 0
  "$cli" replay "$@" "$trace" > "$work/plain" 2>/dev/null
  check "$name: same output as without --inject" cmp -s "$work/plain" "$work/injected"
  check "$name: nothing on stderr" test ! -s "$work/err"
  wait_for 50 seen_after "$before" "$(wc -l < "$expected")"
  keys_after "$before" > "$work/got"
  if ! check "$name: keys in order" cmp -s "$expected" "$work/got"; then
    diff "$expected" "$work/got" | head -20
  fi
}

every_gear=$examples/every-gear.trace  # N 1 N 2 N 3 N 4 N 5 N 6 N 7 N R N
for g in 1 2 3 4 5 6 7 8; do printf 'press %s\nrelease %s\n' "$g" "$g"; done > "$work/mode0"
replay "mode 0" "$work/mode0" "$every_gear" --set SYM_TYPE=0
for g in 1 2 3 4 5 6 7 8; do printf 'press %s\nrelease %s\npress n\nrelease n\n' "$g" "$g"; done \
  > "$work/mode1"
replay "mode 1" "$work/mode1" "$every_gear" --set SYM_TYPE=1
taps() { for _ in $(seq "$2"); do printf 'press %s\nrelease %s\n' "$1" "$1"; done; }
{
  for g in 1 2 3 4 5 6 7; do taps Prior "$g"; taps Next "$g"; done
  taps Next 1
  taps Prior 1
} > "$work/mode2"
replay "mode 2" "$work/mode2" "$every_gear" --set SYM_TYPE=2

# What a game reading scan codes needs: Page Up/Down carry the extended flag (else they read as
# the keypad's 9 and 3), the digits and letters do not, and every key has its scan code.
events > "$work/all"
check "Page Up/Down extended" test -z "$(grep -E ' (Prior|Next) ' "$work/all" | grep -v ' ext=1 ')"
check "Page Up scan code" test -z "$(grep ' Prior ' "$work/all" | grep -v ' scan=0x49 ')"
check "Page Down scan code" test -z "$(grep ' Next ' "$work/all" | grep -v ' scan=0x51 ')"
check "digits and letters not extended" \
  test -z "$(grep -E ' [0-9a-z] ' "$work/all" | grep -v ' ext=0 ')"
check "every key has a scan code" test -z "$(grep ' scan=0x00 ' "$work/all")"
check "every key marked injected" test -z "$(grep -v ' injected=1' "$work/all")"

# A trace that ends with a gear in: the key comes up at the end.
printf '0 32767\n0 0\n0 0\n0 0\n' > "$work/ends-in-gear.trace"
printf 'press 1\nrelease 1\n' > "$work/held"
replay "held key released at the end" "$work/held" "$work/ends-in-gear.trace" --set SYM_TYPE=0

# Ctrl+C in the middle of a held gear (what SIGINT becomes under Wine), and the end of the input:
# the key comes up. The program reads the pipe itself here (no wrapper buffering the input); for
# Ctrl+C the stick stays in the slot, a line every 20 ms.
printf 'press 3\nrelease 3\n' > "$work/want"
for how in ctrl-c end-of-input; do
  mkfifo "$work/fifo.$how"
  before=$(seen)
  "$under_wine" "$cli_exe" replay --inject --delay 0 --set SYM_TYPE=0 --set CHECK_INTERVAL=5 \
    < "$work/fifo.$how" > "$work/out" 2>&1 &
  pid=$!
  if [ "$how" = ctrl-c ]; then
    (trap '' PIPE; while printf '32767 0\n'; do sleep 0.02; done) > "$work/fifo.$how" 2>/dev/null &
    writer=$!
    wait_for 300 pressed_after "$before" 3
    kill -INT "$pid"
  else
    exec 6> "$work/fifo.$how"
    printf '32767 0\n32767 0\n32767 0\n' >&6
    wait_for 300 pressed_after "$before" 3
    exec 6>&-
  fi
  wait "$pid"
  status=$?
  if [ "$how" = ctrl-c ]; then
    kill "$writer" 2>/dev/null
    wait "$writer" 2>/dev/null
    check "$how: status 130" test "$status" = 130
  else
    check "$how: status 0" test "$status" = 0
  fi
  wait_for 50 seen_after "$before" 2
  keys_after "$before" > "$work/got"
  check "$how: the held key released" cmp -s "$work/want" "$work/got"
done

# Nothing is left down: every press has its release.
check "nothing left down" python3 -c '
import sys
down = set()
for line in open(sys.argv[1]):
    kind, name = line.split()[:2]
    (down.add if kind == "press" else down.discard)(name)
assert not down, down
' <(events)
echo "key events seen by the hook: $(seen)"
checks_done
