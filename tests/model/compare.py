#!/usr/bin/env python3
"""Compares `kestrane-cli replay --jsonl` with an independent model of
Kestrane's shifting core (shifter_model.py), tick by tick and member by member.

    python3 compare.py [KESTRANE_CLI] [--seed N] [--cases N] [--case K] [--verbose]

KESTRANE_CLI defaults to the environment variable of that name. The run is
seeded and reproducible (default seed below, or MODEL_SEED). It runs:
  * fixed cases: the worked examples of the documented behaviour, each checked
    against its documented values (in the model and in the tool) and compared
    model against tool;
  * generated cases: random settings (through --set, in every accepted and
    some rejected number spellings) and random stick traces aimed at the
    pattern's lanes, slots, crossings, exact ties and extremes;
  * a few malformed traces and a bad --set key (exit status and output cut).
For every differing case it prints the first differing tick and member, the
trace file written for it, and the command that reproduces it. Exit status 1
on any difference, 0 otherwise.
"""

import json
import os
import random
import shlex
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import shifter_model as sm  # noqa: E402

M = sm.M
I32MIN, I32MAX = sm.INT32_MIN, sm.INT32_MAX
DEFAULT_SEED = 20261208
DEFAULT_CASES = 320
MAX_TICKS = 200
MEMBERS = ["tick", "read", "stick", "switch_axis", "mode", "gate", "hole", "bstate",
           "latched", "flags", "gear", "sent", "keys", "effects", "buttons"]


# --------------------------------------------------------------------------
# Running the tool and the model
# --------------------------------------------------------------------------

def set_args(pairs):
    out = []
    for k, v in pairs:
        out += ["--set", "%s=%s" % (k, v)]
    return out


SECTION_OF = {k: "MAIN" for k in list(sm.MAIN_DEFAULTS) + ["JOYSTICK"]}
SECTION_OF.update({k: "KEYBOARD" for k in list(sm.KEYBOARD_DEFAULTS) + ["SYM_SEQUENCE"]})


def settings_file_text(file_pairs):
    """A settings file holding file_pairs (unique keys) in their sections."""
    out = []
    for section in ("MAIN", "KEYBOARD"):
        out.append("[%s]" % section)
        out += ["%s=%s" % (k, v) for k, v in file_pairs if SECTION_OF[k.upper()] == section]
    return "\n".join(out) + "\n"


def run_tool(cli, pairs, trace_text, file_pairs=None):
    cmd = [cli, "replay", "--jsonl"]
    path = None
    if file_pairs is not None:
        fd, path = tempfile.mkstemp(prefix="kestrane-model-", suffix=".ini")
        content = settings_file_text(file_pairs).encode("utf-8")
        with os.fdopen(fd, "wb") as f:
            f.write(content)
        cmd += ["--settings", path]
    cmd += set_args(pairs) + ["-"]
    try:
        p = subprocess.run(cmd, input=trace_text.encode("utf-8"), stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=60)
        if path is not None:
            with open(path, "rb") as f:
                if f.read() != content:
                    return p.returncode, [], "", "--settings FILE was written to"
    finally:
        if path is not None:
            os.unlink(path)
    ticks = []
    bad = None
    for n, line in enumerate(p.stdout.decode("utf-8", "replace").splitlines(), 1):
        try:
            ticks.append(json.loads(line))
        except ValueError:
            bad = "output line %d is not JSON: %r" % (n, line[:200])
            break
    return p.returncode, ticks, p.stderr.decode("utf-8", "replace"), bad


def run_model(pairs, trace_text):
    try:
        ticks, err = sm.run(pairs, trace_text)
    except sm.UnknownKey:
        return "unknown-key", [], None
    return ("trace-error" if err else "ok"), ticks, err


def first_difference(path, want, got):
    """Returns (path, model value, tool value) of the first difference, or None."""
    if isinstance(want, dict):
        if not isinstance(got, dict):
            return path, want, got
        for k in want:
            if k not in got:
                return "%s.%s" % (path, k), want[k], "<missing>"
            d = first_difference("%s.%s" % (path, k), want[k], got[k])
            if d:
                return d
        extra = [k for k in got if k not in want]
        if extra and path.startswith("effects"):
            # The set of effects is part of the contract: no unexpected one.
            return "%s.%s" % (path, extra[0]), "<absent>", got[extra[0]]
        return None
    if isinstance(want, list):
        if not isinstance(got, list):
            return path, want, got
        for i, (a, b) in enumerate(zip(want, got)):
            d = first_difference("%s[%d]" % (path, i), a, b)
            if d:
                return d
        if len(want) != len(got):
            return path + ".length", len(want), len(got)
        return None
    if type(want) is not type(got) or want != got:
        return path, want, got
    return None


def as_loaded_from_file(file_pairs):
    """The file's values as the load takes them: a negative cross width, height or size cannot
    describe a pattern and reads as its default (values given by --set are taken as they are)."""
    out = []
    for k, v in file_pairs or []:
        if k.upper() in ("JOY_GEAR_WIDTH", "JOY_GEAR_HEIGHT", "GEAR_CROSS_SIZE"):
            n = sm.parse_setting_number(sm.seen_value_text(v))
            if n is not None and n < 0:
                v = str(sm.INT_DEFAULTS[k.upper()])
        out.append((k, v))
    return out


def compare_case(cli, pairs, trace_text, file_pairs=None):
    """Returns None when the tool matches the model, else a description.
    file_pairs: settings given through a --settings file (loaded before the
    --set pairs), or None for no file."""
    status, mticks, merr = run_model(as_loaded_from_file(file_pairs) + pairs, trace_text)
    rc, tticks, stderr, bad = run_tool(cli, pairs, trace_text, file_pairs)
    if bad:
        return bad
    if status == "unknown-key":
        if rc != 2 or tticks:
            return "unknown --set key: want exit 2 and no output, got exit %d and %d lines" % (
                rc, len(tticks))
        return None
    for i, want in enumerate(mticks):
        if i >= len(tticks):
            return "tick %d: missing in the tool's output (model has %d ticks, tool %d; exit %d; stderr %r)" % (
                i + 1, len(mticks), len(tticks), rc, stderr.strip()[:200])
        got = tticks[i]
        for m in MEMBERS:
            d = first_difference(m, want[m], got.get(m, "<missing>"))
            if d:
                return "tick %d: member %s: model %s, tool %s" % (
                    i + 1, d[0], json.dumps(d[1]), json.dumps(d[2]))
    if len(tticks) > len(mticks):
        return "tool printed %d ticks, model %d" % (len(tticks), len(mticks))
    if status == "trace-error":
        if rc != 2:
            return "malformed line %d: want exit 2, got %d" % (merr.line_number, rc)
        if str(merr.line_number) not in stderr.replace(":", " ").replace(",", " ").split():
            return "malformed line %d: stderr does not name the line: %r" % (
                merr.line_number, stderr.strip()[:200])
    elif rc != 0:
        return "exit status %d (stderr %r), model expects 0" % (rc, stderr.strip()[:200])
    return None


