#!/usr/bin/env bash
# The X session helpers fail at once, naming the helper and showing its error output, when a
# window manager ends at start or runs without managing windows; a working one passes.
set -uo pipefail
here=$(dirname "$0")
source "$here/x_session.sh"
x_require Xvfb xdotool xwininfo xmessage twm
x_start_display

cat >"$x_work/ends-at-start" <<'WM'
#!/bin/sh
echo 'twm: unable to open fontset "variable"' >&2
exit 1
WM
chmod +x "$x_work/ends-at-start"
failures=0
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
[ "$failures" -eq 0 ]
