#!/usr/bin/env bash
# kestrane-cli settings over hostile settings files: it always prints a record, reports what it
# must on standard error, and never writes over a file it could not read without keeping a copy.
set -euo pipefail
cli=${KESTRANE_CLI:?}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A directory: the defaults, the message, exit 1, the directory untouched.
mkdir "$work/dir.ini"
status=0
"$cli" settings "$work/dir.ini" --save >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 1 ] || fail "directory: exit $status"
grep -q '"CHECK_INTERVAL":25' "$work/out" || fail "directory: no default record"
grep -q "$work/dir.ini is not a regular file" "$work/err" || fail "directory: message"
[ -d "$work/dir.ini" ] && [ -z "$(ls -A "$work/dir.ini")" ] || fail "directory changed"

# A dangling link into a missing directory: refused, the link stays a link. (Not for the
# Windows program: Windows users rarely hold the privilege links need.)
if [ "${KESTRANE_CLI_SYSTEM:-}" != Windows ]; then
  ln -s "$work/missing/Kestrane.ini" "$work/link.ini"
  status=0
  "$cli" settings "$work/link.ini" >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 1 ] && [ -L "$work/link.ini" ] || fail "dangling link: exit $status"
fi

# Binary garbage: a record, a notice naming the copy, exit 0; the copy holds the old bytes.
python3 -c 'import random, sys; r = random.Random(7)
sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range(65536)))' >"$work/garbage.ini"
cp "$work/garbage.ini" "$work/garbage.orig"
"$cli" settings "$work/garbage.ini" >"$work/out" 2>"$work/err" || fail "garbage: exit $?"
grep -q '"SYM_SEQUENCE":"RN1234567"' "$work/out" || fail "garbage: record"
copy=$(ls "$work"/garbage.ini.bak-* 2>/dev/null | head -n 1)
[ -n "$copy" ] || fail "garbage: no copy kept"
cmp -s "$copy" "$work/garbage.orig" || fail "garbage: the copy differs from the file"
grep -q "kept as $copy" "$work/err" || fail "garbage: notice $(cat "$work/err")"
cmp -s <(head -c 65536 "$work/garbage.ini") "$work/garbage.orig" || fail "garbage: bytes lost"

# A 2047+ character value: loaded, copy kept for the value that was replaced.
python3 -c 'print("[MAIN]\nJOY_GEAR_WIDTH=" + "9" * 3000)
print("".join(f"PAD{i}=0123456789012345678901234567890123456789\n" for i in range(1, 20001)), end="")' \
  >"$work/big.ini"
"$cli" settings "$work/big.ini" --save >"$work/out" 2>"$work/err" || fail "big: exit $?"
grep -q '"JOY_GEAR_WIDTH":21298' "$work/out" || fail "big: default width expected"
ls "$work"/big.ini.bak-* >/dev/null 2>&1 || fail "big: no copy kept"
grep -q "PAD20000=" "$work/big.ini" || fail "big: lines lost"
echo "hostile settings files: ok"
