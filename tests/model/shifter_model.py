#!/usr/bin/env python3
"""An independent model of Kestrane's shifting core, as seen through
`kestrane-cli replay --jsonl`.

Written from the documented behaviour only (not from Kestrane's C++ code):
settings defaults and the number reading of a settings-file value, the start
state after the first show, and one poll step per trace line (read, axis swap
and mirror, switch axis, gate tracking, switch state, gear decision, keystroke
output, hole quantisation, force-feedback spring parameters).

All position arithmetic uses Python's unbounded integers, so every result is
exact for any signed 32-bit input or setting (no wrapping, no clamping except
where the behaviour asks for it).

Usage as a program (same trace format and --set options as the tool):
    python3 shifter_model.py [--set KEY=VALUE]... [TRACE]
prints one JSON object per tick line, like `kestrane-cli replay --jsonl`.
"""

import json
import re
import sys

M = 32767
INT32_MIN = -(2 ** 31)
INT32_MAX = 2 ** 31 - 1

# --------------------------------------------------------------------------
# Settings
# --------------------------------------------------------------------------

# Section MAIN, integer / boolean keys with their defaults.
MAIN_DEFAULTS = {
    "REVERSE_X": 0,
    "REVERSE_Y": 0,
    "SWITCH_XY": 0,
    "POOLED_DEVICE": 1,
    "AUTOCENTER_NEUTRAL": 0,
    "EXCLUSIVE_ACCESS": 1,
    "FORCE_FEEDBACK": 1,
    "DAMPER_ENABLED": 0,
    "CROSS_ENABLED": 1,
    "HOLE_ENABLED": 1,
    "CENTER_ENABLED": 1,
    "SWITCH_BUTTON": 1,
    "SWITCH_B_AXE": 0,
    "SWITCH_B_MIN": 10000,
    "SWITCH_B_MAX": 32000,
    "GEAR_CENTER_FORCE_X": 10000,
    "GEAR_CENTER_FORCE_Y": 10000,
    "GEAR_CENTER_SATURATION_X": 3000,
    "GEAR_CENTER_SATURATION_Y": 3000,
    "JOY_GEAR_WIDTH": 21298,
    "JOY_GEAR_HEIGHT": 16383,
    "GEAR_CROSS_SIZE": 4000,
    "GEAR_FORCE_DEATH_FREE_X": 2250,
    "GEAR_FORCE_DEATH_NOFREE_X": 200,
    "GEAR_FORCE_DEATH_FREE_Y": 5000,
    "GEAR_FORCE_DEATH_NOFREE_Y": 700,
    "GEAR_DAMPER_FORCE": 500,
    "GEAR_DAMPER_SATURATION": 1000,
    "GEAR_HOLE_FORCE_X": 2000,
    "GEAR_HOLE_SATURATION_X": 2000,
    "GEAR_HOLE_FORCE_Y": 5000,
    "GEAR_HOLE_SATURATION_Y": 5000,
    "GEAR_CROSS_FORCE_COUNT": 1,
    "GEAR_CROSS_FORCE": 5000,
    "GEAR_CROSS_SATURATION": 5000,
    "CHECK_INTERVAL": 25,
    "VIRTUAL_SHIFTER": 0,
    "FF_INVERT_X": 0,
    "FF_INVERT_Y": 0,
    "FF_STRENGTH": 100,
}

BOOL_KEYS = {
    "REVERSE_X", "REVERSE_Y", "SWITCH_XY", "POOLED_DEVICE",
    "AUTOCENTER_NEUTRAL", "EXCLUSIVE_ACCESS", "FORCE_FEEDBACK",
    "DAMPER_ENABLED", "CROSS_ENABLED", "HOLE_ENABLED", "CENTER_ENABLED",
    "VIRTUAL_SHIFTER", "FF_INVERT_X", "FF_INVERT_Y",
}

DEFAULT_VK = [0x38, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x4E, 0x21, 0x22]
DEFAULT_SCAN = [0x09, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x31, 0x49, 0x51]

