#!/usr/bin/env bash
# However the window program ends, the force-feedback stick (a fake one, FAKE_STICK_HOST on
# umockdev) gets back its gain and its own centring: after SIGTERM (the program lets go itself),
# and after SIGSTOP long enough for the force guard to silence the stick and then SIGKILL (the
# guard gives them back when the program is gone).
#
# Needs KESTRANE, FAKE_STICK_HOST and UNDER_FAKE_KERNEL. Skips (77) without the X tools or
# umockdev (fails instead under CI).
set -euo pipefail

source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo umockdev-wrapper
work=$x_work
x_fail_hook() { [ -f "$work/kestrane.log" ] && sed 's/^/  kestrane: /' "$work/kestrane.log"; }
x_start_display
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp:print_suppressions=0"

# The last value written for an EV_FF code (96 gain, 97 autocentre) in a stick record.
last() { awk -v c="$2" '$1 == "ff" && $2 == c {v = $3} END {print v}' "$1"; }

for ending in TERM STOP-KILL; do
  mkdir "$work/$ending"
  cp "$KESTRANE" "$work/$ending/kestrane"
  printf '[MAIN]\nJOYSTICK=Fake Force Stick\nFF_TESTED_STICK=Fake Force Stick\n' \
    >"$work/$ending/Kestrane.ini"
  record="$work/$ending/stick.txt"
  (cd "$work/$ending" && exec "$UNDER_FAKE_KERNEL" "$FAKE_STICK_HOST" "$record" -- ./kestrane) \
    >"$work/kestrane.log" 2>&1 &
  host=$!
  x_pids+=($host)
  wait_for 300 x_window Kestrane 274x397 >/dev/null || x_fail "$ending: no main window"
  # cat reads past processes that end meanwhile (awk given the files would stop at the first).
  kpid=$(cat /proc/[0-9]*/stat 2>/dev/null |
    awk -v p="$host" '$2 == "(kestrane)" && $4 == p {print $1; exit}' || true)
  [ -n "$kpid" ] || x_fail "$ending: kestrane's process not found"
  if [ "$ending" = TERM ]; then
    kill -TERM "$kpid"
  else
    kill -STOP "$kpid"
    # Within the guard's limit (a quarter of a second) of the guard running, the stopped
    # program's stick is silenced; on a loaded machine the guard may still be starting.
    silenced() { [ "$(last "$record.live" 96 2>/dev/null)" = 0 ]; }
    wait_for 300 silenced || x_fail "$ending: the guard did not silence the stopped program's stick"
    kill -KILL "$kpid"
  fi
  x_pid_gone() { ! kill -0 "$host" 2>/dev/null; }
  wait_for 200 x_pid_gone || x_fail "$ending: the program (or its guard) did not end"
  wait "$host" || true
  [ -s "$record" ] || x_fail "$ending: no stick record"
  grep -qx 'ff 97 0' "$record" || x_fail "$ending: the stick's own centring was never switched off"
  [ "$(last "$record" 97)" = 65535 ] ||
    x_fail "$ending: the stick's own centring was not given back:$(echo; grep '^ff' "$record")"
  if [ "$ending" = STOP-KILL ]; then
    grep -qx 'ff 96 0' "$record" || x_fail "$ending: the guard never silenced the stopped program's stick"
  fi
  gain=$(last "$record" 96)
  [ -z "$gain" ] || [ "$gain" = 65535 ] || x_fail "$ending: the stick's gain was left at $gain"
  # After a kill the kernel erases the effects of the closed descriptor itself (the fake cannot
  # see that close); after SIGTERM the program removes its own.
  if [ "$ending" = TERM ]; then
    grep -qx 'left 0' "$record" || x_fail "$ending: effects left on the stick: $(tail -1 "$record")"
  fi
  echo "ok: $ending"
done
echo "PASS"