# --------------------------------------------------------------------------
# Random settings
# --------------------------------------------------------------------------

def spell_number(rng, v):
    """A text that the settings reading must read as v (a valid int32)."""
    r = rng.random()
    if r < 0.55:
        t = str(v)
    elif r < 0.65:
        t = ("+%d" % v) if v >= 0 else str(v)
    elif r < 0.90:
        prefix = rng.choice(["$", "x", "0x", "X", "0X"])
        digits = "%x" % abs(v)
        if rng.random() < 0.5:
            digits = digits.upper()
        if rng.random() < 0.2:
            digits = "0" + digits
        t = ("-" if v < 0 else rng.choice(["", "", "+"])) + prefix + digits
    else:
        t = ("-" if v < 0 else "") + "00" + str(abs(v))
    if rng.random() < 0.15:
        t = rng.choice([" ", "  ", "\t"]) + t
    if rng.random() < 0.1:
        t = t + rng.choice([" ", "\t "])
    return t


JUNK = ["abc", "", " ", "12a", "0x", "$", "x", "-", "+", "2147483648", "-2147483649",
        "0x80000000", "0xFFFFFFFF", "$100000000", "1.5", "1e3", "--1", "0x-1", "5 5",
        "0x1G", "+-3", "\u0661\u0662", "0" * 2040 + "12345678"]


def value_text(rng, v):
    if rng.random() < 0.06:
        return rng.choice(JUNK)
    return spell_number(rng, v)


def pick(rng, choices, weights=None):
    return rng.choices(choices, weights=weights)[0]


def random_size(rng, default):
    return pick(rng, [
        default, default, default, default,
        rng.randint(0, 32767), 0, 1, 2, 3, -1, -2, 32767, 32000, 65534, 65535,
        rng.randint(-40000, 0), 2147483647, -2147483648, 2147483646,
        rng.randint(I32MIN, I32MAX), rng.randint(100, 8000),
        32767 * rng.choice([1, 2, 3, -1, -2, 65537, -65537, rng.randint(-65537, 65537)]),
        32767 * rng.randint(-65537, 65537) + rng.choice([-1, 1])])


def random_force(rng, default):
    return pick(rng, [default, default, default, rng.randint(0, 10000), 0, 10000,
                      -1, rng.randint(I32MIN, I32MAX), I32MAX, I32MIN])


def random_sequence(rng):
    letters = list("RN1234567")
    r = rng.random()
    if r < 0.25:
        return "RN1234567"
    if r < 0.45:
        rng.shuffle(letters)
        return "".join(letters)
    if r < 0.7:  # missing letters
        k = rng.randint(0, 8)
        return "".join(rng.sample(letters, k))
    if r < 0.9:  # repeated letters
        return "".join(rng.choice(letters) for _ in range(rng.randint(1, 12)))
    return pick(rng, ["", " ", "  RN1234567", "\tN1234567R ", "RN12345678", "123456789R", " R N 1 2 ", "rn1234567",
                      "NR7654321", "N1N2N3N4N5", "R" * 12])


def random_settings(rng):
    """A list of (KEY, VALUE text) overrides, in order."""
    p = []

    def add(key, v, junk=True):
        p.append((key, value_text(rng, v) if junk else spell_number(rng, v)))

    def maybe(prob, key, v):
        if rng.random() < prob:
            add(key, v)

    # shifting mode and keys
    add("SYM_TYPE", pick(rng, [0, 1, 2, 3, -1, 7], [3, 3, 4, 1, 0.5, 0.5]))
    if rng.random() < 0.8:
        p.append(("SYM_SEQUENCE", random_sequence(rng)))
    maybe(0.4, "SYM_KEY_TIME", pick(rng, [0, 10, -5, 1, 250, I32MIN, rng.randint(0, 100)]))
    maybe(0.4, "SYM_SPACE_TIME", pick(rng, [0, 10, -1, 3, I32MAX, rng.randint(0, 100)]))
    for i in range(11):
        if rng.random() < 0.12:
            add("KEY_CODE%d" % i, pick(rng, [rng.randint(0, 255), 300, -1, 256, 511,
                                              rng.randint(I32MIN, I32MAX)]))
        if rng.random() < 0.12:
            add("SCAN_CODE%d" % i, pick(rng, [rng.randint(0, 255), -200, 0x1FF,
                                               rng.randint(I32MIN, I32MAX)]))
    # neutral handling and effects
    add("FORCE_FEEDBACK", pick(rng, [0, 1, 2, -7], [5, 5, 1, 1]))
    add("AUTOCENTER_NEUTRAL", pick(rng, [0, 1, 3], [3, 5, 1]))
    for k in ("CROSS_ENABLED", "HOLE_ENABLED", "CENTER_ENABLED", "DAMPER_ENABLED"):
        maybe(0.6, k, pick(rng, [0, 1, 5, -1], [4, 4, 1, 1]))
    maybe(0.5, "GEAR_CROSS_FORCE_COUNT", pick(rng, [0, 1, 2, 3, -1, -100, 100, I32MAX, I32MIN]))
    for k, d in (("GEAR_CROSS_FORCE", 5000), ("GEAR_CROSS_SATURATION", 5000),
                 ("GEAR_FORCE_DEATH_FREE_X", 2250), ("GEAR_FORCE_DEATH_NOFREE_X", 200),
                 ("GEAR_FORCE_DEATH_FREE_Y", 5000), ("GEAR_FORCE_DEATH_NOFREE_Y", 700),
                 ("GEAR_HOLE_FORCE_X", 2000), ("GEAR_HOLE_SATURATION_X", 2000),
                 ("GEAR_HOLE_FORCE_Y", 5000), ("GEAR_HOLE_SATURATION_Y", 5000),
                 ("GEAR_CENTER_FORCE_X", 10000), ("GEAR_CENTER_FORCE_Y", 10000),
                 ("GEAR_CENTER_SATURATION_X", 3000), ("GEAR_CENTER_SATURATION_Y", 3000),
                 ("GEAR_DAMPER_FORCE", 500), ("GEAR_DAMPER_SATURATION", 1000)):
        maybe(0.15, k, random_force(rng, d))
    # pattern
    if rng.random() < 0.55:
        add("JOY_GEAR_WIDTH", random_size(rng, 21298))
    if rng.random() < 0.55:
        add("JOY_GEAR_HEIGHT", random_size(rng, 16383))
    if rng.random() < 0.45:
        add("GEAR_CROSS_SIZE", pick(rng, [4000, 0, 1, -1, -4000, 100, 16383, 32767, 40000,
                                          I32MAX, I32MIN, rng.randint(0, 20000)]))
    # axes and switch
    for k in ("SWITCH_XY", "REVERSE_X", "REVERSE_Y", "POOLED_DEVICE", "EXCLUSIVE_ACCESS"):
        maybe(0.25, k, pick(rng, [0, 1, 2]))
    maybe(0.6, "SWITCH_BUTTON", pick(rng, [0, 1, 2, 3, 17, 33, 34, -1, rng.randint(2, 33)]))
    maybe(0.5, "SWITCH_B_AXE", pick(rng, [0, 1, 2, 3, 4, 5, 6, 7, -1, 1000]))
    if rng.random() < 0.5:
        lo = pick(rng, [10000, -32000, 0, 32767, rng.randint(-40000, 70000), I32MIN])
        hi = pick(rng, [32000, lo, lo + 1, lo - 1, 65535, rng.randint(-40000, 70000), I32MAX])
        hi = max(I32MIN, min(I32MAX, hi))
        add("SWITCH_B_MIN", lo)
        add("SWITCH_B_MAX", hi)
    maybe(0.1, "CHECK_INTERVAL", rng.randint(-5, 100))
    if rng.random() < 0.05:
        p.append(("JOYSTICK", "Some Stick"))
    if rng.random() < 0.05:  # a repeated key: the last one counts
        add("SYM_TYPE", pick(rng, [0, 1, 2]))
    if rng.random() < 0.05:
        k, v = p[rng.randrange(len(p))]
        p.append((k.lower(), v))
    rng.shuffle(p)
    return p


