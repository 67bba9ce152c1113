#!/usr/bin/env bash
# A termination request ends kestrane promptly whatever is on screen or being typed: SIGTERM while
# a start-up message box waits for its OK, and SIGTERM while a tap with the longest press time is
# under way, each end the program within seconds, with status 0. Ctrl+Z (SIGTSTP) lets go of the
# held gear key before the program stands still, and SIGCONT presses it again (with X_KEY_LOGGER).
set -uo pipefail
source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo
work=$x_work
x_fail_hook() {
  [ -f "$work/kestrane.log" ] && sed 's/^/  kestrane: /' "$work/kestrane.log"
  [ -f "$work/keys.log" ] && sed 's/^/  key logger: /' "$work/keys.log"
  [ -n "${pid:-}" ] && echo "  kestrane's state: $(cut -d ' ' -f 3 "/proc/$pid/stat" 2>/dev/null)"
}
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
x_expect_exit "$pid" 100 "SIGTERM during a start-up message box"

# Mode 1 with a press time of 2^31 - 1 ms: the stick into gear 3 starts a tap that would hold the
# key for weeks; the window stays responsive and a SIGTERM ends it at once.
export KESTRANE_DISPLAY_DUMP="$work/labels.txt"
in_gear() { grep -qx 'Label3=3' "$work/labels.txt" 2>/dev/null; }
# in_gear_3 FOLDER [ENV...]: kestrane started in FOLDER (its Kestrane.ini there), the stick dragged
# into gear 3; sets pid, wx, wy.
in_gear_3() {
  local dir=$1
  shift
  cp "$KESTRANE" "$dir/kestrane"
  rm -f "$work/labels.txt"
  (cd "$dir" && exec env "$@" ./kestrane --virtual-stick) >"$work/kestrane.log" 2>&1 &
  pid=$!
  x_pids+=("$pid")
  wait_for 300 x_window Kestrane 274x397 >/dev/null || x_fail "no main window"
  read -r wx wy < <(x_origin "$(x_window Kestrane 274x397)")
  # The pattern panel sits at (10, 53); neutral at (127, 127), the centre-top slot at (127, 64).
  xdotool mousemove $((wx + 137)) $((wy + 180)) click 1 mousedown 1
  for y in 150 120 100 80 64; do xdotool mousemove $((wx + 137)) $((wy + 53 + y)); done
  xdotool mouseup 1
  wait_for 100 in_gear || x_fail "the stick did not reach gear 3"
}
mkdir "$work/tap"
printf '[KEYBOARD]\nSYM_TYPE=1\nSYM_KEY_TIME=2147483647\n' >"$work/tap/Kestrane.ini"
in_gear_3 "$work/tap"
# Still responsive: the display follows the stick back to neutral while the key is down.
xdotool mousemove $((wx + 137)) $((wy + 117)) mousedown 1 mousemove $((wx + 137)) $((wy + 180)) mouseup 1
in_neutral() { grep -qx 'Label3=N' "$work/labels.txt" 2>/dev/null; }
wait_for 100 in_neutral || x_fail "the window froze during the tap"
kill -TERM "$pid"
x_expect_exit "$pid" 50 "SIGTERM during a long tap"

if [ -z "${X_KEY_LOGGER:-}" ]; then
  echo "note: X_KEY_LOGGER not given, the SIGTSTP part was not run"
  echo "PASS"
  exit 0
fi
# Mode 0 holds gear 3's key (3) while the gear is in; the key logger then takes the focus.
mkdir "$work/hold"
in_gear_3 "$work/hold" KESTRANE_KEY_OUTPUT=xtest
"$X_KEY_LOGGER" --timeout 60 >"$work/keys.log" 2>/dev/null &
x_pids+=($!)
wait_for 50 grep -q '^ready$' "$work/keys.log" || x_fail "the key logger did not start"
xdotool windowfocus --sync "$(xdotool search --name '^x_key_logger$' | head -n1)"
keys() { grep -c "^$1 3\$" "$work/keys.log"; }
# At least $2 events $1 of the key (a function: wait_for must count afresh on every try).
seen() { [ "$(keys "$1")" -ge "$2" ]; }
state() { cut -d ' ' -f 3 "/proc/$pid/stat"; }
kill -TSTP "$pid"
wait_for 50 seen release 1 || x_fail "SIGTSTP left gear 3's key down"
stopped() { [ "$(state)" = T ]; }
wait_for 50 stopped || x_fail "SIGTSTP did not stop the program (state $(state))"
[ "$(keys press)" -eq 0 ] || x_fail "a key was pressed while stopping"
kill -CONT "$pid"
wait_for 50 seen press 1 || x_fail "SIGCONT did not press gear 3's key again"
kill -TERM "$pid"
x_expect_exit "$pid" 50 "SIGTERM after SIGCONT"
[ "$(keys release)" -eq 2 ] || x_fail "the key was not let go at the end: $(tr '\n' ' ' <"$work/keys.log")"
echo "PASS"
