#!/usr/bin/env bash
# What a new player sees, on a private X server with a window manager and a tray: without a stick
# the window says so over the pattern, with the reason; the tray icon and the window icon are
# drawn; the settings dialog opens beside the window, not over it; and the window comes back
# where it was left. With SHOT set, the desktop (window, dialog, tray) is saved there.
#
# Needs KESTRANE (the program) and X_CLOSE_WINDOW (the close-request helper). Skips (77) without
# the X tools it drives (fails instead under CI).
set -euo pipefail

source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo xprop convert import twm trayer
work=$x_work
x_fail_hook() { [ -f "$work/kestrane.log" ] && sed 's/^/  kestrane: /' "$work/kestrane.log"; }
fail() { x_fail "$@"; }

x_start_display
x_start_window_manager
x_start_tray

mkdir "$work/app"
cp "$KESTRANE" "$work/app/kestrane"
export KESTRANE_DISPLAY_DUMP="$work/labels.txt"
export KESTRANE_KEY_OUTPUT=xtest
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp:print_suppressions=0"
# No stick for SDL to find, even on a desktop with one plugged in.
export SDL_JOYSTICK_DISABLE_UDEV=1 SDL_JOYSTICK_DEVICE=/nonexistent
start() {  # start [ARGS...]: the program in its folder, in the background
  (cd "$work/app" && exec ./kestrane "$@") >"$work/kestrane.log" 2>&1 &
  kestrane=$!
  x_pids+=($kestrane)
  wait_for 150 x_window Kestrane 274x397 >/dev/null || fail "no main window ($*)"
  win=$(x_window Kestrane 274x397)
  wait_for 50 x_managed "$win" || fail "the window manager did not reparent the main window"
}
stop() {
  "$X_CLOSE_WINDOW" "$win"
  x_expect_exit "$kestrane" 300 "closing the window"
}
frame() {  # frame WINDOW: "x y w h" of the window with its frame
  xwininfo -id "$1" -frame | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width/ {w=$2} /Height/ {h=$2} END {print x, y, w, h}'
}
label() { sed -n "s/^$1=//p" "$work/labels.txt" 2>/dev/null; }

# 1. No stick: said where the gear is shown, the reason over the pattern.
start
wait_for 50 sh -c "grep -q '^Label1=No joystick$' '$work/labels.txt'" ||
  fail "no 'No joystick' where the gear is shown: $(label Label1)"
case "$(label Hint)" in
  "No joystick found: no joystick is connected"*) ;;
  *) fail "no reason shown: '$(label Hint)'" ;;
esac
read -r wx wy < <(x_origin "$win")
colour() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1; }
# The neutral bar's middle (panel (127, 127)) is covered by the hint's box; the left lane's top
# (panel (42, 30)) is not.
hint_drawn() {
  import -window root "$work/nostick.png"
  [ "$(colour "$work/nostick.png" $((wx + 10 + 127)) $((wy + 53 + 127)))" != \
    "$(colour "$work/nostick.png" $((wx + 10 + 42)) $((wy + 53 + 30)))" ]
}
wait_for 50 hint_drawn || fail "the hint is not drawn over the pattern"

# 2. Icons: the tray icon is drawn (not an empty square) and the window has its own icon.
tray_icon() {
  xwininfo -root -tree | awk '!found && /"Kestrane": \("kestrane"/ && !/274x397/ {print $1; found = 1}'
}
wait_for 50 sh -c "xwininfo -root -tree | grep -q '\"Kestrane\": (\"kestrane\"' " || fail "no tray icon"
icon=$(tray_icon)
[ -n "$icon" ] || fail "no tray icon window"
import -window "$icon" "$work/tray.png"
colours=$(convert "$work/tray.png" -format %k info:)
[ "$colours" -ge 3 ] || fail "the tray icon is blank ($colours colours)"  # the icon has 6
icon_words=$(xprop -id "$win" _NET_WM_ICON | wc -c)
[ "$icon_words" -gt 1000 ] || fail "the window has no icon of its own: $(xprop -id "$win" _NET_WM_ICON | head -c 80)"

# 3. The window is moved; at the next start it is there again.
xdotool windowmove "$win" 40 120
wait_for 50 sh -c "xwininfo -id $win -frame | grep -q 'Absolute upper-left X:  *40$'" ||
  fail "the window did not move"
read -r left_x left_y _ _ < <(frame "$win")
stop
start --virtual-stick
read -r again_x again_y _ _ < <(frame "$win")
[ "$again_x $again_y" = "$left_x $left_y" ] ||
  fail "the window came back at $again_x,$again_y, not at $left_x,$left_y"
wait_for 50 sh -c "grep -q '^Label1=Actual state:$' '$work/labels.txt'" ||
  fail "the virtual stick was not read: $(label Label1)"
[ -z "$(label Hint)" ] || fail "a hint with a stick: $(label Hint)"

# 4. The settings dialog opens beside the window, both on the screen.
read -r wx wy < <(x_origin "$win")
xdotool mousemove $((wx + 226)) $((wy + 378)) click 1  # "Settings..."
wait_for 50 x_window Settings 712x607 >/dev/null || fail "the settings dialog did not open"
dialog=$(x_window Settings 712x607)
sleep 0.5  # a moved window settles
read -r mx my mw mh < <(frame "$win")
read -r dx dy dw dh < <(frame "$dialog")
read -r sw sh < <(xwininfo -root | awk '/Width/ {w=$2} /Height/ {h=$2} END {print w, h}')
if [ $((dx + dw)) -gt "$mx" ] && [ $((mx + mw)) -gt "$dx" ] &&
   [ $((dy + dh)) -gt "$my" ] && [ $((my + mh)) -gt "$dy" ]; then
  fail "the dialog ($dx,$dy ${dw}x$dh) covers the window ($mx,$my ${mw}x$mh)"
fi
for r in "$mx $my $mw $mh window" "$dx $dy $dw $dh dialog"; do
  read -r x y w h what <<<"$r"
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$sw" ] && [ $((y + h)) -le "$sh" ] ||
    fail "the $what ($x,$y ${w}x$h) is not on the ${sw}x$sh screen"
done

if [ -n "${SHOT:-}" ]; then
  xdotool mousemove $((sw - 1)) $((sh - 1))
  sleep 0.5
  import -window root "$SHOT"
fi
stop
echo "PASS"
