#!/usr/bin/env bash
# The window program with a force-feedback stick (a fake one, FAKE_STICK_HOST on umockdev), as a
# player meets it on a desktop with a tray: the main window says the stick is untested, the
# direction test runs from its button and is answered with the keyboard, its result is saved
# and the notice goes; stopped with SIGSTOP, its force guard silences the stick; the tray icon's
# menu pauses and resumes shifting, lets go of the forces and quits. Afterwards the stick's record
# shows the test's four springs, no effect left and its own centring given back.
#
# Needs KESTRANE, FAKE_STICK_HOST and UNDER_FAKE_KERNEL. With SHOT set, the direction test's
# window is saved there as a screenshot. Skips (77) without the X tools or umockdev (fails
# instead under CI).
set -euo pipefail

source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo import twm trayer umockdev-wrapper
work=$x_work
x_fail_hook() {
  [ -f "$work/kestrane.log" ] && sed 's/^/  kestrane: /' "$work/kestrane.log"
  # The fake stick's host has ended (with kestrane's status) once the state is gone or Z.
  [ -n "${host:-}" ] || return 0
  case $(x_child_state "$host") in
    '' | Z)
      local status=0
      wait "$host" || status=$?
      echo "  kestrane ended with status $status; the stick's record:"
      [ -f "$work/stick.txt" ] && sed 's/^/  | /' "$work/stick.txt"
      ;;
  esac
  return 0
}
fail() { x_fail "$@"; }
x_start_display
x_start_window_manager
x_start_tray

mkdir "$work/app"
cp "$KESTRANE" "$work/app/kestrane"
printf '[MAIN]\nJOYSTICK=Fake Force Stick\n' >"$work/app/Kestrane.ini"
ini="$work/app/Kestrane.ini"
export KESTRANE_DISPLAY_DUMP="$work/labels.txt"
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp:print_suppressions=0"
(cd "$work/app" && exec "$UNDER_FAKE_KERNEL" "$FAKE_STICK_HOST" "$work/stick.txt" -- ./kestrane) \
  >"$work/kestrane.log" 2>&1 &
host=$!
x_pids+=($host)

# Untested: the window is 30 pixels taller, with the notice and its button.
wait_for 300 x_window Kestrane 274x427 >/dev/null || fail "no main window with the untested-stick notice"
win=$(x_window Kestrane 274x427)
read -r wx wy < <(x_origin "$win")
xdotool mousemove $((wx + 154 + 55)) $((wy + 397 + 13)) click 1  # "Test directions..."
test_window() { x_window "Force feedback directions: 1 of 4" '[0-9]*x[0-9]*'; }
wait_for 100 test_window >/dev/null || fail "the direction test did not open"
tw=$(test_window)
if [ -n "${SHOT:-}" ]; then  # for the documentation only: let the window paint first
  sleep 1
  import -window "$tw" "$SHOT"
fi
# Left and right the other way, forward and back as asked: X is mirrored. Each answer waits for
# the next question (the window's title counts them).
at_step() { xdotool getwindowname "$tw" 2>/dev/null | grep -q "$1"; }
step=1
for answer in alt+o alt+o alt+y alt+y; do
  xdotool windowfocus --sync "$tw"
  xdotool key "$answer"
  step=$((step + 1))
  next=$([ "$step" -le 4 ] && echo "$step of 4" || echo done)
  wait_for 50 at_step "$next" || fail "no step '$next' after $answer: $(xdotool getwindowname "$tw")"
done
xdotool windowfocus --sync "$tw"
xdotool key Escape  # closes the test; its result is saved
saved() { grep -qx 'FF_INVERT_X=1' "$ini" && grep -qx 'FF_TESTED_STICK=Fake Force Stick' "$ini"; }
wait_for 50 saved || fail "the test's result was not saved: $(grep '^FF_' "$ini" | tr '\n' ' ')"
grep -qx 'FF_INVERT_Y=0' "$ini" || fail "FF_INVERT_Y changed"
wait_for 50 x_window Kestrane 274x397 >/dev/null || fail "the notice stayed after a passed test"

