#!/usr/bin/env bash
# A termination request ends kestrane promptly whatever is on screen: SIGTERM while a start-up
# message box waits for its OK closes the box and the program, with status 0.
set -uo pipefail
source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo
work=$x_work
x_fail_hook() { [ -f "$work/kestrane.log" ] && sed 's/^/  kestrane: /' "$work/kestrane.log"; }
x_start_display

# A folder in place of the settings file: the start-up says so in a message box.
mkdir -p "$work/app/Kestrane.ini"
cp "$KESTRANE" "$work/app/kestrane"
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp:print_suppressions=0"
(cd "$work/app" && exec ./kestrane --virtual-stick) >"$work/kestrane.log" 2>&1 &
pid=$!
x_pids+=("$pid")
message_box() {
  local w
  for w in $(xdotool search --onlyvisible --name '^Kestrane$' 2>/dev/null); do
    xwininfo -id "$w" | grep -q -- '-geometry 274x397' || return 0
  done
  return 1
}
wait_for 300 message_box || x_fail "no start-up message box"
kill -TERM "$pid"
ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_for 100 ended || x_fail "SIGTERM during a message box did not end kestrane within 10 s"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || x_fail "exit status $status after SIGTERM"
echo "PASS"
