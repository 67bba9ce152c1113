# Sourced by the end-to-end tests and by scripts/measure-window and scripts/screenshot: a private
# X display with, on request, a window manager and a tray host. Every helper is checked to be
# really working before the caller goes on, and fails at once with its name and its error output;
# everything started here ends with the shell. Waits are for states, with time-outs, never fixed.
#
#   x_require CMD...            skip (exit 77) unless each command exists; under CI a failure
#   x_start_display [WxHxD]     a private Xvfb (no key auto-repeat, no reset); exports DISPLAY
#   x_start_window_manager      twm, checked to reparent a probe window
#   x_start_tray                trayer, checked to show its panel
#   x_spawn CMD...              runs CMD in the background until the shell ends
#   wait_for TENTHS CMD...      true once CMD succeeds within TENTHS tenths of a second
#   x_window TITLE WxH [PID]    the visible window of that title and size
#   x_origin WINDOW             "x y" of the window's client area on the screen
#   x_expect_exit PID TENTHS WHAT  PID (a child) ends within TENTHS with status 0, or fail on WHAT
#   x_fail MESSAGE              "FAIL: MESSAGE", the X server's end if it ended, the output of
#                               x_fail_hook, exit 1
#
# Under `set -e` a command that fails outside a condition fails the test the same way, naming
# the command and its line, instead of ending it without a word; so does a SIGTERM or SIGINT.
# X_SESSION_WM overrides the window manager's command (tests break it on purpose with it).

x_work=$(mktemp -d)
x_pids=()
x_xvfb_pid=

# The state letter of PID (R, S, Z...) while it is a child of this shell that has not been waited
# for. The shell reaps a child that ends at once, and its number may soon be another process's,
# another test's X server say: only the shell's own children are ever signalled.
x_child_state() {
  local stat state ppid
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  read -r state ppid _ <<<"${stat##*) }"
  [ "$ppid" = "$$" ] && echo "$state"
}

x_cleanup() {
  local i n pid
  for ((i = ${#x_pids[@]} - 1; i >= 0; i--)); do
    x_child_state "${x_pids[i]}" >/dev/null && kill "${x_pids[i]}" 2>/dev/null || true
  done
  # A program may still write into the work folder while it ends (the window program keeps its
  # position there): wait up to 5 s for each (a zombie has ended), then kill it.
  for pid in "${x_pids[@]}"; do
    for ((n = 0; n < 50; n++)); do
      case $(x_child_state "$pid") in '' | Z) break ;; esac
      sleep 0.1
    done
    x_child_state "$pid" >/dev/null && kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$x_work"
}
trap x_cleanup EXIT

x_fail_hook() { :; }
x_fail() {
  echo "FAIL: $*" >&2
  if [ -n "$x_xvfb_pid" ]; then
    case $(x_child_state "$x_xvfb_pid") in
      '' | Z) echo "  the X server of $DISPLAY has ended:" >&2 ;;
      *) xwininfo -root >/dev/null 2>&1 || echo "  the X server of $DISPLAY does not answer:" >&2 ;;
    esac
    x_helper_log "$x_work/xvfb.err" >&2 || true
  fi
  x_fail_hook >&2 || true
  exit 1
}

if [[ $- == *e* ]]; then
  set -E
  x_failed_command() {
    local status=$1 line=$2 command=$3
    # In a subshell (a command substitution): only end it; the test's own shell reports.
    [ "$BASHPID" = "$$" ] || exit "$status"
    trap - ERR
    x_fail "line $line: '$command' ended with status $status"
  }
  trap 'x_failed_command $? "$LINENO" "$BASH_COMMAND"' ERR
fi
x_stopped() {
  trap - ERR
  x_fail "the test was stopped by $1"
}
trap 'x_stopped SIGTERM' TERM
trap 'x_stopped SIGINT' INT

x_require() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null && continue
    # In CI every tool comes from scripts/install-deps: a missing one is a fault, not a skip.
    [ "${CI:-}" = true ] && x_fail "$tool is missing (scripts/install-deps installs it)"
    echo "SKIP: $tool is missing"
    exit 77
  done
}

