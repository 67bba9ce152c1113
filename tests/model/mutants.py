#!/usr/bin/env python3
"""Checks that the model comparison catches real faults: each mutant below is
a small, plausible fault planted in a copy of the model (shifter_model.py);
the comparison with `kestrane-cli` must find a difference for every one of
them. A mutant that survives means the generated cases miss that behaviour.

    python3 mutants.py KESTRANE_CLI [--cases N]

Not part of the CTest run (it replays the cases once per mutant); run it after
changing the generators.
"""

import importlib.util
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import compare  # noqa: E402

MUTANTS = [
    ("leave lane on a tie", "if dy <= S and dx > dy:", "if dy <= S and dx >= dy:"),
    ("enter lane on a tie", "if dx <= S and dx < dy:", "if dx <= S and dx <= dy:"),
    ("leave lane needs dy < S", "if dy <= S and dx > dy:", "if dy < S and dx > dy:"),
    ("enter lane needs dx < S", "if dx <= S and dx < dy:", "if dx < S and dx < dy:"),
    ("leave lane dy from clamped Y", "dy = abs(Y - M)\n            if dy <= S",
     "dy = abs(self.gate_y - M)\n            if dy <= S"),
    ("clamp lowers first", "    if v < a:\n        v = a\n    if v > b:\n        v = b\n",
     "    if v > b:\n        v = b\n    if v < a:\n        v = a\n"),
    ("half rounds down", "    q = abs(v) // 2\n    return q if v >= 0 else -q", "    return v // 2"),
    ("candidate lane from raw X", "L = candidate_lane(self.gate_x, W, S)", "L = candidate_lane(X, W, S)"),
    ("dx beyond the lanes not 0", "            else:\n                dx = 0\n",
     "            else:\n                dx = abs(X - L)\n"),
    ("hole column strict", "if self.gate_x <= M - half(W):", "if self.gate_x < M - half(W):"),
    ("hole row strict", "elif self.gate_y >= M + half(H):", "elif self.gate_y > M + half(H):"),
    ("neutral columns not a chain", "            elif hx == M:\n                self.flags &= ~4",
     "            if hx == M:\n                self.flags &= ~4"),
    ("row columns not a chain", "            elif hx == M:\n                self.gear = 3",
     "            if hx == M:\n                self.gear = 3"),
    ("latch cleared in a row", "            if self.bstate:\n                self.latched = True\n            self.flags = 4\n            if hx == M - W:\n                self.gear = 0",
     "            self.latched = self.bstate\n            self.flags = 4\n            if hx == M - W:\n                self.gear = 0"),
    ("manual neutral on any right", "or self.flags == 3:", "or self.flags & 2 == 2:"),
    ("left seen even from a row", "            if hx == M - W:\n                if not self.flags & 4:\n                    self.flags |= 1",
     "            if hx == M - W:\n                self.flags |= 1"),
    ("top row tested after bottom", "        if hy == M - H:\n", "        if hy == M - H and hy != M + H:\n"),
    ("switch button off by one", "b = (buttons >> (sb - 2)) & 1 == 1", "b = (buttons >> (sb - 1)) & 1 == 1"),
    ("switch button 34 tests byte 31", "elif 2 <= sb <= 33:\n            b = (buttons >> (sb - 2)) & 1 == 1",
     "elif 2 <= sb <= 34:\n            b = (buttons >> min(sb - 2, 31)) & 1 == 1"),
    ("switch button 1 tests byte 0", "        if sb == 1:\n            b = buttons != 0", "        if sb == 1:\n            b = buttons & 1 != 0"),
    ("switch axis range exclusive", "lo <= self.switch_axis <= hi", "lo < self.switch_axis <= hi"),
    ("switch axis equal bounds count", "if lo != hi and lo <=", "if lo <="),
    ("switch axis other value reads Z", "        elif 1 <= axe <= 6:\n            self.switch_axis = sample[1 + axe]", "        else:\n            self.switch_axis = sample[1 + max(1, min(axe, 6))]"),
    ("mirror before swap", "        if c[\"SWITCH_XY\"]:\n            x, y = y, x\n        if c[\"REVERSE_X\"]:\n            x = 65534 - x\n",
     "        if c[\"REVERSE_X\"]:\n            x = 65534 - x\n        if c[\"SWITCH_XY\"]:\n            x, y = y, x\n"),
    ("mode 0 releases after pressing", "            if self.sent >= 0:\n                release(self.sent)\n            if self.gear >= 0:\n                press(self.gear)\n",
     "            if self.gear >= 0:\n                press(self.gear)\n            if self.sent >= 0:\n                release(self.sent)\n"),
    ("mode 1 neutral taps nothing", "tap(self.gear if self.gear >= 0 else 8)", "tap(self.gear) if self.gear >= 0 else None"),
    ("mode 2 up and down swapped", "entry = 9 if i < j else 10", "entry = 10 if i < j else 9"),
    ("mode 2 waits after the last tap", "                if k != n - 1:\n", "                if True:\n"),
    ("mode 2 missing sent letter keeps sent", "            if i < 0:\n                self.sent = self.gear\n                return",
     "            if i < 0:\n                return"),
    ("mode 2 looks up sent letter first", "            j = seq.find(b)\n            if j < 0:\n                self.gear = self.sent\n                return\n            i = seq.find(a)\n            if i < 0:\n",
     "            i = seq.find(a)\n            j = seq.find(b)\n            if i < 0:\n                self.sent = self.gear\n                return\n            if j < 0:\n                self.gear = self.sent\n                return\n            if False:\n"),
    ("mode 2 last occurrence", "j = seq.find(b)", "j = seq.rfind(b)"),
    ("other mode acts as mode 0", "        if mode == 0:\n", "        if mode not in (1, 2):\n"),
    ("zero wait reported", "            if ms > 0:\n", "            if ms >= 0:\n"),
    ("condition units plain truncation", "    if d != 0 and d % 32767 == 0:\n        mag -= 1\n", ""),
    ("condition units rounded", "    mag = abs(d) * 10000 // 32767\n", "    mag = (abs(d) * 10000 + 16383) // 32767\n"),
    ("condition units clamped", "    return mag if d >= 0 else -mag", "    mag = min(mag, 10000)\n    return mag if d >= 0 else -mag"),
    ("near neutral not strict", "near_neutral = abs(gy - M) < S", "near_neutral = abs(gy - M) <= S"),
    ("near lane not strict", "near_lane = abs(gx - lane_x) < S", "near_lane = abs(gx - lane_x) <= S"),
    ("cross X offset sign", "to_condition_units(M - gx)", "to_condition_units(gx - M)"),
    ("hole Y offset sign", "to_condition_units(hy - M)", "to_condition_units(M - hy)"),
    ("cross Y dead bands swapped", "c[\"GEAR_FORCE_DEATH_FREE_Y\"] if near_lane else c[\"GEAR_FORCE_DEATH_NOFREE_Y\"]",
     "c[\"GEAR_FORCE_DEATH_NOFREE_Y\"] if near_lane else c[\"GEAR_FORCE_DEATH_FREE_Y\"]"),
    ("second cross spring from 1", "if c[\"GEAR_CROSS_FORCE_COUNT\"] > 1:", "if c[\"GEAR_CROSS_FORCE_COUNT\"] >= 1:"),
    ("damper sent each tick", "None if name == \"damper\" else params[name]",
     "params.get(name, params[\"center\"])"),
    ("start hole (M, M)", "        # Joystick open: the effect build runs UpdateHole on the start gate point.\n        self.update_hole()\n", ""),
    ("force feedback 0 rule ignored", "        if self.v[\"FORCE_FEEDBACK\"] == 0:\n", "        if False:\n"),
    ("key code not masked", "self.vk[int(key[8:])] = n & 0xFF", "self.vk[int(key[8:])] = n"),
    ("scan code keeps 7 bits", "self.scan[int(key[9:])] = n & 0xFF", "self.scan[int(key[9:])] = n & 0x7F"),
    ("sequence keeps 10", "self.seq = text.encode(\"utf-8\")[:9]", "self.seq = text.encode(\"utf-8\")[:10]"),
    ("sequence not trimmed", "        text = seen_value_text(raw)\n        if key == \"SYM_SEQUENCE\":\n            self.seq = text",
     "        text = seen_value_text(raw)\n        if key == \"SYM_SEQUENCE\":\n            self.seq = raw[:9]"),
    ("negative boolean reads as off", "            n = 1 if n != 0 else 0\n", "            n = 1 if n > 0 else 0\n"),
    ("hex only lower-case prefix", "elif s[:1] in (\"$\", \"x\", \"X\"):", "elif s[:1] in (\"$\", \"x\"):"),
    ("no sign before hex", "    base = 10\n    if s[:2]", "    base = 10\n    if neg or text.lstrip(BLANKS)[:1] == '+':\n        pass\n    elif s[:2]"),
    ("hex wraps to 32 bits", "    if neg:\n        v = -v\n", "    if base == 16 and v > INT32_MAX:\n        v -= 2 ** 32\n    if neg:\n        v = -v\n"),
    ("no value buffer limit", "    return raw.strip(BLANKS)[:VALUE_BUFFER]", "    return raw.strip(BLANKS)"),
    ("junk reads as 0", "        if n is None:\n            n = INT_DEFAULTS[key]", "        if n is None:\n            n = 0"),
    ("32-bit wrap of the mirror", "            x = 65534 - x\n", "            x = ((65534 - x + 2**31) % 2**32) - 2**31\n"),
    ("32-bit wrap of the lane bounds", "            self.gate_x = clamp(X, M - W, M + W)",
     "            self.gate_x = clamp(X, ((M - W + 2**31) % 2**32) - 2**31, ((M + W + 2**31) % 2**32) - 2**31)"),
    ("failed read repeats effects", "            effects = {name: None for name in self.effect_names}\n",
     "            effects = {n: (None if n == 'damper' else self.effect_params()[n]) for n in self.effect_names}\n"),
    ("failed read clears keys state", "        if sample is None:\n", "        if sample is None:\n            self.bstate = False\n"),
    ("missing fields default to 0", "        vals += [32767] * (8 - min(len(vals), 8))", "        vals += [0] * (8 - min(len(vals), 8))"),
]