# The whole program stopped for a second (SIGSTOP): its force guard silences the stick, and gives
# it back when the program goes on (checked in the stick's record below).
# cat reads past processes that end meanwhile (awk given the files would stop at the first).
kpid=$(cat /proc/[0-9]*/stat 2>/dev/null |
  awk -v p="$host" '$2 == "(kestrane)" && $4 == p {print $1; exit}' || true)
[ -n "$kpid" ] || fail "kestrane's process not found"
kill -STOP "$kpid"
sleep 1  # stopped this long: four times the guard's limit
kill -CONT "$kpid" || fail "kestrane (process $kpid) ended while it was stopped"

# The tray icon's menu, by keyboard: Hide, Settings..., Pause shifting, Release forces, Quit.
tray_icon() { xwininfo -root -tree | awk '!found && /"Kestrane": \("kestrane"/ && !/274x/ {print $1; found = 1}'; }
wait_for 50 sh -c "[ -n \"\$(xwininfo -root -tree | awk '/\"Kestrane\": \(\"kestrane\"/ && !/274x/')\" ]" ||
  fail "no tray icon"
icon=$(tray_icon)
read -r ix iy < <(x_origin "$icon")
menu() {  # menu ENTRY: opens the menu and picks the ENTRY-th entry (1 = Hide)
  xdotool mousemove $((ix + 8)) $((iy + 8)) click 3
  sleep 0.5
  for _ in $(seq "$1"); do xdotool key Down; done
  xdotool key Return
}
status() { sed -n 's/^Label1=//p' "$work/labels.txt" 2>/dev/null; }
menu 3
wait_for 50 sh -c "grep -q '^Label1=.*paused' '$work/labels.txt'" || fail "Pause shifting did not pause: $(status)"
menu 3
wait_for 50 sh -c "! grep -q '^Label1=.*paused' '$work/labels.txt'" || fail "Resume shifting did not resume: $(status)"
menu 4  # Release forces
sleep 0.5
menu 5  # Quit
x_expect_exit "$host" 100 "kestrane after Quit"

# The stick's record ("upload ID TYPE X_CENTRE Y_CENTRE X_COEFF Y_COEFF" lines): four gentle
# springs (30 % of full force, on one axis) for the questions, left, right, forward, back (a
# positive centre lies toward the axis's positive end), and no effect left behind.
test_springs=$(awk '$1 == "upload" && ($6 == 9830 && $7 == 0 || $6 == 0 && $7 == 9830)' "$work/stick.txt")
[ "$(echo "$test_springs" | wc -l)" -eq 4 ] || fail "not four test springs:$(echo; cat "$work/stick.txt")"
echo "$test_springs" | awk 'NR == 1 && $4 < 0 || NR == 2 && $4 > 0 || NR == 3 && $5 < 0 || NR == 4 && $5 > 0 {ok++} END {exit ok != 4}' ||
  fail "the test's springs pulled the wrong ways:$(echo; echo "$test_springs")"
grep -qx 'ff 97 0' "$work/stick.txt" || fail "the stick's own centring (FF_AUTOCENTER) was not switched off"
awk '/^ff 97 0$/ {off = NR} /^ff 97 65535$/ && off {back = 1} END {exit !back}' "$work/stick.txt" ||
  fail "the stick's own centring was not given back (FF_AUTOCENTER 65535) when the program ended"
grep -qx 'left 0' "$work/stick.txt" || fail "effects left on the stick: $(tail -1 "$work/stick.txt")"
awk '/^ff 96 0$/ && !off {off = NR} /^ff 96 65535$/ && off {back = 1} END {exit !back}' "$work/stick.txt" ||
  fail "the stopped program's stick was not silenced (FF_GAIN 0) and given back (65535)"
echo "ok: force-feedback stick end to end"