# --------------------------------------------------------------------------
# Random traces
# --------------------------------------------------------------------------

class TraceMaker:
    def __init__(self, rng, cfg):
        self.rng = rng
        self.cfg = cfg
        c = cfg
        self.W, self.H, self.S = c["JOY_GEAR_WIDTH"], c["JOY_GEAR_HEIGHT"], c["GEAR_CROSS_SIZE"]
        W, H, S = self.W, self.H, self.S
        hw, hh = sm.half(W), sm.half(H)
        self.xs = [M, M - W, M + W, M - W + S, M + W - S, M - W + S + 1, M + W - S - 1,
                   M - hw, M + hw, M - hw + 1, M + hw - 1, M - S, M + S, M - S - 1, M + S + 1,
                   M - W - 1, M + W + 1, 0, 65534, 65535, 1, I32MIN, I32MAX, -1]
        self.ys = [M, M - H, M + H, M - hh, M + hh, M - hh + 1, M + hh - 1, M - S, M + S,
                   M - S - 1, M + S + 1, M - S + 1, M + S - 1, 0, 65534, 65535, I32MIN, I32MAX,
                   M - H - 1, M + H + 1]
        self.lanes = [M - W, M, M + W]
        self.rows = [M - H, M + H]
        self.other_axes = [M, 0, 65535, c["SWITCH_B_MIN"], c["SWITCH_B_MAX"],
                           c["SWITCH_B_MIN"] - 1, c["SWITCH_B_MAX"] + 1, I32MIN, I32MAX]
        self.button = 0

    def raw(self, x, y):
        """Raw X, Y that normalise to (x, y) under the swap/mirror settings."""
        c = self.cfg
        if c["REVERSE_X"]:
            x = 65534 - x
        if c["REVERSE_Y"]:
            y = 65534 - y
        if c["SWITCH_XY"]:
            x, y = y, x
        return (max(I32MIN, min(I32MAX, x)), max(I32MIN, min(I32MAX, y)))

    def jitter(self, v, amount):
        return v + self.rng.randint(-amount, amount) if amount > 0 else v

    def next_button(self):
        rng = self.rng
        r = rng.random()
        if r < 0.75:
            return self.button
        if r < 0.85:
            self.button = 0
        elif r < 0.93:
            self.button = 1 << rng.randrange(32)
        else:
            self.button = rng.choice([1, 2, 0x80000000, 0xFFFFFFFF, rng.getrandbits(32)])
        return self.button

    def line(self, x, y):
        rng = self.rng
        rx, ry = self.raw(x, y)
        rest = []
        for _ in range(6):
            rest.append(rng.choice(self.other_axes) if rng.random() < 0.3
                        else rng.randint(0, 65535) if rng.random() < 0.3 else 32767)
        rest = [max(I32MIN, min(I32MAX, v)) for v in rest]
        b = self.next_button()
        fields = [str(rx), str(ry)] + [str(v) for v in rest]
        fields.append(("0x%x" % b) if rng.random() < 0.3 else str(b))
        # drop trailing fields that equal their defaults (sometimes)
        if rng.random() < 0.5:
            while len(fields) > 1:
                default = "0" if len(fields) == 9 else "32767"
                if fields[-1] in (default, "0x0") and (len(fields) == 9 or fields[-1] == default):
                    fields.pop()
                else:
                    break
        sep = " " if rng.random() < 0.85 else rng.choice(["\t", "  ", " \t "])
        text = sep.join(fields)
        if rng.random() < 0.05:
            text = " " + text + " "
        return text

    def gesture(self):
        """A short movement: (x, y) points."""
        rng = self.rng
        kind = rng.random()
        pts = []
        if kind < 0.35:  # into a slot by the lanes
            lane = rng.choice(self.lanes)
            row = rng.choice(self.rows)
            j = rng.choice([0, 0, 50, 2000])
            pts += [(M, M)] * rng.randint(0, 2)
            pts += [(self.jitter(lane, j), M)] * rng.randint(1, 3)
            pts += [(self.jitter(lane, j), self.jitter((M + row) // 2, j))] * rng.randint(0, 2)
            pts += [(self.jitter(lane, j), self.jitter(row, j))] * rng.randint(1, 4)
            if rng.random() < 0.5:  # beyond the row
                pts.append((lane, rng.choice([0, 65535, I32MIN, I32MAX])))
            pts += [(self.jitter(lane, j), M)] * rng.randint(0, 2)
        elif kind < 0.5:  # along the neutral line
            for _ in range(rng.randint(2, 6)):
                pts.append((rng.choice(self.xs + [rng.randint(0, 65535)]),
                            self.jitter(M, rng.choice([0, 0, 1, 100, self.S]))))
        elif kind < 0.65:  # exact ties dx == dy near a lane
            lane = rng.choice(self.lanes)
            for _ in range(rng.randint(2, 5)):
                d = rng.choice([0, 1, self.S, self.S - 1, self.S + 1, rng.randint(0, 5000)])
                pts.append((lane + rng.choice([-d, d]), M + rng.choice([-d, d])))
        elif kind < 0.85:  # interesting points
            for _ in range(rng.randint(1, 6)):
                pts.append((rng.choice(self.xs), rng.choice(self.ys)))
        else:  # anywhere
            for _ in range(rng.randint(1, 5)):
                if rng.random() < 0.7:
                    pts.append((rng.randint(0, 65535), rng.randint(0, 65535)))
                else:
                    pts.append((rng.randint(I32MIN, I32MAX), rng.randint(I32MIN, I32MAX)))
        return pts

    def trace(self, n_ticks):
        rng = self.rng
        lines = []
        if rng.random() < 0.3:
            lines.append("# generated trace")
        ticks = 0
        while ticks < n_ticks:
            for (x, y) in self.gesture():
                if ticks >= n_ticks:
                    break
                r = rng.random()
                if r < 0.04:
                    lines.append(rng.choice(["fail", " fail", "fail\t", "  fail  "]))
                    ticks += 1
                    continue
                if r < 0.06:
                    lines.append(rng.choice(["", "   ", "# comment", "  # 1 2 3", "\t"]))
                lines.append(self.line(x, y))
                ticks += 1
        return "\n".join(lines) + ("\n" if rng.random() < 0.9 else "")


BAD_LINES = ["1 2 banana", "1 2 3 4 5 6 7 8 9 10", "2147483648", "-2147483649 0",
             "0 0 0 0 0 0 0 0 -1", "0 0 0 0 0 0 0 0 4294967296", "0 0 0 0 0 0 0 0 0x100000000",
             "0x10 0", "1,2", "fail 1", "1.5 2", "x", "12 3 # comment", "failed"]


def generated_case(seed, k):
    """Case k of the seeded run: (--set pairs, trace text, file pairs or None)."""
    rng = random.Random("%d/%d" % (seed, k))
    pairs = random_settings(rng)
    cfg = sm.settings_from_overrides(pairs)
    maker = TraceMaker(rng, cfg)
    n = rng.choice([rng.randint(1, 30), rng.randint(20, 120), rng.randint(100, MAX_TICKS)])
    trace = maker.trace(n)
    if rng.random() < 0.06:  # a malformed line somewhere
        lines = trace.split("\n")
        lines.insert(rng.randint(0, len(lines)), rng.choice(BAD_LINES))
        trace = "\n".join(lines)
    file_pairs = None
    if rng.random() < 0.12:
        # Some of the settings come from a --settings file instead (one value a key;
        # the --set overrides that stay on the command line are applied after it).
        last = {}
        for key, v in pairs:
            last[key.upper()] = (key, v)
        moved = [kv for kv in last.values() if rng.random() < 0.7 and "\n" not in kv[1]]
        moved_keys = {kv[0].upper() for kv in moved}
        file_pairs = moved
        pairs = [kv for kv in pairs if kv[0].upper() not in moved_keys or rng.random() < 0.1]
    # The virtual H-shifter switch, drawn apart so that the cases above stay as they were.
    srng = random.Random("%d/%d/shifter" % (seed, k))
    if srng.random() < 0.6:
        kv = ("VIRTUAL_SHIFTER", value_text(srng, pick(srng, [1, 0, 2, -1], [6, 2, 1, 1])))
        if file_pairs is not None and srng.random() < 0.5:
            file_pairs.append(kv)
        else:
            pairs.append(kv)
    # The force-feedback corrections, drawn apart as well.
    frng = random.Random("%d/%d/ff" % (seed, k))
    for key, values, weights in (("FF_INVERT_X", [1, 0, 3], [3, 2, 1]),
                                 ("FF_INVERT_Y", [1, 0, -1], [3, 2, 1]),
                                 ("FF_STRENGTH", [0, 1, 33, 50, 99, 100, 101, -5, 250],
                                  [1, 1, 2, 2, 1, 1, 1, 1, 1])):
        if frng.random() < 0.4:
            pairs.append((key, value_text(frng, pick(frng, values, weights))))
    return pairs, trace, file_pairs


# --------------------------------------------------------------------------
# Fixed cases: the worked examples
# --------------------------------------------------------------------------

def _eq(ticks, n, member, value):
    got = ticks[n - 1][member]
    assert got == value, "tick %d %s: %r, documented %r" % (n, member, got, value)


def _keys(ticks, n, value):
    _eq(ticks, n, "keys", value)


def K(vk, scan, down):
    return {"vk": vk, "scan": scan, "down": down}


def WAIT(ms):
    return {"wait": ms}


def _cond(t, eff, axis):
    return t["effects"][eff][axis]


def fixed_cases():
    """(name, settings pairs, trace, check(ticks) or None)."""
    cases = []

    def case(name, pairs, trace, check=None):
        cases.append((name, pairs, trace, check))

    # Polling cycle
    def c_swap(t):
        _eq(t, 1, "stick", [65334, 100])
    case("swap and mirror X of (100, 200)", [("SWITCH_XY", "1"), ("REVERSE_X", "1")], "100 200\n", c_swap)

    def c_mirror_mid(t):
        _eq(t, 1, "stick", [32767, 500])
    case("mirror X of 32767", [("REVERSE_X", "1")], "32767 500\n", c_mirror_mid)

    def c_axe0(t):
        for n in (1, 2):
            _eq(t, n, "switch_axis", 0)
    case("switch axis disabled", [("SWITCH_B_AXE", "0")], "1 2 3 4 5 6 7 8\n1 2 3\n", c_axe0)

    def c_axe7(t):
        for n in (1, 2):
            _eq(t, n, "switch_axis", 0)
    case("switch axis 7 keeps 0", [("SWITCH_B_AXE", "7")], "1 2 3 4 5 6 7 8\n1 2 3\n", c_axe7)

    for axe in range(1, 7):
        case("switch axis %d" % axe, [("SWITCH_B_AXE", str(axe))], "1 2 3 4 5 6 7 8\n",
             (lambda axe: lambda t: _eq(t, 1, "switch_axis", axe + 2))(axe))

    def c_fail(t):
        _eq(t, 3, "gear", 3)
        _eq(t, 4, "read", False)
        _eq(t, 4, "keys", [])
        for m in ("stick", "gate", "hole", "gear", "sent", "flags", "mode"):
            assert t[3][m] == t[2][m], m
        assert all(v is None for v in t[3]["effects"].values())
    case("failed read keeps everything, key stays held", [],
         "32767 0\n32767 0\n32767 0\nfail\n", c_fail)

    # Gate tracking and gear detection, defaults
    def c_up_centre(t):
        _eq(t, 1, "mode", "lane")
        _eq(t, 1, "gate", [32767, 32767])
        _eq(t, 2, "gate", [32767, 16384])
        _eq(t, 2, "hole", [32767, 16384])
        _eq(t, 2, "gear", -1)
        _eq(t, 3, "gear", 3)
    case("(32767, 0) repeated gives gear 3 on tick 3", [], "32767 0\n" * 4, c_up_centre)

    def c_left(t):
        _eq(t, 1, "mode", "lane")
        _eq(t, 1, "gate", [11469, 32767])
        _eq(t, 2, "gear", -1)
        _eq(t, 3, "gear", 1)
    case("(0, 0) repeated gives gear 1", [], "0 0\n" * 4, c_left)

    def c_left_r(t):
        _eq(t, 3, "gear", 0)
        _eq(t, 3, "latched", True)
    case("(0, 0) with a button gives R", [], "0 0 0 0 0 0 0 0 1\n" * 3, c_left_r)
    case("(0, 0), button only in the row gives R", [],
         "0 0\n0 0\n0 0 0 0 0 0 0 0 4\n0 0\n", lambda t: (_eq(t, 2, "latched", False),
                                                           _eq(t, 3, "gear", 0), _eq(t, 4, "gear", 0)))

    def c_between(t):
        _eq(t, 1, "mode", "neutral")
        _eq(t, 1, "gate", [20000, 32767])
        _eq(t, 1, "hole", [11469, 32767])
    case("(20000, 10000) stays on the neutral line", [], "20000 10000\n", c_between)

    def c_drop(t):
        _eq(t, 3, "gear", 3)
        _eq(t, 4, "mode", "neutral")
        _eq(t, 4, "gate", [20000, 32767])
    case("centre lane, (20000, 33000) drops onto the neutral line", [],
         "32767 0\n32767 0\n32767 0\n20000 33000\n", c_drop)

    def c_tie(t):
        _eq(t, 1, "mode", "neutral")   # dx = dy = 1000 at the centre lane: no entry
        _eq(t, 2, "mode", "lane")
        _eq(t, 3, "mode", "lane")      # in lane: dx = dy = 3000 <= S: stays
    case("dx = dy: no change of gate mode", [],
         "33767 33767\n32767 0\n35767 35767\n", c_tie)

    def c_settle(t):
        gears = [x["gear"] for x in t]
        assert len(set(gears[3:])) == 1, gears
    case("the same sample for ever settles", [], "54000 50000\n" * 12, c_settle)

    def c_seven(t):
        _eq(t, 3, "gear", 6)
        _eq(t, 4, "gear", 7)
        _eq(t, 5, "gear", 7)
        _eq(t, 6, "gear", 7)
    case("switch on in gear 6 gives 7 and holds", [],
         "65534 65534\n65534 65534\n65534 65534\n65534 65534 0 0 0 0 0 0 0x80\n65534 65534\n"
         "65534 65534\n", c_seven)

    def c_b2(t):
        _eq(t, 1, "bstate", True)
        _eq(t, 2, "bstate", False)
    case("SWITCH_BUTTON 2 tests button byte 0 only", [("SWITCH_BUTTON", "2")],
         "32767 32767 32767 32767 32767 32767 32767 32767 1\n"
         "32767 32767 32767 32767 32767 32767 32767 32767 0xFFFFFFFE\n", c_b2)

    def c_b33(t):
        _eq(t, 1, "bstate", True)
        _eq(t, 2, "bstate", False)
    case("SWITCH_BUTTON 33 tests button byte 31", [("SWITCH_BUTTON", "33")],
         "32767 32767 32767 32767 32767 32767 32767 32767 0x80000000\n"
         "32767 32767 32767 32767 32767 32767 32767 32767 0x7FFFFFFF\n", c_b33)

    def c_b34(t):
        _eq(t, 1, "bstate", False)
    case("SWITCH_BUTTON 34 tests no button", [("SWITCH_BUTTON", "34")],
         "32767 32767 32767 32767 32767 32767 32767 32767 0xFFFFFFFF\n", c_b34)

    def c_equal(t):
        _eq(t, 1, "bstate", False)
    case("SWITCH_B_MIN = SWITCH_B_MAX", [("SWITCH_BUTTON", "0"), ("SWITCH_B_AXE", "1"),
                                         ("SWITCH_B_MIN", "5"), ("SWITCH_B_MAX", "5")],
         "32767 32767 5\n", c_equal)

    def c_axis_range(t):
        for n in (1, 2):
            _eq(t, n, "bstate", True)
    case("axis disabled with a range holding 0", [("SWITCH_B_AXE", "0"), ("SWITCH_B_MIN", "-32000"),
                                                   ("SWITCH_B_MAX", "32000"), ("SWITCH_BUTTON", "0")],
         "32767 32767\n0 0\n", c_axis_range)

    manual = [("FORCE_FEEDBACK", "0"), ("AUTOCENTER_NEUTRAL", "1")]

    def c_manual(t):
        _eq(t, 3, "gear", 3)
        _eq(t, 4, "mode", "lane")
        _eq(t, 4, "gate", [32767, 32767])
        _eq(t, 4, "hole", [32767, 32767])
        _eq(t, 5, "gear", 3)
        _eq(t, 5, "mode", "neutral")
        _eq(t, 5, "gate", [11469, 32767])
        _eq(t, 5, "hole", [11469, 32767])
        _eq(t, 6, "flags", 1)
        _eq(t, 6, "gear", 3)
        _eq(t, 7, "hole", [54065, 32767])
        _eq(t, 7, "gear", 3)
        _eq(t, 8, "gear", -1)
        _eq(t, 8, "flags", 0)
        _eq(t, 8, "effects", {})
    case("manual neutral gesture", manual,
         "32767 0\n32767 0\n32767 0\n32767 32767\n0 32767\n0 32767\n65534 32767\n65534 32767\n",
         c_manual)

    def c_manual_left_only(t):
        assert all(x["gear"] == 3 for x in t[2:]), [x["gear"] for x in t]
    case("manual neutral: left column alone keeps the gear", manual,
         "32767 0\n32767 0\n32767 0\n32767 32767\n0 32767\n0 32767\n0 32767\n"
         "0 0\n0 0\n0 0\n0 32767\n65534 32767\n65534 32767\n", None)

    def c_ff_on(t):
        _eq(t, 5, "gear", -1)
    case("force feedback on: N on the neutral line", [("AUTOCENTER_NEUTRAL", "1")],
         "32767 0\n32767 0\n32767 0\n32767 32767\n32767 32767\n", c_ff_on)

    # Keystroke output
    def c_m0(t):
        _keys(t, 3, [K(0x38, 0x09, True)])
        n_tick = next(i for i, x in enumerate(t) if i > 3 and x["gear"] == -1) + 1
        _keys(t, n_tick, [K(0x38, 0x09, False)])
        last = t[-1]
        assert last["gear"] == 3 and last["sent"] == 3
        pressed = [x for x in t if x["keys"] == [K(0x33, 0x04, True)]]
        assert len(pressed) == 1
    case("mode 0: R to 3 through N", [("SYM_TYPE", "0")],
         "0 0 0 0 0 0 0 0 1\n" * 3 + "0 32767\n32767 32767\n32767 32767\n" + "32767 0\n" * 3,
         c_m0)

    def c_m0_down(t):
        _eq(t, 3, "gear", 1)
        idx = [i for i, x in enumerate(t) if x["gear"] == 2]
        assert idx, "never gear 2"
        _keys(t, idx[0] + 1, [K(0x31, 0x02, False), K(0x32, 0x03, True)])
    case("mode 0, manual neutral: 1 to 2 down the left lane", manual,
         "0 0\n0 0\n0 0\n0 16000\n0 32767\n0 50000\n0 65535\n0 65535\n0 65535\n", c_m0_down)

    def c_m1(t):
        _keys(t, 3, [K(0x33, 0x04, True), WAIT(10), K(0x33, 0x04, False)])
        _keys(t, 5, [K(0x4E, 0x31, True), WAIT(10), K(0x4E, 0x31, False)])
    case("mode 1: N to 3 and back", [("SYM_TYPE", "1")],
         "32767 0\n32767 0\n32767 0\n32767 32767\n32767 32767\n", c_m1)

    up = [K(0x21, 0x49, True), WAIT(10), K(0x21, 0x49, False)]
    down = [K(0x22, 0x51, True), WAIT(10), K(0x22, 0x51, False)]

    def c_m2(t):
        _keys(t, 3, up)
        _keys(t, 5, down)
    case("mode 2: N to 1 and back", [("SYM_TYPE", "2")],
         "0 0\n0 0\n0 0\n0 32767\n0 32767\n", c_m2)

    def c_m2r(t):
        _keys(t, 3, down)
    case("mode 2: N to R", [("SYM_TYPE", "2")], "0 0 0 0 0 0 0 0 1\n" * 3, c_m2r)

    def c_m2_3r(t):
        _eq(t, 3, "sent", 3)
        idx = [i for i, x in enumerate(t) if x["gear"] == 0]
        assert idx, "never R"
        _keys(t, idx[0] + 1, down + [WAIT(10)] + down + [WAIT(10)] + down + [WAIT(10)] + down)
    case("mode 2, manual neutral: 3 to R taps down 4 times", [("SYM_TYPE", "2")] + manual,
         "32767 0\n32767 0\n32767 0\n32767 32767\n32767 32767\n0 32767\n"
         + "0 0 0 0 0 0 0 0 1\n" * 4, c_m2_3r)

    def c_no_r(t):
        for n in (3, 4, 5):
            _eq(t, n, "gear", -1)
            _eq(t, n, "sent", -1)
            _eq(t, n, "keys", [])
    case("mode 2 without R", [("SYM_TYPE", "2"), ("SYM_SEQUENCE", "N1234567")],
         "0 0 0 0 0 0 0 0 1\n" * 5, c_no_r)

    case("mode 2 without N", [("SYM_TYPE", "2"), ("SYM_SEQUENCE", "R1234567")],
         "32767 0\n32767 0\n32767 0\n", lambda t: (_eq(t, 3, "sent", 3), _eq(t, 3, "keys", [])))

    def c_twice(t):
        # "N1N2": N first at 0, 1 at 1: N -> 1 taps up once
        _keys(t, 3, up)
    case("mode 2: first occurrence counts", [("SYM_TYPE", "2"), ("SYM_SEQUENCE", "N1N2")],
         "0 0\n0 0\n0 0\n", c_twice)

    def c_times0(t):
        _keys(t, 3, [K(0x21, 0x49, True), K(0x21, 0x49, False), K(0x21, 0x49, True),
                     K(0x21, 0x49, False), K(0x21, 0x49, True), K(0x21, 0x49, False)])
    case("mode 2: key and space times 0", [("SYM_TYPE", "2"), ("SYM_KEY_TIME", "0"),
                                            ("SYM_SPACE_TIME", "0")], "32767 0\n" * 3, c_times0)

    def c_type3(t):
        assert all(x["keys"] == [] and x["sent"] == -1 for x in t)
    case("mode 3: no keys", [("SYM_TYPE", "3")], "32767 0\n" * 3 + "0 0\n" * 6, c_type3)

    # Force-feedback effects
    def cond(o, c_, s, d):
        return {"offset": o, "coeff": c_, "sat": s, "deadband": d}

    def c_ff_table(t):
        # gear 1: gate and hole at (11469, 16384)
        x = t[1]
        assert x["gate"] == [11469, 16384] and x["hole"] == [11469, 16384]
        assert _cond(x, "cross", "x") == cond(6499, 5000, 5000, 200)
        assert _cond(x, "cross", "y")["deadband"] == 5000
        assert _cond(x, "hole", "x") == cond(6499, 2000, 2000, 200)
        assert _cond(x, "hole", "y") == cond(-4999, 5000, 5000, 700)
        assert _cond(x, "center", "x")["deadband"] == 10000
        assert _cond(x, "center", "y")["deadband"] == 10000
    case("effects: gear 1", [], "0 0\n0 0\n", c_ff_table)

    def c_ff6(t):
        x = t[1]
        assert x["gate"] == [54065, 49150] and x["hole"] == [54065, 49150]
        assert _cond(x, "cross", "x") == cond(-6499, 5000, 5000, 200)
        assert _cond(x, "hole", "x")["offset"] == -6499
        assert _cond(x, "hole", "y")["offset"] == 4999
    case("effects: gear 6", [], "65534 65534\n65534 65534\n", c_ff6)

    def c_ff_line(t):
        x = t[0]
        assert x["gate"] == [22000, 32767] and x["hole"] == [11469, 32767]
        assert _cond(x, "cross", "x") == cond(0, 5000, 5000, 2250)
        assert _cond(x, "cross", "y")["deadband"] == 700
        assert _cond(x, "hole", "x") == cond(6499, 2000, 2000, 10000)
        assert _cond(x, "hole", "y") == cond(0, 5000, 5000, 10000)
        assert _cond(x, "center", "x") == cond(0, 10000, 3000, 200)
        assert _cond(x, "center", "y") == cond(0, 10000, 3000, 700)
    case("effects: neutral line between lanes", [], "22000 32767\n", c_ff_line)

    def c_ff_lane(t):
        x = t[1]
        assert x["gate"] == [32767, 28767] and x["hole"] == [32767, 32767]
        assert _cond(x, "cross", "x") == cond(0, 5000, 5000, 200)
        assert _cond(x, "cross", "y")["deadband"] == 5000
        assert _cond(x, "hole", "x")["deadband"] == 10000
        assert _cond(x, "center", "x")["deadband"] == 200
        assert _cond(x, "center", "y")["deadband"] == 700
    case("effects: centre lane 4000 from the neutral line", [], "32767 0\n32767 28767\n", c_ff_lane)

    def c_ff_start(t):
        x = t[0]
        assert _cond(x, "cross", "x") == cond(0, 5000, 5000, 2250)
        assert _cond(x, "cross", "y")["deadband"] == 5000
        assert _cond(x, "hole", "x") == cond(0, 2000, 2000, 10000)
        assert _cond(x, "hole", "y") == cond(0, 5000, 5000, 10000)
        assert _cond(x, "center", "x")["deadband"] == 200
    case("effects: start", [], "32767 32767\n", c_ff_start)

    case("FORCE_FEEDBACK 0: no effect at all",
         [("FORCE_FEEDBACK", "0"), ("DAMPER_ENABLED", "1"), ("CROSS_ENABLED", "1"),
          ("GEAR_CROSS_FORCE_COUNT", "2")], "0 0\nfail\n",
         lambda t: (_eq(t, 1, "effects", {}), _eq(t, 2, "effects", {})))
    case("CROSS_ENABLED 0 with count 2", [("CROSS_ENABLED", "0"), ("GEAR_CROSS_FORCE_COUNT", "2")],
         "0 0\n", lambda t: _check(sorted(t[0]["effects"]) == ["center", "hole"], "no cross spring"))
    for n, want in (("0", 1), ("1", 1), ("-3", 1), ("2", 2), ("3", 2), ("1000", 2)):
        case("cross force count %s" % n, [("GEAR_CROSS_FORCE_COUNT", n), ("DAMPER_ENABLED", "1")],
             "0 0\nfail\n",
             (lambda want: lambda t: (
                 _check(len([k for k in t[0]["effects"] if k.startswith("cross")]) == want,
                        "cross springs"),
                 _check(t[0]["effects"]["damper"] is None, "damper null"),
                 _check(all(v is None for v in t[1]["effects"].values()), "fail: all null")))(want))

    def c_w32767(t):
        assert _cond(t[1], "hole", "x")["offset"] == 9999
        assert _cond(t[4], "hole", "x")["offset"] == -9999
    case("JOY_GEAR_WIDTH 32767: outer offsets 9999", [("JOY_GEAR_WIDTH", "32767")],
         "0 0\n0 0\n32767 32767\n65534 32767\n65534 0\n", c_w32767)

    # Settings reading
    case("JOY_GEAR_WIDTH abc reads as the default", [("JOY_GEAR_WIDTH", "abc")], "0 0\n",
         lambda t: _eq(t, 1, "gate", [11469, 32767]))
    case("JOY_GEAR_WIDTH ' 0x10' reads as 16", [("JOY_GEAR_WIDTH", " 0x10")],
         "0 32767\n", lambda t: _eq(t, 1, "gate", [32767 - 16, 32767]))
    case("FORCE_FEEDBACK 2 is on", [("FORCE_FEEDBACK", "2"), ("AUTOCENTER_NEUTRAL", "1")],
         "32767 0\n32767 0\n32767 0\n32767 32767\n32767 32767\n",
         lambda t: (_eq(t, 5, "gear", -1), _check("cross" in t[0]["effects"], "effects built")))
    case("KEY_CODE3 300 sends 44", [("KEY_CODE3", "300")], "32767 0\n" * 3,
         lambda t: _keys(t, 3, [K(44, 4, True)]))
    case("SYM_SEQUENCE keeps its first 9 characters",
         [("SYM_TYPE", "2"), ("SYM_SEQUENCE", "N12345678R")], "0 0 0 0 0 0 0 0 1\n" * 4,
         lambda t: (_eq(t, 3, "gear", -1), _eq(t, 3, "keys", [])))
    case("SYM_SEQUENCE is trimmed before its first 9 characters",
         [("SYM_TYPE", "2"), ("SYM_SEQUENCE", "  N1234567R  ")], "0 0 0 0 0 0 0 0 1\n" * 3,
         lambda t: (_eq(t, 3, "gear", 0), _keys(t, 3, (up + [WAIT(10)]) * 7 + up)))
    case("empty SYM_SEQUENCE sends nothing", [("SYM_TYPE", "2"), ("SYM_SEQUENCE", "")],
         "32767 0\n" * 4, lambda t: _check(all(x["keys"] == [] and x["gear"] == -1 for x in t),
                                           "nothing sent"))
    # Trace format
    case("CRLF, tabs, form feeds, comments and blank lines", [],
         "# head\r\n\r\n0\t0\r\n \t# 1 2\r\n  fail  \r\n\v\f\n0 0\v\n0\f32767\n\t \n0 0",
         lambda t: (_check(len(t) == 5, "5 ticks"), _eq(t, 2, "read", False), _eq(t, 4, "gear", 1),
                    _eq(t, 4, "mode", "neutral"), _eq(t, 5, "gear", -1)))
    # A lost stick: 500 ms of failed reads in a row let the held key and button up, and the gear in
    # is sent again once reads work; one tick short of it changes nothing.
    for mode in ("0", "1", "2"):
        for interval, fails in (("25", 20), ("10", 50), ("0", 20)):
            trace = "32767 0\n" * 3 + "fail\n" * (fails + 2) + "32767 0\n"
            case("lost stick, mode %s, interval %s" % (mode, interval),
                 [("SYM_TYPE", mode), ("VIRTUAL_SHIFTER", "1"), ("CHECK_INTERVAL", interval)], trace,
                 lambda t, f=fails: (_eq(t, 2 + f, "sent", 3), _eq(t, 3 + f, "sent", -1),
                                     _eq(t, 3 + f, "buttons", []), _eq(t, 6 + f, "sent", 3)))
    case("missing fields are centred, buttons 0", [("SWITCH_B_AXE", "6"), ("SWITCH_BUTTON", "1")],
         "0\n1 2 3 4 5 6 7\n", lambda t: (_eq(t, 1, "stick", [0, 32767]), _eq(t, 1, "switch_axis", 32767),
                                         _eq(t, 1, "bstate", False), _eq(t, 2, "switch_axis", 32767)))
    case("button mask in hex and decimal", [("SWITCH_BUTTON", "9")],
         "1 1 1 1 1 1 1 1 0x80\n1 1 1 1 1 1 1 1 128\n1 1 1 1 1 1 1 1 0x7f\n",
         lambda t: (_eq(t, 1, "bstate", True), _eq(t, 2, "bstate", True), _eq(t, 3, "bstate", False)))
    for bad in ["0 0 # c", "0x10 0", "0 0 0 0 0 0 0 0 -1", "0 0 0 0 0 0 0 0 0x100000000",
                "0 0 0 0 0 0 0 0 4294967296", "1 2 3 4 5 6 7 8 9 10", "2147483648", "1 -2147483649",
                "fail 1", "1.0", "0 0 banana"]:
        case("malformed line %r" % bad, [], "32767 0\n# c\n\n32767 0\n%s\n32767 0\n" % bad,
             lambda t: _check(len(t) == 2, "2 ticks before the bad line"))
    # Extremes
    case("W and H 2147483647", [("JOY_GEAR_WIDTH", "2147483647"), ("JOY_GEAR_HEIGHT", "2147483647")],
         "-2147483648 -2147483648\n2147483647 2147483647\n-2147483648 0\n0 2147483647\n" * 3)
    case("W, H, S 0", [("JOY_GEAR_WIDTH", "0"), ("JOY_GEAR_HEIGHT", "0"), ("GEAR_CROSS_SIZE", "0")],
         "32767 32767\n0 0\n65535 65535\n32767 0\n")
    case("W and H 1: start hole", [("JOY_GEAR_WIDTH", "1"), ("JOY_GEAR_HEIGHT", "1")],
         "fail\n32767 32767\n",
         lambda t: (_eq(t, 1, "hole", [32766, 32766]), _eq(t, 1, "effects",
                                                          {"cross": None, "hole": None, "center": None})))
    case("W and H -1: start hole", [("JOY_GEAR_WIDTH", "-1"), ("JOY_GEAR_HEIGHT", "-1")],
         "fail\n32767 32767\n", lambda t: _eq(t, 1, "hole", [32768, 32768]))
    case("int32 extremes with mirrors", [("REVERSE_X", "1"), ("REVERSE_Y", "1"), ("SWITCH_XY", "1")],
         "-2147483648 2147483647\n2147483647 -2147483648\n-2147483648 -2147483648\n")
    return cases


def _check(cond, what):
    if not cond:
        raise AssertionError(what)


# --------------------------------------------------------------------------
# Shrinking a failing trace (drop lines while the difference persists)
# --------------------------------------------------------------------------

def shrink(cli, pairs, trace_text, budget=150):
    lines = trace_text.split("\n")
    runs = 0
    chunk = max(1, len(lines) // 2)
    while chunk >= 1 and runs < budget:
        i = 0
        changed = False
        while i < len(lines) and runs < budget:
            cand = lines[:i] + lines[i + chunk:]
            runs += 1
            if compare_case(cli, pairs, "\n".join(cand)):
                lines = cand
                changed = True
            else:
                i += chunk
        if not changed:
            chunk //= 2
    # drop settings that do not matter
    kept = list(pairs)
    for p in list(pairs):
        if runs >= budget * 2:
            break
        cand = [q for q in kept if q is not p]
        runs += 1
        if compare_case(cli, cand, "\n".join(lines)):
            kept = cand
    return kept, "\n".join(lines)


# --------------------------------------------------------------------------
# Main
# --------------------------------------------------------------------------

class Reporter:
    def __init__(self, cli, outdir, verbose):
        self.cli = cli
        self.outdir = outdir
        self.verbose = verbose
        self.failures = 0
        self.shrunk = 0

    def command(self, pairs, path):
        return " ".join(shlex.quote(a) for a in
                        [self.cli, "replay", "--jsonl"] + set_args(pairs) + [path])

    def report(self, name, pairs, trace, why, file_pairs=None):
        self.failures += 1
        os.makedirs(self.outdir, exist_ok=True)
        safe = "".join(ch if ch.isalnum() else "-" for ch in name)[:60]
        path = os.path.join(self.outdir, safe + ".trace")
        with open(path, "w") as f:
            f.write(trace)
        print("FAIL %s: %s" % (name, why))
        if file_pairs is not None:
            ini = os.path.join(self.outdir, safe + ".ini")
            with open(ini, "w") as f:
                f.write(settings_file_text(file_pairs))
            print("     reproduce: %s" % self.command(pairs, path).replace(
                " replay --jsonl", " replay --jsonl --settings " + shlex.quote(ini), 1))
            print("     (the model takes the file's values as --set pairs before the others)")
            pairs = file_pairs + pairs
        else:
            print("     reproduce: %s" % self.command(pairs, path))
        print("     model:     python3 %s %s" % (
            shlex.quote(os.path.join(HERE, "shifter_model.py")),
            " ".join(shlex.quote(a) for a in set_args(pairs) + [path])))
        if self.shrunk < 5 and trace.count("\n") > 3:
            self.shrunk += 1
            p2, t2 = shrink(self.cli, pairs, trace)
            why2 = compare_case(self.cli, p2, t2)
            if why2:
                mpath = os.path.join(self.outdir, safe + ".min.trace")
                with open(mpath, "w") as f:
                    f.write(t2)
                print("     smaller:   %s" % why2)
                print("                printf %%s %s | %s" % (
                    shlex.quote(t2 if t2.endswith("\n") else t2 + "\n"),
                    self.command(p2, "-")))


def main(argv):
    cli = os.environ.get("KESTRANE_CLI")
    seed = int(os.environ.get("MODEL_SEED", DEFAULT_SEED))
    ncases = DEFAULT_CASES
    only = None
    verbose = False
    i = 0
    while i < len(argv):
        a = argv[i]
        if a == "--seed":
            seed = int(argv[i + 1]); i += 2
        elif a == "--cases":
            ncases = int(argv[i + 1]); i += 2
        elif a == "--case":
            only = int(argv[i + 1]); i += 2
        elif a in ("-v", "--verbose"):
            verbose = True; i += 1
        else:
            cli = a; i += 1
    if not cli:
        print("usage: compare.py KESTRANE_CLI (or set KESTRANE_CLI)", file=sys.stderr)
        return 2
    cli = os.path.abspath(cli)
    outdir = os.environ.get("MODEL_FAILURE_DIR") or tempfile.mkdtemp(prefix="kestrane-model-")
    rep = Reporter(cli, outdir, verbose)
    checked = 0

    # 1. Fixed cases: documented values, then model against tool.
    if only is None:
        for name, pairs, trace, check in fixed_cases():
            checked += 1
            if check:
                mticks, _ = sm.run(pairs, trace)
                try:
                    check(mticks)
                except (AssertionError, IndexError, KeyError, StopIteration) as e:
                    print("FAIL %s: the model breaks the documented value: %s" % (name, e))
                    rep.failures += 1
                rc, tticks, _, _ = run_tool(cli, pairs, trace)
                try:
                    check(tticks)
                except (AssertionError, IndexError, KeyError, StopIteration) as e:
                    rep.report("fixed " + name, pairs, trace,
                               "the tool breaks the documented value: %s" % e)
                    continue
            why = compare_case(cli, pairs, trace)
            if why:
                rep.report("fixed " + name, pairs, trace, why)
            elif verbose:
                print("ok   fixed %s" % name)

        # Error handling: unknown key, malformed lines.
        checked += 1
        why = compare_case(cli, [("NO_SUCH_KEY", "1")], "32767 32767\n")
        if why:
            rep.report("unknown key", [("NO_SUCH_KEY", "1")], "32767 32767\n", why)
        # A --settings FILE that is missing, not a regular file or unreadable is an error that
        # names it, before any output.
        for bad in (os.path.join(outdir, "no-such-dir", "Kestrane.ini"), outdir):
            checked += 1
            p = subprocess.run([cli, "replay", "--jsonl", "--settings", bad, "-"],
                               input=b"0 0\n", stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=60)
            if p.returncode != 2 or p.stdout or bad.encode() not in p.stderr:
                rep.failures += 1
                print("FAIL --settings %s: want exit 2, no output and the name on stderr, got exit %d"
                      % (bad, p.returncode))
        for args in (["--set", "SYM_TYPE"], ["--set"], ["--set", "=1"], ["--no-such-option"]):
            checked += 1
            p = subprocess.run([cli, "replay", "--jsonl"] + args + ["-"], input=b"32767 0\n",
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
            if p.returncode != 2 or p.stdout:
                rep.failures += 1
                print("FAIL bad option %s: want exit 2 and no output, got exit %d and %d bytes" % (
                    " ".join(args), p.returncode, len(p.stdout)))

    # 2. Generated cases.
    for k in range(ncases):
        if only is not None and k != only:
            continue
        pairs, trace, file_pairs = generated_case(seed, k)
        checked += 1
        why = compare_case(cli, pairs, trace, file_pairs)
        if why:
            rep.report("case %d (seed %d)" % (k, seed), pairs, trace, why, file_pairs)
        elif verbose:
            print("ok   case %d" % k)

    print("%d cases, %d differing (seed %d)%s" % (
        checked, rep.failures, seed,
        ("; traces in %s" % outdir) if rep.failures else ""))
    if not rep.failures:
        try:
            os.rmdir(outdir)
        except OSError:
            pass
    return 1 if rep.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
