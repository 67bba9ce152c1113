#!/usr/bin/env bash
# kestrane-cli devices and record as their users see them, with SDL's virtual stick.
set -u
cli=${KESTRANE_CLI:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/../support/checks.sh"
unset KESTRANE_VIRTUAL_STICK

# devices: exit 0 whatever is attached; a machine without input devices lists nothing.
"$cli" devices > "$work/plain" 2> "$work/err"
check "devices exit" test $? = 0
if ! compgen -G '/dev/input/event*' > /dev/null && ! compgen -G '/dev/input/js*' > /dev/null; then
  check "nothing attached lists nothing" test ! -s "$work/plain"
  # ... and says so on standard error, with the likely reason.
  check "nothing attached is said" grep -q "^kestrane-cli: no joysticks found: no joystick is connected" "$work/err"
else
  check "devices quiet" test ! -s "$work/err" -o -s "$work/plain"
fi
check "no virtual stick unless asked" test "$(grep -c 'Kestrane virtual stick' "$work/plain")" = 0

# With the virtual stick: one more line, four tab-separated fields, indexes from 0.
KESTRANE_VIRTUAL_STICK=1 "$cli" devices > "$work/virtual" 2> "$work/err"
check "a listed stick is no reason to complain" test ! -s "$work/err"
check "devices with virtual stick exit" test $? = 0
check "virtual stick listed" test "$(wc -l < "$work/virtual")" = $(($(wc -l < "$work/plain") + 1))
check "device line format" python3 -c '
import sys
lines = open(sys.argv[1]).read().splitlines()
for i, line in enumerate(lines):
    f = line.split("\t")
    assert len(f) == 4 and f[0] == str(i) and f[2] and f[3] in ("yes", "no"), line
assert ["Kestrane virtual stick", "no"] in [[l.split("\t")[1], l.split("\t")[3]] for l in lines]
' "$work/virtual"

# record: 20 centred samples that replay takes, one tick each.
KESTRANE_VIRTUAL_STICK=1 "$cli" record --ticks 20 --interval 5 \
  --joystick 'kestrane VIRTUAL stick' > "$work/trace"
check "record exit" test $? = 0
check "record 20 lines" test "$(wc -l < "$work/trace")" = 20
check "record centred" test "$(sort -u "$work/trace")" = \
  "32767 32767 32767 32767 32767 32767 32767 32767 0x00000000"
"$cli" replay --jsonl "$work/trace" > "$work/replayed"
check "replay accepts the recording" test $? = 0
check "replay ticks" test "$(wc -l < "$work/replayed")" = 20

# Default interval, until interrupted: SIGINT ends it cleanly with whole lines.
KESTRANE_VIRTUAL_STICK=1 "$cli" record > "$work/long" &
pid=$!
# Start-up takes its time under the sanitizers on a loaded machine: wait for a few lines.
for _ in $(seq 100); do
  [ "$(wc -l < "$work/long")" -ge 5 ] && break
  sleep 0.1
done
kill -INT $pid
wait $pid
check "interrupt exit" test $? = 0
check "interrupted recording has ticks" test "$(wc -l < "$work/long")" -ge 5
"$cli" replay --jsonl "$work/long" > /dev/null
check "replay accepts the interrupted recording" test $? = 0

# Errors: a missing joystick, bad numbers, unknown arguments.
KESTRANE_VIRTUAL_STICK=1 "$cli" record --ticks 1 --joystick 'No Such Stick' > "$work/out" 2> "$work/err"
check "unknown joystick status" test $? = 1
check "unknown joystick named" grep -q 'No Such Stick' "$work/err"
check "unknown joystick writes nothing" test ! -s "$work/out"
"$cli" record --interval 0 > /dev/null 2>&1
check "zero interval status" test $? = 2
"$cli" record --ticks -3 > /dev/null 2>&1
check "negative ticks status" test $? = 2
"$cli" record --bogus > /dev/null 2>&1
check "unknown option status" test $? = 2
"$cli" devices extra > /dev/null 2>&1
check "devices argument status" test $? = 2

checks_done
