#!/usr/bin/env bash
# kestrane-cli as a black box: the replay and settings commands as their users see them.
set -u
cli=${KESTRANE_CLI:?}
examples=${KESTRANE_EXAMPLES:?}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
source "$(dirname "$0")/../support/checks.sh"
# Files the program writes end their lines the system's way: CRLF from the Windows program.
crlf=0
[ "${KESTRANE_CLI_SYSTEM:-}" = Windows ] && crlf=1
has_line() { tr -d '\r' <"$2" | grep -qx -- "$1"; }

# Replay of the bundled trace shifts through every gear, in order.
gears=$("$cli" replay --jsonl "$examples/every-gear.trace" | python3 -c '
import json, sys
seq = []
for line in sys.stdin:
    g = json.loads(line)["sent"]
    if not seq or seq[-1] != g: seq.append(g)
print(" ".join(map(str, seq)))')
check "every gear in order" test "$gears" = "-1 1 -1 2 -1 3 -1 4 -1 5 -1 6 -1 7 -1 0 -1"

# One object per tick line; comments and blanks are not ticks; a fail repeats the state.
# A lost stick: 20 failed reads in a row at the default interval (500 ms), or a "gone" line, let
# the held key up and make the sent gear neutral; 19 do not. Failing reads keep the stick and its
# effects; "gone" takes them until "back" or the next read; "back" with the stick there is nothing.
lost=$( { printf '32767 0\n%.0s' 1 2 3; printf 'fail\n%.0s' $(seq 19); printf 'fail\ngone\nback\n32767 0\n'; } |
  "$cli" replay --jsonl | python3 -c '
import json, sys
t = [json.loads(l) for l in sys.stdin]
up = {"vk": 51, "scan": 4, "down": False}
print(t[21]["sent"], up in t[22]["keys"], t[22]["sent"], len(t[22]["effects"]), t[23]["effects"] == {}, len(t[24]["effects"]), t[24]["sent"])')
check "lost stick: 19 fails keep the key, the 20th lets it up, gone and back" \
  test "$lost" = "3 True -1 3 True 3 3"
back=$( { printf '32767 0\n%.0s' 1 2 3; printf 'gone\n32767 0\n'; printf 'fail\n%.0s' $(seq 10); printf 'back\n'; printf 'fail\n%.0s' $(seq 10); } |
  "$cli" replay --jsonl | python3 -c '
import json, sys
t = [json.loads(l) for l in sys.stdin]
print(len(t[4]["effects"]), t[4]["sent"], t[-1]["sent"])')
check "a read after gone is the stick back; back while it is there does not reset the failures" \
  test "$back" = "3 3 -1"
# A lone CR ends a line as LF and CRLF do.
check "CR-only line ends: three ticks" \
  test "$(printf '32767 0\r32767 0\r\n0 0\r' | "$cli" replay --jsonl | grep -c '"tick"')" = 3
out=$(printf '# c\n\n32767 0\n fail \n32767 0\n' | "$cli" replay --jsonl)
check "tick count" test "$(echo "$out" | wc -l)" = 3
check "fail tick" python3 -c '
import json, sys
t = [json.loads(l) for l in sys.argv[1].splitlines()]
assert [x["tick"] for x in t] == [1, 2, 3]
assert t[1]["read"] is False and t[1]["keys"] == []
for k in ("stick", "gate", "hole", "mode", "gear", "sent", "flags"):
    assert t[1][k] == t[0][k], k
assert t[1]["effects"] == {"cross": None, "hole": None, "center": None}
assert t[0]["effects"]["hole"]["x"] == {"offset": 0, "coeff": 2000, "sat": 2000, "deadband": 10000}
' "$out"

# A bad line: earlier ticks printed, its line number on stderr, status 2.
printf '32767 32767\n# two\n1 2 banana\n32767 0\n' > "$work/bad.trace"
"$cli" replay --jsonl "$work/bad.trace" > "$work/out" 2> "$work/err"
check "bad line status" test $? = 2
check "bad line output" test "$(wc -l < "$work/out")" = 1
check "bad line number" grep -q "line 3" "$work/err"

# Unknown --set key or option: status 2, nothing on standard output.
"$cli" replay --set NO_SUCH_KEY=1 "$examples/every-gear.trace" > "$work/out" 2>/dev/null
check "unknown key status" test $? = 2
check "unknown key silent" test ! -s "$work/out"
"$cli" replay --bogus < /dev/null > "$work/out" 2>/dev/null
check "bad option status" test $? = 2
# --delay takes seconds from 0, and goes with --inject; anything else is refused before a key.
for args in "--inject --delay -1" "--inject --delay 1e3" "--inject --delay nan" "--inject --delay" \
            "--inject --delay 1.2.3" "--inject --delay 90000" "--delay 1"; do
  # shellcheck disable=SC2086
  "$cli" replay $args "$examples/every-gear.trace" > "$work/out" 2> "$work/err"
  check "replay $args: status 2" test $? = 2
  check "replay $args: nothing replayed" test ! -s "$work/out"
done

# Input echoed in a message has its control characters escaped: a trace, an argument or a file
# name cannot send the terminal an escape sequence.
echoes_escaped() {  # FRAGMENT CMD...: CMD ends with status 2, FRAGMENT on stderr, no raw control
  local fragment=$1 status=0
  shift
  "$@" > /dev/null 2> "$work/err" || status=$?
  [ "$status" = 2 ] && grep -qF -- "$fragment" "$work/err" &&
    ! tr -d '\r\n' < "$work/err" | LC_ALL=C grep -q '[[:cntrl:]]'
}
esc=$'\e'
printf '1 2 %s[31mred\n' "$esc" > "$work/esc.trace"
check "escaped: trace field" echoes_escaped "field 3 '\x1b[31mred'" "$cli" replay "$work/esc.trace"
printf '1 2 3 4 5 6 7 8 0x\a\n' > "$work/bel.trace"
check "escaped: button mask" echoes_escaped "mask '0x\x07'" "$cli" replay "$work/bel.trace"
check "escaped: --set key" echoes_escaped "key '\x1b]0;title\x07'" \
  "$cli" replay --set "$esc]0;title"$'\a=1' /dev/null
check "escaped: --set without =" echoes_escaped "got 'JOY\x1bc'" "$cli" settings x.ini --set "JOY${esc}c"
check "escaped: option" echoes_escaped "option '--bo\x0agus'" "$cli" replay $'--bo\ngus'
check "escaped: command" echoes_escaped "command 'go\u009b'" "$cli" $'go\xc2\x9b'
check "escaped: settings file" echoes_escaped "no\x1b[2Jsuch.ini does not exist" \
  "$cli" replay --settings "$work/no$esc[2Jsuch.ini" /dev/null
if [ "$crlf" = 0 ]; then  # Windows names hold no control characters
  mkdir "$work/dir$esc[8m.ini"
  check "escaped: settings path in the loader's message" echoes_escaped "dir\x1b[8m.ini is not a regular" \
    "$cli" replay --settings "$work/dir$esc[8m.ini" /dev/null
fi

# --set is read like a file value; FORCE_FEEDBACK 0 clears the effects after the overrides.
out=$(echo "32767 0" | "$cli" replay --jsonl --set "SYM_TYPE= 0x1" --set FORCE_FEEDBACK=0 \
      --set CROSS_ENABLED=1 --set KEY_CODE3=300)
check "overrides" python3 -c '
import json, sys
t = json.loads(sys.argv[1])
assert t["effects"] == {}, t["effects"]
' "$out"
out=$(printf '32767 0\n32767 0\n32767 0\n' | "$cli" replay --jsonl --set SYM_TYPE=1 --set KEY_CODE3=300)
check "tap with low byte of key code" python3 -c '
import json, sys
t = [json.loads(l) for l in sys.argv[1].splitlines()]
assert t[2]["keys"] == [{"vk": 44, "scan": 4, "down": True}, {"wait": 10}, {"vk": 44, "scan": 4, "down": False}], t[2]["keys"]
' "$out"

# buttons: the virtual H-shifter's button for the gear after each tick (1-7, 8 for R, none in
# N), changing on the ticks that type the keys; always empty with VIRTUAL_SHIFTER off.
"$cli" replay --jsonl "$examples/every-gear.trace" > "$work/off.jsonl"
"$cli" replay --jsonl --set VIRTUAL_SHIFTER=1 "$examples/every-gear.trace" > "$work/on.jsonl"
check "buttons follow the gear" python3 -c '
import json, sys
off = [json.loads(l) for l in open(sys.argv[1])]
on = [json.loads(l) for l in open(sys.argv[2])]
assert all(t["buttons"] == [] for t in off)
want = lambda g: [] if g < 0 else [8 if g == 0 else g]
assert all(t["buttons"] == want(t["gear"]) for t in on)
held = [t["buttons"] for t in on]
changes = [i for i in range(len(on)) if held[i] != (held[i - 1] if i else [])]
assert changes == [i for i, t in enumerate(on) if t["keys"]], changes
seen = []
for b in held:
    if b and b not in seen: seen.append(b)
assert seen == [[1], [2], [3], [4], [5], [6], [7], [8]], seen
for a, b in zip(off, on):
    assert {k: v for k, v in a.items() if k != "buttons"} == {k: v for k, v in b.items() if k != "buttons"}
' "$work/off.jsonl" "$work/on.jsonl"
out=$(printf '32767 0\n32767 0\n32767 0\nfail\n32767 32767\n32767 32767\n' |
      "$cli" replay --jsonl --set VIRTUAL_SHIFTER=1 --set SYM_TYPE=3)
check "buttons without keys, fail repeats" python3 -c '
import json, sys
t = [json.loads(l) for l in sys.argv[1].splitlines()]
assert [x["buttons"] for x in t] == [[], [], [3], [3], [3], []], [x["buttons"] for x in t]
assert [x["gear"] for x in t] == [-1, -1, 3, 3, 3, -1] and t[3]["read"] is False
assert all(x["keys"] == [] and x["sent"] == -1 for x in t)
' "$out"

# --settings is read but never written.
printf '[MAIN]\nJOY_GEAR_WIDTH=abc\n' > "$work/ro.ini"
before=$(cat "$work/ro.ini")
echo "0 0" | "$cli" replay --jsonl --settings "$work/ro.ini" > /dev/null
check "replay never writes settings" test "$(cat "$work/ro.ini")" = "$before"

# settings: creates the complete file and prints the record in save order.
"$cli" settings "$work/new.ini" > "$work/rec.json"
check "settings exit" test $? = 0
check "settings file complete" test "$(grep -c = "$work/new.ini")" = 66
check "settings file line ends" python3 -c '
import sys
d, crlf = open(sys.argv[1], "rb").read(), sys.argv[2] == "1"
assert d.count(b"\r") == d.count(b"\r\n") == (d.count(b"\n") if crlf else 0), d[:40]' "$work/new.ini" "$crlf"
# The keys added later are the last lines of MAIN, FF_TESTED_STICK the very last.
check "new keys end MAIN" test "$(tr -d '\r' <"$work/new.ini" | sed -n '/^\[MAIN\]/,/^$/p' | grep = | tail -n 5 | tr '\n' ' ')" = "VIRTUAL_SHIFTER=0 FF_INVERT_X=0 FF_INVERT_Y=0 FF_STRENGTH=100 FF_TESTED_STICK= "
check "settings record" python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))
main, kb = r["MAIN"], r["KEYBOARD"]
assert list(main)[0] == "JOYSTICK", list(main)
assert list(main)[-6:] == ["CHECK_INTERVAL", "VIRTUAL_SHIFTER", "FF_INVERT_X", "FF_INVERT_Y",
                           "FF_STRENGTH", "FF_TESTED_STICK"], list(main)
assert len(main) == 42 and len(kb) == 26
assert main["VIRTUAL_SHIFTER"] == 0 and main["FF_STRENGTH"] == 100 and main["FF_TESTED_STICK"] == ""
assert main["JOY_GEAR_WIDTH"] == 21298 and main["CHECK_INTERVAL"] == 25 and main["JOYSTICK"] == ""
assert list(kb)[:4] == ["SYM_SEQUENCE", "SYM_TYPE", "SYM_KEY_TIME", "SYM_SPACE_TIME"]
assert kb["SYM_SEQUENCE"] == "RN1234567" and kb["KEY_CODE9"] == 33
' "$work/rec.json"

# --save with --joystick writes the device name and the overrides.
"$cli" settings "$work/new.ini" --set REVERSE_X=5 --save --joystick "Desk Stick" > /dev/null
check "save joystick" has_line "JOYSTICK=Desk Stick" "$work/new.ini"
check "save bool" has_line "REVERSE_X=1" "$work/new.ini"
"$cli" settings "$work/new.ini" --set VIRTUAL_SHIFTER=1 --save > "$work/rec.json"
check "save virtual shifter" has_line "VIRTUAL_SHIFTER=1" "$work/new.ini"
check "print virtual shifter" python3 -c '
import json, sys
assert json.load(open(sys.argv[1]))["MAIN"]["VIRTUAL_SHIFTER"] == 1' "$work/rec.json"
# The remembered stick: a save without --joystick keeps the file's JOYSTICK (and the record shows
# it), --set JOYSTICK= and --joystick "" clear it, a new file gets none.
joystick_after() {  # FILE ARGS...: the JOYSTICK line of FILE and the record's after the command
  local file=$1
  shift
  "$cli" settings "$file" "$@" > "$work/rec.json" || return
  printf '%s|%s' "$(tr -d '\r' <"$file" | grep '^JOYSTICK=')" \
    "$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["MAIN"]["JOYSTICK"])' "$work/rec.json")"
}
printf '[MAIN]\nJOYSTICK=Desk Stick\nREVERSE_X=0\n' > "$work/stick.ini"
while IFS='#' read -r what expected args; do
  eval "set -- $args"
  check "joystick: $what" test "$(joystick_after "$work/stick.ini" "$@")" = "$expected"
done <<'ROWS'
print only#JOYSTICK=Desk Stick|Desk Stick#
save without --joystick#JOYSTICK=Desk Stick|Desk Stick#--set REVERSE_X=1 --save
save with --joystick#JOYSTICK=Pedal Box|Pedal Box#--save --joystick 'Pedal Box'
--joystick "" clears#JOYSTICK=|#--save --joystick ''
save keeps it empty#JOYSTICK=|#--set REVERSE_X=0 --save
--set JOYSTICK= sets it#JOYSTICK=Wheel|Wheel#--save --set JOYSTICK=Wheel
ROWS
check "joystick: a new file gets none" test "$(joystick_after "$work/fresh.ini" --save)" = "JOYSTICK=|"

# A read-only file: the record is still printed, the message names the full path, status 1.
printf '[MAIN]\nJOY_GEAR_WIDTH=777\n' > "$work/locked.ini"
chmod 444 "$work/locked.ini"
"$cli" settings "$work/locked.ini" > "$work/rec.json" 2> "$work/err"
check "read-only status" test $? = 1
check "read-only message" grep -qx "Unable to write to $work/locked.ini" "$work/err"
check "read-only record" python3 -c '
import json, sys
assert json.load(open(sys.argv[1]))["MAIN"]["JOY_GEAR_WIDTH"] == 777' "$work/rec.json"
check "read-only untouched" test "$(cat "$work/locked.ini")" = "$(printf '[MAIN]\nJOY_GEAR_WIDTH=777')"

checks_done