KEYBOARD_DEFAULTS = {"SYM_TYPE": 0, "SYM_KEY_TIME": 10, "SYM_SPACE_TIME": 10}
for _i in range(11):
    KEYBOARD_DEFAULTS["KEY_CODE%d" % _i] = DEFAULT_VK[_i]
    KEYBOARD_DEFAULTS["SCAN_CODE%d" % _i] = DEFAULT_SCAN[_i]

INT_DEFAULTS = dict(MAIN_DEFAULTS)
INT_DEFAULTS.update(KEYBOARD_DEFAULTS)

TEXT_KEYS = {"SYM_SEQUENCE": "RN1234567", "JOYSTICK": ""}

ALL_KEYS = set(INT_DEFAULTS) | set(TEXT_KEYS)

BLANKS = " \t"
VALUE_BUFFER = 2047  # at most this many characters of a value are seen


class UnknownKey(Exception):
    pass


def seen_value_text(raw):
    """The value text as the settings-file read sees it: surrounding blanks
    are not part of the value, and at most 2047 characters are seen."""
    return raw.strip(BLANKS)[:VALUE_BUFFER]


def parse_setting_number(text):
    """Number reading of a settings value. Returns an int, or None when the
    text is not a number (empty, any other character, outside int32).

    Accepted: optional leading blanks, an optional sign, then decimal digits,
    or hexadecimal digits after a "$", "x" or "0x" prefix."""
    s = text.lstrip(BLANKS)
    neg = False
    if s[:1] in ("+", "-"):
        neg = s[0] == "-"
        s = s[1:]
    base = 10
    if s[:2].lower() == "0x":
        base, s = 16, s[2:]
    elif s[:1] in ("$", "x", "X"):
        base, s = 16, s[1:]
    if not s:
        return None
    digits = "0123456789" if base == 10 else "0123456789abcdefABCDEF"
    if any(c not in digits for c in s):
        return None
    v = int(s, base)
    if neg:
        v = -v
    if v < INT32_MIN or v > INT32_MAX:
        return None
    return v


class Settings:
    """The configuration record, built from defaults and --set overrides."""

    def __init__(self):
        self.v = dict(INT_DEFAULTS)
        self.seq = TEXT_KEYS["SYM_SEQUENCE"].encode("latin-1")
        self.vk = list(DEFAULT_VK)
        self.scan = list(DEFAULT_SCAN)

    def set(self, key, raw):
        """Apply one `--set KEY=VALUE`, read as the settings file's value."""
        # Key names compare without regard to case, as in the settings file.
        key = key.upper()
        if key not in ALL_KEYS:
            raise UnknownKey(key)
        text = seen_value_text(raw)
        if key == "SYM_SEQUENCE":
            self.seq = text.encode("utf-8")[:9]
            return
        if key == "JOYSTICK":
            return
        n = parse_setting_number(text)
        if n is None:
            n = INT_DEFAULTS[key]
        if key in BOOL_KEYS:
            n = 1 if n != 0 else 0
        if key.startswith("KEY_CODE"):
            self.vk[int(key[8:])] = n & 0xFF
        elif key.startswith("SCAN_CODE"):
            self.scan[int(key[9:])] = n & 0xFF
        self.v[key] = n

    def apply_startup_rule(self):
        """Force feedback off at start-up clears the four effect switches."""
        if self.v["FORCE_FEEDBACK"] == 0:
            for k in ("DAMPER_ENABLED", "CROSS_ENABLED", "HOLE_ENABLED", "CENTER_ENABLED"):
                self.v[k] = 0

    def __getitem__(self, key):
        return self.v[key]


def settings_from_overrides(pairs):
    """pairs: list of (KEY, VALUE) strings in command-line order."""
    s = Settings()
    for k, val in pairs:
        s.set(k, val)
    s.apply_startup_rule()
    return s


