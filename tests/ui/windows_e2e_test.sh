#!/usr/bin/env bash
# kestrane.exe --virtual-stick under Wine on a private X server: it starts in an empty folder and
# writes its settings file there (CRLF line ends), shows the pattern, follows the mouse into a
# gear, types that gear's key (a low-level keyboard hook sees it), and lets it up when the
# session ends (WM_QUERYENDSESSION, WM_ENDSESSION, then the process is ended as Windows does).
#
# Needs KESTRANE (kestrane.exe), KEY_HOOK_LOGGER (key_hook_logger.exe) and UNDER_WINE. The
# screenshot is kept as $KESTRANE_SCREENSHOT when that is set.
set -euo pipefail

source "$(dirname "$0")/../support/x_session.sh"
x_require Xvfb xdotool xwininfo import convert twm
work=$x_work
x_fail_hook() {
  [ -f "$work/kestrane.log" ] && sed 's/^/  kestrane: /' "$work/kestrane.log"
  [ -f "$work/keys.log" ] && sed 's/^/  hook: /' "$work/keys.log"
}
fail() { x_fail "$@"; }

x_start_display 1024x768x24
x_start_window_manager
# Wine's services (the desktop among them) start again on this display, and end with the test.
"$UNDER_WINE" --restart
trap 'x_cleanup; "$UNDER_WINE" --restart' EXIT

"$UNDER_WINE" "$KEY_HOOK_LOGGER" >"$work/keys.log" 2>"$work/hook.err" &
x_pids+=($!)
wait_for 600 grep -q '^ready' "$work/keys.log" || fail "the keyboard hook did not start"
keys() { grep -E '^(press|release) ' "$work/keys.log" | tr -d '\r' | cut -d' ' -f1,2; }

# The settings file is made beside the program: a copy in an empty folder.
mkdir "$work/app"
cp "$KESTRANE" "$work/app/kestrane.exe"
export KESTRANE_DISPLAY_DUMP="$work/labels.txt"
(cd "$work/app" && exec "$UNDER_WINE" ./kestrane.exe --virtual-stick) >"$work/kestrane.log" 2>&1 &
x_pids+=($!)

labels() { tr -d '\r' <"$work/labels.txt" 2>/dev/null; }
label_is() { labels | grep -qx "$1"; }
main_window() { xdotool search --onlyvisible --name '^Kestrane$' 2>/dev/null | head -1; }
has_main_window() { [ -n "$(main_window)" ]; }
wait_for 600 has_main_window || fail "no window titled Kestrane"
win=$(main_window)
ini="$work/app/Kestrane.ini"
wait_for 100 test -s "$ini" || fail "Kestrane.ini was not made beside kestrane.exe"
keys_in_file=$(grep -c '=' "$ini")
[ "$keys_in_file" -eq 66 ] || fail "Kestrane.ini holds $keys_in_file keys, not 66"
[ "$(grep -c $'\r$' "$ini")" -eq "$(wc -l <"$ini")" ] || fail "Kestrane.ini lines do not end in CRLF"
wait_for 100 label_is 'Label3=N' || fail "the display does not show neutral"

# The pattern on screen: three filled lanes in the picture, outlined in black.
read -r wx wy < <(x_origin "$win")
import -window root "$work/shot.png"
[ -n "${KESTRANE_SCREENSHOT:-}" ] && cp "$work/shot.png" "$KESTRANE_SCREENSHOT"
pixel() {
  convert "$work/shot.png" -crop "1x1+$(($1))+$(($2))" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1
}
# The position panel's picture at (11, 54) of the client area, as on Linux.
ox=$((wx + 11)) oy=$((wy + 54))
[ "$(pixel ox+38 oy+100)" = "#000000" ] || fail "left lane outline not at column 38: $(pixel ox+38 oy+100)"
[ "$(pixel ox+42 oy+100)" != "$(pixel ox+20 oy+100)" ] || fail "left lane not filled"

# Drag the stick from the centre along the neutral line into the left top slot (gear 1), waiting
# at each point until the display shows the stick there.
px() { echo $((wx + 10 + $1)); }
py() { echo $((wy + 53 + $1)); }
stick_at() { label_is "Xl=X:$(($1 * 256 + 128))" && label_is "Yl=Y:$(($2 * 256 + 128))"; }
move_stick() {
  xdotool mousemove "$(px "$1")" "$(py "$2")"
  wait_for 100 stick_at "$1" "$2" ||
    fail "the stick did not follow the mouse to ($1, $2): $(labels | tr '\n' ' ')"
}
xdotool mousemove "$(px 127)" "$(py 127)" click 1
xdotool mousemove "$(px 127)" "$(py 127)" mousedown 1
for point in "127 127" "44 127" "44 64"; do
  move_stick $point
done
xdotool mouseup 1
wait_for 100 label_is 'Label3=1' || fail "gear 1 not shown"
pressed() { keys | grep -qx 'press 1'; }
wait_for 100 pressed || fail "the hook did not see the key of gear 1"

# The session ends while gear 1 is held: the key comes up before the process is ended.
"$UNDER_WINE" "$KEY_HOOK_LOGGER" --end-session Kestrane >"$work/end.log" 2>&1 ||
  fail "ending the session failed: $(tr -d '\r' <"$work/end.log")"
released() { keys | grep -qx 'release 1'; }
wait_for 50 released || fail "the key of gear 1 is still down after the session ended"
[ "$(keys)" = "$(printf 'press 1\nrelease 1')" ] || fail "unexpected keys: $(keys | tr '\n' ' ')"
echo "ok: window shown, gear 1 typed and let up at the end of the session"