wait_for() {
  local tenths=$1 i
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

x_expect_exit() {
  local pid=$1 tenths=$2 what=$3 status=0
  x_pid_gone() { ! kill -0 "$pid" 2>/dev/null; }
  wait_for "$tenths" x_pid_gone || x_fail "$what: still running after $((tenths / 10)) s"
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || x_fail "$what: exit status $status"
}

x_spawn() {
  "$@" &
  x_pids+=($!)
}

# The error output of a helper, indented, for a failure message.
x_helper_log() { [ -s "$1" ] && sed 's/^/  | /' "$1"; }

x_start_display() {
  local screen=${1:-1024x768x24}
  # The server picks a free display number itself and tells it on the descriptor given. No
  # auto-repeat (-r): a key held down longer than its delay, as on a slow machine, would repeat.
  # No reset when the last client leaves (-noreset): a client that connects during a reset is
  # turned away ("could not connect to display"), say the program right after a check's xwininfo.
  x_spawn Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -r -noreset 3>"$x_work/display" \
    >/dev/null 2>"$x_work/xvfb.err"
  x_xvfb_pid=$!
  wait_for 100 test -s "$x_work/display" ||
    x_fail "Xvfb did not start:$(echo; x_helper_log "$x_work/xvfb.err")"
  export DISPLAY=":$(head -n1 "$x_work/display")"
  wait_for 50 xwininfo -root >/dev/null 2>&1 || x_fail "Xvfb does not answer on $DISPLAY"
}

# The parent of a top-level window is the root window until a window manager reparents it.
x_managed() {
  local info
  info=$(xwininfo -tree -id "$1" 2>/dev/null) && ! grep -q 'Parent window id: .*(the root window)' <<<"$info"
}

x_start_window_manager() {
  # twm opens its fonts as a fontset of the locale; in a UTF-8 locale the fonts that xfonts-base
  # brings lack charsets, and it ends at start. Its titles are ASCII: the C locale is enough.
  local wm=${X_SESSION_WM:-env LC_ALL=C twm -f $x_work/twmrc} pid probe
  printf 'NoGrabServer\nRandomPlacement\nUsePPosition "on"\n' >"$x_work/twmrc"
  # shellcheck disable=SC2086  # the command is words on purpose
  $wm >/dev/null 2>"$x_work/wm.err" &
  pid=$!
  x_pids+=("$pid")
  # A window manager that runs but manages nothing is as bad as none: show a probe window and
  # wait until it is reparented, or until the manager has ended.
  xmessage -name kestrane-wm-probe -geometry +0+0 probe >/dev/null 2>&1 &
  probe=$!
  x_pids+=("$probe")
  local w
  x_probe_managed() {
    kill -0 "$pid" 2>/dev/null || return 0
    w=$(xdotool search --name '^kestrane-wm-probe$' 2>/dev/null | head -n1) && [ -n "$w" ] &&
      x_managed "$w"
  }
  local managed=no
  wait_for 100 x_probe_managed && kill -0 "$pid" 2>/dev/null && managed=yes
  kill "$probe" 2>/dev/null || true
  kill -0 "$pid" 2>/dev/null ||
    x_fail "the window manager ($wm) ended at start:$(echo; x_helper_log "$x_work/wm.err")"
  [ "$managed" = yes ] ||
    x_fail "the window manager ($wm) does not manage windows:$(echo; x_helper_log "$x_work/wm.err")"
}

x_start_tray() {
  local pid
  trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>"$x_work/tray.err" &
  pid=$!
  x_pids+=("$pid")
  # grep reads the whole tree: one that stopped early would leave xwininfo a broken pipe.
  x_tray_up() { kill -0 "$pid" 2>/dev/null && xwininfo -root -tree | grep '"panel"' >/dev/null; }
  wait_for 100 x_tray_up ||
    x_fail "the tray host (trayer) did not start:$(echo; x_helper_log "$x_work/tray.err")"
}

x_window() {
  local w
  for w in $(xdotool search --onlyvisible ${3:+--pid "$3"} --name "^$1\$" 2>/dev/null); do
    if xwininfo -id "$w" | grep -q -- "-geometry $2"; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

x_origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}'
}
