#!/usr/bin/env bash
# kestrane --virtual-stick as a user meets it, on a private X server: it starts in an empty
# folder and writes the complete settings file there, shows the pattern, follows the mouse into
# every gear slot, hides to the tray and comes back on a double click, and closes with status 0.
#
# Needs KESTRANE (the program) and X_CLOSE_WINDOW (the close-request helper). Skips (77) without
# the X tools it drives (fails instead under CI).
set -euo pipefail

source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo xprop xmessage convert import twm trayer
work=$x_work
x_fail_hook() { [ -f "$work/kestrane.log" ] && sed 's/^/  kestrane: /' "$work/kestrane.log"; }
fail() { x_fail "$@"; }

x_start_display
x_start_window_manager
x_start_tray

# The settings file lives beside the executable: run a copy in an empty folder.
mkdir "$work/app"
cp "$KESTRANE" "$work/app/kestrane"
export KESTRANE_DISPLAY_DUMP="$work/labels.txt"
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp:print_suppressions=0"
(cd "$work/app" && exec ./kestrane --virtual-stick) >"$work/kestrane.log" 2>&1 &
kestrane=$!
x_pids+=($kestrane)

# The main window: the visible "Kestrane" window of 274 x 397 (the tray icon has the same name).
main_window() { x_window Kestrane 274x397; }
wait_for 150 main_window >/dev/null || fail "no main window titled Kestrane"
win=$(main_window)
wait_for 50 x_managed "$win" || fail "the window manager did not reparent the main window"
read -r wx wy < <(x_origin "$win")

ini="$work/app/Kestrane.ini"
wait_for 50 test -f "$ini" || fail "Kestrane.ini was not created beside the program"
keys=$(grep -c '=' "$ini")
[ "$keys" -eq 66 ] || fail "Kestrane.ini holds $keys keys, not 66"
grep -q '^CHECK_INTERVAL=25' "$ini" || fail "CHECK_INTERVAL=25 missing from Kestrane.ini"

# The pattern: BackImg sits at (1, 1) in PosPanel at (10, 53); the left lane's outline is
# column 38 of the picture, its inside column 42, the background column 20.
pixel() {
  convert "$work/shot.png" -crop "1x1+$(($1))+$(($2))" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1
}
import -window root "$work/shot.png"
ox=$((wx + 11)) oy=$((wy + 54))
[ "$(pixel ox+38 oy+100)" = "#000000" ] || fail "left lane outline not at column 38: $(pixel ox+38 oy+100)"
[ "$(pixel ox+42 oy+100)" != "$(pixel ox+20 oy+100)" ] || fail "left lane not filled"
[ "$(pixel ox+42 oy+100)" != "#000000" ] || fail "left lane filled black"
[ "$(pixel ox+80 oy+125)" = "$(pixel ox+42 oy+100)" ] || fail "neutral bar not filled"

# Panel pixel -> screen.
px() { echo $((wx + 10 + $1)); }
py() { echo $((wy + 53 + $1)); }
gear() { sed -n 's/^Label3=//p' "$work/labels.txt" 2>/dev/null; }
at_x=127 at_y=127

# Drags the stick as a hand moves a lever: back to the neutral line in its lane, along the line,
# into the slot at (x, y). With "switch" the right mouse button (button 1 of the stick) is held
# and stays held until release_switch.
shift_to() {
  local x=$1 y=$2 switch=${3:-}
  xdotool mousemove "$(px $at_x)" "$(py $at_y)" mousedown 1
  [ -n "$switch" ] && xdotool mousedown 3
  for point in "$at_x 127" "$x 127" "$x $y"; do
    set -- $point
    move_stick "$1" "$2"
  done
  xdotool mouseup 1
  at_x=$x at_y=$y
}
# Moves the dragged stick to panel pixel (x, y) and waits until the window shows it there (each
# pixel is 256 axis steps, the stick at the middle of its pixel), so that every point of the path
# is seen by a tick, however slow the machine.
stick_at() {
  grep -qx "Xl=X:$(($1 * 256 + 128))" "$work/labels.txt" 2>/dev/null &&
    grep -qx "Yl=Y:$(($2 * 256 + 128))" "$work/labels.txt"
}
move_stick() {
  xdotool mousemove "$(px "$1")" "$(py "$2")"
  wait_for 50 stick_at "$1" "$2" ||
    fail "the stick did not follow the mouse to ($1, $2): $(tr "\n" " " <"$work/labels.txt")"
}
release_switch() { xdotool mouseup 3; }

