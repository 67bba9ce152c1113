#!/usr/bin/env bash
# The X session helpers: the private server lets in every client, however they overlap; a helper
# fails at once, naming it and showing its error output, when a window manager ends at start or
# runs without managing windows (a working one passes); the end of a session signals only its own
# processes; a failing command, or a server that died, is named.
set -uo pipefail
here=$(dirname "$0")
source "$here/x_session.sh"
x_require Xvfb xdotool xwininfo xmessage twm
x_start_display

failures=0
# Clients that come and go side by side (the program starting while a check's xwininfo ends) are
# all let in: the server does not reset between them, which would turn some away.
connect_loop() {
  local i turned_away=0
  for ((i = 0; i < 60; i++)); do xwininfo -root >/dev/null 2>&1 || turned_away=$((turned_away + 1)); done
  echo "$turned_away"
}
connect_loop >"$x_work/loop1" & loop1=$!
connect_loop >"$x_work/loop2" & loop2=$!
turned_away=$(connect_loop)
wait "$loop1" "$loop2"
turned_away=$((turned_away + $(cat "$x_work/loop1") + $(cat "$x_work/loop2")))
if [ "$turned_away" -eq 0 ]; then
  echo "ok   clients side by side all connect"
else
  echo "FAIL $turned_away of 180 clients side by side could not connect"
  failures=$((failures + 1))
fi

cat >"$x_work/ends-at-start" <<'WM'
#!/bin/sh
echo 'twm: unable to open fontset "variable"' >&2
exit 1
WM
chmod +x "$x_work/ends-at-start"
# expect NAME WM_COMMAND PATTERN: starting that window manager fails with a message matching PATTERN.
expect() {
  local out status
  out=$(X_SESSION_WM=$2 bash -c 'source "$1/x_session.sh"; x_start_window_manager' _ "$here" 2>&1)
  status=$?
  if [ "$status" -ne 0 ] && grep -q -- "$3" <<<"$out"; then
    echo "ok   $1"
  else
    echo "FAIL $1 (status $status): $out"
    failures=$((failures + 1))
  fi
}
expect "ends at start" "$x_work/ends-at-start" 'window manager (.*ends-at-start) ended at start:'
expect "its error output shown" "$x_work/ends-at-start" 'unable to open fontset "variable"'
expect "manages nothing" "sleep 60" 'window manager (sleep 60) does not manage windows'

if (x_start_window_manager) 2>"$x_work/err"; then
  echo "ok   twm manages windows"
else
  echo "FAIL twm: $(cat "$x_work/err")"
  failures=$((failures + 1))
fi
# A number in x_pids that is no longer the shell's child (reaped, and maybe another test's
# process by now) is never signalled at the end.
sleep 60 &
other=$!
bash -c 'source "$1/x_session.sh"; x_pids+=("$2")' _ "$here" "$other"
if kill -0 "$other" 2>/dev/null; then
  echo "ok   another process's number left alone"
else
  echo "FAIL the end of a session killed a process that was not its own"
  failures=$((failures + 1))
fi
kill "$other"

# Under set -e a failing command says which, with the test's log; so does an X server that died.
out=$(bash -c 'set -e; source "$1/x_session.sh"; x_fail_hook() { echo "the log"; }
  true; false; echo "went on"' _ "$here" 2>&1)
if [[ $out == *"FAIL: line 2: 'false' ended with status 1"*"the log"* && $out != *"went on"* ]]; then
  echo "ok   a failing command named"
else
  echo "FAIL a failing command under set -e: $out"
  failures=$((failures + 1))
fi
out=$(bash -c 'set -e; source "$1/x_session.sh"; x_start_display; kill "$x_xvfb_pid"
  wait "$x_xvfb_pid" || true; x_fail "no window"' _ "$here" 2>&1)
if [[ $out == *"FAIL: no window"*"the X server of :"*" has ended"* ]]; then
  echo "ok   an X server that ended named"
else
  echo "FAIL an X server that ended: $out"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ]