def load_mutant(old, new):
    src = open(os.path.join(HERE, "shifter_model.py")).read()
    count = src.count(old)
    if count != 1:
        raise SystemExit("mutant text occurs %d times: %r" % (count, old[:60]))
    src = src.replace(old, new)
    loader_info = importlib.util.spec_from_loader("shifter_model_mutant", loader=None)
    mod = importlib.util.module_from_spec(loader_info)
    exec(compile(src, "shifter_model_mutant", "exec"), mod.__dict__)
    return mod


def killed(cli, ncases, seed):
    for name, pairs, trace, _ in compare.fixed_cases():
        if compare.compare_case(cli, pairs, trace):
            return "fixed case: " + name
    for k in range(ncases):
        pairs, trace, file_pairs = compare.generated_case(seed, k)
        if compare.compare_case(cli, pairs, trace, file_pairs):
            return "generated case %d" % k
    return None


def main(argv):
    cli = os.path.abspath(argv[0] if argv else os.environ["KESTRANE_CLI"])
    ncases = int(argv[argv.index("--cases") + 1]) if "--cases" in argv else compare.DEFAULT_CASES
    original = compare.sm
    survivors = []
    for name, old, new in MUTANTS:
        compare.sm = load_mutant(old, new)
        try:
            by = killed(cli, ncases, compare.DEFAULT_SEED)
        finally:
            compare.sm = original
        print("%-8s %s%s" % ("killed" if by else "SURVIVED", name, (" (%s)" % by) if by else ""))
        if not by:
            survivors.append(name)
    print("%d mutants, %d survived" % (len(MUTANTS), len(survivors)))
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