expect_gear() {
  wait_for 30 sh -c "grep -qx 'Label3=$1' '$work/labels.txt' 2>/dev/null" ||
    fail "gear label '$(gear)' after $2, expected '$1'"
}

# Lanes at pixel columns 44, 127 and 211; rows 64 (top) and 191 (bottom).
xdotool mousemove "$(px 127)" "$(py 127)" click 1  # gives the main window the focus
shift_to 44 64 && expect_gear 1 "left top"
shift_to 44 191 && expect_gear 2 "left bottom"
shift_to 127 64 && expect_gear 3 "centre top"
shift_to 127 191 && expect_gear 4 "centre bottom"
shift_to 211 64 && expect_gear 5 "right top"
shift_to 211 191 && expect_gear 6 "right bottom"
shift_to 127 127 && expect_gear N "neutral"
shift_to 211 191 switch && expect_gear 7 "right bottom with the switch"
grep -qx 'Bs=Bstate:Yes' "$work/labels.txt" || fail "Bstate not shown with the switch held"
release_switch
shift_to 44 64 switch && expect_gear R "left top with the switch"
release_switch
shift_to 127 127 && expect_gear N "neutral"

visible() { xwininfo -id "$win" | grep -q 'IsViewable'; }
tray_icon() {
  xwininfo -root -tree | awk '!found && /"Kestrane": \("kestrane"/ && !/274x397/ {print $1; found = 1}'
}
has_tray_icon() { [ -n "$(tray_icon)" ]; }
wait_for 50 has_tray_icon || fail "no tray icon"
icon=$(tray_icon)
read -r ix iy iw ih < <(xwininfo -id "$icon" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width/ {w=$2} /Height/ {h=$2} END {print x, y, w, h}')

ini_written=$(stat -c %Y.%s "$ini")
xdotool windowminimize "$win"
wait_for 50 sh -c "! xwininfo -id $win | grep -q IsViewable" || fail "minimise did not hide"
# Hidden (withdrawn), not merely iconified by the window manager.
wait_for 30 sh -c "! xprop -id $win WM_STATE | grep -q Iconic" || fail "window iconified, not hidden"
[ -n "$(tray_icon)" ] || fail "the tray icon went away with the window"
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
sleep 0.5
visible && fail "a single click on the tray icon restored the window"
# A double click on the icon with BUTTON; on a loaded machine the two clicks can arrive too far
# apart to count as one double click, so it is tried up to three times.
double_click_restores() {
  local attempt
  for attempt in 1 2 3; do
    xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click --repeat 2 --delay 80 "$1"
    wait_for 30 visible && return 0
  done
  return 1
}
double_click_restores 1 || fail "a double click on the tray icon did not restore the window"

xdotool windowminimize "$win"
wait_for 50 sh -c "! xwininfo -id $win | grep -q IsViewable" || fail "second minimise"
double_click_restores 3 || fail "a right double click did not restore the window"
xdotool windowfocus --sync "$win"  # the display follows the stick while the window is active
# The first show's work did not run again: the settings file was not loaded (written) again.
[ "$(stat -c %Y.%s "$ini")" = "$ini_written" ] || fail "the settings were loaded again"
shift_to 127 64 && expect_gear 3 "centre top after the restore"

# A second start with the same settings file brings this one forward out of the tray and ends.
xdotool windowminimize "$win"
wait_for 50 sh -c "! xwininfo -id $win | grep -q IsViewable" || fail "third minimise"
status=0
(cd "$work/app" && timeout 20 ./kestrane --virtual-stick) >"$work/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the second start ended with $status: $(cat "$work/second.log")"
grep -q "already running" "$work/second.log" || fail "the second start did not say: $(cat "$work/second.log")"
wait_for 50 visible || fail "a second start did not bring the running window forward"

kill -0 "$kestrane" 2>/dev/null || fail "kestrane ended early"
"$X_CLOSE_WINDOW" "$win"
x_expect_exit "$kestrane" 300 "the close request"
echo "PASS"
