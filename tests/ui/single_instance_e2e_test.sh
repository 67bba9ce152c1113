#!/usr/bin/env bash
# kestrane's start: without a display, a message and status 1 (no abort); beside what another user
# put at the old lock path in /tmp, it starts; a second start (TMPDIR unwritable) is answered and
# ends with status 0; after a kill, the next start takes the lock over.
set -uo pipefail
source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo
work=$x_work
x_fail_hook() { tail -n 5 "$work"/*.log; }
mkdir -p "$work/app" "$work/run" && chmod 700 "$work/run"
cp "$KESTRANE" "$work/app/kestrane"
app=$(cd "$work/app" && pwd -P)
export XDG_RUNTIME_DIR="$work/run"
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0"
run() { cd "$app" && exec "$@" ./kestrane --virtual-stick; }  # in a subshell or the background

for display in "" ":9731"; do
  status=0
  (run env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display") >"$work/none.log" 2>&1 ||
    status=$?
  [ "$status" -eq 1 ] && grep -q "no display to show the window on" "$work/none.log" ||
    x_fail "without a display ('$display'): status $status"
done

x_start_display
# A folder no one can take over, not even root (who may remove another user's file).
old_lock="/tmp/kestrane-$(printf %s "$app/Kestrane.ini" | sha1sum | cut -c1-16).lock"
mkdir "$old_lock" && { [ "$(id -u)" -ne 0 ] || chown 65534 "$old_lock"; }
trap 'rmdir "$old_lock"; x_cleanup' EXIT
run env >"$work/first.log" 2>&1 &
first=$!
x_pids+=("$first")
window() { wait_for 300 x_window Kestrane 274x397 "$1" >/dev/null; }
window "$first" || x_fail "the old lock stopped the start"

status=0
(run env TMPDIR="$work/none" timeout 60) >"$work/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] && grep -q "already running" "$work/second.log" ||
  x_fail "second start: status $status"

kill -KILL "$first"
wait "$first" 2>/dev/null
run env TMPDIR="$work/none" >"$work/third.log" 2>&1 &
third=$!
x_pids+=("$third")
window "$third" || x_fail "the killed one's lock stopped the start"
kill -TERM "$third"
x_expect_exit "$third" 100 "SIGTERM"
echo "PASS"