# --------------------------------------------------------------------------
# Helpers
# --------------------------------------------------------------------------

def half(v):
    """v / 2 rounded toward zero."""
    q = abs(v) // 2
    return q if v >= 0 else -q


def clamp(v, a, b):
    """Raise v to a if below, then lower it to b if above (in that order)."""
    if v < a:
        v = a
    if v > b:
        v = b
    return v


def to_condition_units(d):
    """d * 10000 / 32767 truncated toward zero; a non-zero multiple of 32767
    gives one less in magnitude. Exact integer arithmetic, no clamping."""
    mag = abs(d) * 10000 // 32767
    if d != 0 and d % 32767 == 0:
        mag -= 1
    return mag if d >= 0 else -mag


def gear_letter(g):
    if g == -1:
        return b"N"
    if g == 0:
        return b"R"
    return str(g).encode()


def candidate_lane(x, W, S):
    if x <= M - W + S:
        return M - W
    if x >= M + W - S:
        return M + W
    return M


# --------------------------------------------------------------------------
# The shifting core
# --------------------------------------------------------------------------

class Model:
    def __init__(self, settings):
        self.cfg = settings
        # ResetShiftState (and program start values)
        self.stick_x = M
        self.stick_y = M
        self.switch_axis = 0
        self.in_lane = False  # OnNeutralLine
        self.gate_x = M
        self.gate_y = M
        self.hole_x = M
        self.hole_y = M
        self.bstate = False
        self.latched = False
        self.gear = -1
        self.sent = -1
        self.flags = 0
        self.buttons = []  # the virtual H-shifter's held buttons
        self.failed_ms = 0  # how long reads have failed in a row
        # A tick stands for CHECK_INTERVAL ms; 0 or over a minute stands for 25 ms.
        interval = settings["CHECK_INTERVAL"] & 0xFFFFFFFF
        self.tick_ms = 25 if interval == 0 or interval > 60000 else interval
        # Joystick open: the effect build runs UpdateHole on the start gate point.
        self.update_hole()
        c = settings
        self.effect_names = []
        if c["CROSS_ENABLED"]:
            self.effect_names.append("cross")
            if c["GEAR_CROSS_FORCE_COUNT"] > 1:
                self.effect_names.append("cross2")
        if c["HOLE_ENABLED"]:
            self.effect_names.append("hole")
        if c["CENTER_ENABLED"]:
            self.effect_names.append("center")
        if c["DAMPER_ENABLED"]:
            self.effect_names.append("damper")
        self.tick = 0

    # ---- gate tracking -------------------------------------------------
    def track_gate(self):
        c = self.cfg
        W, H, S = c["JOY_GEAR_WIDTH"], c["JOY_GEAR_HEIGHT"], c["GEAR_CROSS_SIZE"]
        X, Y = self.stick_x, self.stick_y
        if self.in_lane:
            self.gate_y = clamp(Y, M - H, M + H)
            dx = abs(X - self.gate_x)
            dy = abs(Y - M)
            if dy <= S and dx > dy:
                self.gate_y = M
                self.in_lane = False
        if not self.in_lane:
            self.gate_x = clamp(X, M - W, M + W)
            L = candidate_lane(self.gate_x, W, S)
            if M - W <= X <= M + W:
                dx = abs(X - L)
            else:
                dx = 0
            dy = abs(Y - M)
            if dx <= S and dx < dy:
                self.gate_x = L
                self.in_lane = True

    def update_hole(self):
        c = self.cfg
        W, H = c["JOY_GEAR_WIDTH"], c["JOY_GEAR_HEIGHT"]
        if self.gate_x <= M - half(W):
            self.hole_x = M - W
        elif self.gate_x >= M + half(W):
            self.hole_x = M + W
        else:
            self.hole_x = M
        if self.gate_y <= M - half(H):
            self.hole_y = M - H
        elif self.gate_y >= M + half(H):
            self.hole_y = M + H
        else:
            self.hole_y = M

    def update_switch(self, buttons):
        c = self.cfg
        b = False
        sb = c["SWITCH_BUTTON"]
        if sb == 1:
            b = buttons != 0
        elif 2 <= sb <= 33:
            b = (buttons >> (sb - 2)) & 1 == 1
        lo, hi = c["SWITCH_B_MIN"], c["SWITCH_B_MAX"]
        if lo != hi and lo <= self.switch_axis <= hi:
            b = True
        self.bstate = b

    def decide_gear(self):
        c = self.cfg
        W, H = c["JOY_GEAR_WIDTH"], c["JOY_GEAR_HEIGHT"]
        hx, hy = self.hole_x, self.hole_y
        if hy == M - H:
            if self.bstate:
                self.latched = True
            self.flags = 4
            if hx == M - W:
                self.gear = 0 if self.latched else 1
            elif hx == M:
                self.gear = 3
            elif hx == M + W:
                self.gear = 5
        elif hy == M + H:
            if self.bstate:
                self.latched = True
            self.flags = 4
            if hx == M - W:
                self.gear = 2
            elif hx == M:
                self.gear = 4
            elif hx == M + W:
                self.gear = 7 if self.latched else 6
        else:
            self.latched = self.bstate
            if hx == M - W:
                if not self.flags & 4:
                    self.flags |= 1
            elif hx == M:
                self.flags &= ~4
            elif hx == M + W:
                if not self.flags & 4:
                    self.flags |= 2
            if c["FORCE_FEEDBACK"] or not c["AUTOCENTER_NEUTRAL"] or self.flags == 3:
                self.gear = -1
                self.flags = 0

    # ---- keystroke output ---------------------------------------------
    def send_gear_keys(self, keys):
        c = self.cfg
        mode = c["SYM_TYPE"]

        def press(i):
            keys.append({"vk": c.vk[i], "scan": c.scan[i], "down": True})

        def release(i):
            keys.append({"vk": c.vk[i], "scan": c.scan[i], "down": False})

        def wait(ms):
            if ms > 0:
                keys.append({"wait": ms})

        def tap(i):
            press(i)
            wait(c["SYM_KEY_TIME"])
            release(i)

        if mode == 0:
            if self.sent >= 0:
                release(self.sent)
            if self.gear >= 0:
                press(self.gear)
            self.sent = self.gear
        elif mode == 1:
            tap(self.gear if self.gear >= 0 else 8)
            self.sent = self.gear
        elif mode == 2:
            a = gear_letter(self.sent)
            b = gear_letter(self.gear)
            seq = c.seq
            j = seq.find(b)
            if j < 0:
                self.gear = self.sent
                return
            i = seq.find(a)
            if i < 0:
                self.sent = self.gear
                return
            entry = 9 if i < j else 10
            n = abs(i - j)
            for k in range(n):
                tap(entry)
                if k != n - 1:
                    wait(c["SYM_SPACE_TIME"])
            self.sent = self.gear
        # any other mode: nothing

    # ---- effects -------------------------------------------------------
    def effect_params(self):
        c = self.cfg
        W, S = c["JOY_GEAR_WIDTH"], c["GEAR_CROSS_SIZE"]
        gx, gy, hx, hy = self.gate_x, self.gate_y, self.hole_x, self.hole_y
        near_neutral = abs(gy - M) < S
        lane_x = candidate_lane(gx, W, S)
        near_lane = abs(gx - lane_x) < S

        def cond(offset, coeff, sat, deadband):
            return {"offset": offset, "coeff": coeff, "sat": sat, "deadband": deadband}

        cf, cs = c["GEAR_CROSS_FORCE"], c["GEAR_CROSS_SATURATION"]
        cross = {
            "x": cond(0 if near_neutral else to_condition_units(M - gx), cf, cs,
                      c["GEAR_FORCE_DEATH_FREE_X"] if near_neutral else c["GEAR_FORCE_DEATH_NOFREE_X"]),
            "y": cond(0, cf, cs,
                      c["GEAR_FORCE_DEATH_FREE_Y"] if near_lane else c["GEAR_FORCE_DEATH_NOFREE_Y"]),
        }
        on_line = hy == M
        hole = {
            "x": cond(to_condition_units(M - hx), c["GEAR_HOLE_FORCE_X"], c["GEAR_HOLE_SATURATION_X"],
                      10000 if on_line else c["GEAR_FORCE_DEATH_NOFREE_X"]),
            "y": cond(to_condition_units(hy - M), c["GEAR_HOLE_FORCE_Y"], c["GEAR_HOLE_SATURATION_Y"],
                      10000 if on_line else c["GEAR_FORCE_DEATH_NOFREE_Y"]),
        }
        center = {
            "x": cond(0, c["GEAR_CENTER_FORCE_X"], c["GEAR_CENTER_SATURATION_X"],
                      c["GEAR_FORCE_DEATH_NOFREE_X"] if on_line else 10000),
            "y": cond(0, c["GEAR_CENTER_FORCE_Y"], c["GEAR_CENTER_SATURATION_Y"],
                      c["GEAR_FORCE_DEATH_NOFREE_Y"] if on_line else 10000),
        }
        # The player's corrections: an inverted axis has its centres on the other side, and every
        # force and saturation is FF_STRENGTH percent of itself, rounded half away from zero.
        pct = max(0, min(100, c["FF_STRENGTH"]))

        def pct_of(v):
            q = (abs(v) * pct * 2 + 100) // 200
            return q if v >= 0 else -q

        for eff in (cross, hole, center):
            for axis, inv in (("x", c["FF_INVERT_X"]), ("y", c["FF_INVERT_Y"])):
                k = eff[axis]
                eff[axis] = cond(-k["offset"] if inv else k["offset"], pct_of(k["coeff"]),
                                 pct_of(k["sat"]), k["deadband"])
        return {"cross": cross, "cross2": cross, "hole": hole, "center": center}

    # ---- one poll step ---------------------------------------------------
    def step(self, sample):
        """sample: None for a failed read, else a list of 9 ints
        [X, Y, Z, Rx, Ry, Rz, S0, S1, B]. Returns the tick's JSON object."""
        self.tick += 1
        keys = []
        if sample is None:
            # Reads failing for 500 ms of ticks in a row: the stick counts as lost, the key held
            # for the gear (mode 0) and the H-shifter's button come up, and the sent gear is
            # neutral, so that the gear in is sent again once reads work.
            self.failed_ms = min(self.failed_ms + self.tick_ms, 500)
            if self.failed_ms >= 500:
                if self.cfg["SYM_TYPE"] == 0 and self.sent >= 0:
                    c = self.cfg
                    keys.append({"vk": c.vk[self.sent], "scan": c.scan[self.sent], "down": False})
                self.sent = -1
                self.buttons = []
            effects = {name: None for name in self.effect_names}
            return self.snapshot(False, keys, effects)
        self.failed_ms = 0
        c = self.cfg
        x, y = sample[0], sample[1]
        if c["SWITCH_XY"]:
            x, y = y, x
        if c["REVERSE_X"]:
            x = 65534 - x
        if c["REVERSE_Y"]:
            y = 65534 - y
        self.stick_x, self.stick_y = x, y
        axe = c["SWITCH_B_AXE"]
        if axe == 0:
            self.switch_axis = 0
        elif 1 <= axe <= 6:
            self.switch_axis = sample[1 + axe]  # Z Rx Ry Rz S0 S1
        self.track_gate()
        self.update_switch(sample[8])
        self.decide_gear()
        if self.sent != self.gear:
            self.send_gear_keys(keys)
        # The H-shifter holds one button for the gear in after the keys: 1-7, 8 for R, none in N.
        if c["VIRTUAL_SHIFTER"] and self.gear in range(0, 8):
            self.buttons = [self.gear or 8]
        else:
            self.buttons = []
        self.update_hole()
        params = self.effect_params()
        effects = {}
        for name in self.effect_names:
            effects[name] = None if name == "damper" else params[name]
        return self.snapshot(True, keys, effects)

    def snapshot(self, read, keys, effects):
        return {
            "tick": self.tick,
            "read": read,
            "stick": [self.stick_x, self.stick_y],
            "switch_axis": self.switch_axis,
            "mode": "lane" if self.in_lane else "neutral",
            "gate": [self.gate_x, self.gate_y],
            "hole": [self.hole_x, self.hole_y],
            "bstate": self.bstate,
            "latched": self.latched,
            "flags": self.flags,
            "gear": self.gear,
            "sent": self.sent,
            "keys": keys,
            "effects": effects,
            "buttons": list(self.buttons),
        }


# --------------------------------------------------------------------------
# Trace reading
# --------------------------------------------------------------------------

class TraceError(Exception):
    def __init__(self, line_number, why):
        super().__init__("line %d: %s" % (line_number, why))
        self.line_number = line_number


def _parse_signed_decimal(tok):
    body = tok[1:] if tok[:1] in ("-", "+") else tok
    if not body or not body.isascii() or not body.isdigit():
        return None
    v = int(tok)
    return v if INT32_MIN <= v <= INT32_MAX else None


def _parse_buttons(tok):
    if tok[:2] in ("0x", "0X"):
        body = tok[2:]
        if not body or any(ch not in "0123456789abcdefABCDEF" for ch in body):
            return None
        v = int(body, 16)
    else:
        if not tok.isascii() or not tok.isdigit():
            return None
        v = int(tok)
    return v if 0 <= v <= 0xFFFFFFFF else None


TRACE_BLANKS = " \t\r\v\f"  # ASCII white space only


def parse_trace(text):
    """Returns (samples, error): samples is a list of tick entries (None for a
    failed read, else 9 ints); error is a TraceError for the first bad line
    (the samples before it are kept) or None."""
    samples = []
    for n, line in enumerate(text.split("\n"), start=1):
        stripped = line.strip(TRACE_BLANKS)
        if stripped == "" or stripped.startswith("#"):
            continue
        if stripped == "fail":
            samples.append(None)
            continue
        toks = re.split("[%s]+" % TRACE_BLANKS, stripped)
        if len(toks) > 9:
            return samples, TraceError(n, "more than 9 fields")
        vals = []
        for k, tok in enumerate(toks):
            v = _parse_buttons(tok) if k == 8 else _parse_signed_decimal(tok)
            if v is None:
                return samples, TraceError(n, "bad field %r" % tok)
            vals.append(v)
        vals += [32767] * (8 - min(len(vals), 8))
        if len(vals) < 9:
            vals.append(0)
        samples.append(vals)
    return samples, None


def run(settings_pairs, trace_text):
    """Model of `kestrane-cli replay --jsonl --set ...`: returns
    (list of tick objects, TraceError or None)."""
    cfg = settings_from_overrides(settings_pairs)
    model = Model(cfg)
    samples, err = parse_trace(trace_text)
    return [model.step(s) for s in samples], err


def main(argv):
    pairs = []
    trace = None
    i = 0
    while i < len(argv):
        a = argv[i]
        if a == "--set":
            if i + 1 >= len(argv) or "=" not in argv[i + 1]:
                print("--set needs KEY=VALUE", file=sys.stderr)
                return 2
            k, _, v = argv[i + 1].partition("=")
            pairs.append((k, v))
            i += 2
            continue
        if a == "--jsonl":
            i += 1
            continue
        trace = a
        i += 1
    text = sys.stdin.read() if trace in (None, "-") else open(trace).read()
    try:
        ticks, err = run(pairs, text)
    except UnknownKey as e:
        print("unknown key %s" % e, file=sys.stderr)
        return 2
    for t in ticks:
        print(json.dumps(t, separators=(",", ":")))
    if err:
        print(str(err), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
