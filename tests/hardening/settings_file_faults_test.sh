#!/usr/bin/env bash
# The settings file under faults, through kestrane-cli as users and crashes meet it: whatever
# kills a write, the file holds the complete old or the complete new text; a refused or failed
# write leaves it byte-identical; what is not a regular file, or too large, is refused at once
# without blocking; stale temporary files of Kestrane's own are cleaned up and nothing else is.
set -uo pipefail
cli=${KESTRANE_CLI:?}
source "$(dirname "$0")/../support/checks.sh"
work=$(mktemp -d)
mounted=""
cleanup() {
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
  chmod -R u+w "$work"
  rm -rf "$work"
}
trap cleanup EXIT

# refused NAME PATH: `settings --save` ends at once with status 1 and says why; `replay
# --settings` ends with status 2 naming the file.
refused() {
  local status=0
  timeout 10 "$cli" settings "$2" --save >/dev/null 2>"$work/err" || status=$?
  check "$1: settings ends with 1" test "$status" = 1
  check "$1: settings says why" grep -q "$3" "$work/err"
  status=0
  timeout 10 "$cli" replay --settings "$2" /dev/null >/dev/null 2>"$work/err" || status=$?
  check "$1: replay --settings ends with 2" test "$status" = 2
  check "$1: replay names the file" grep -qF "$2" "$work/err"
}
# FIFOs and device nodes exist on POSIX systems only.
if [ "${KESTRANE_CLI_SYSTEM:-}" != Windows ]; then
  mkfifo "$work/fifo.ini"
  refused "FIFO" "$work/fifo.ini" "is not a regular file"
  ln -s /dev/zero "$work/zero.ini"
  refused "link to /dev/zero" "$work/zero.ini" "is not a regular file"
fi
head -c 2000000 /dev/zero | tr '\0' ';' >"$work/huge.ini"
cp "$work/huge.ini" "$work/huge.orig"
refused "2 MB file" "$work/huge.ini" "larger than 1 MiB"
check "2 MB file: untouched" cmp -s "$work/huge.ini" "$work/huge.orig"

# Killed at random moments while saving: never an empty or a partial file.
"$cli" settings "$work/k.ini" >/dev/null
# Complete: every key, the last section's last key, and the final line end.
complete() {
  [ "$(grep -c '=' "$1")" -ge 66 ] && grep -q '^SCAN_CODE10=' "$1" && [ "$(tail -c 1 "$1")" = "" ]
}
partial=0
for i in $(seq 120); do
  "$cli" settings "$work/k.ini" --save --set "JOY_GEAR_WIDTH=$i" >/dev/null 2>&1 &
  sleep "0.00$((RANDOM % 10))"
  kill -KILL $! 2>/dev/null
  wait $! 2>/dev/null
  complete "$work/k.ini" || partial=$((partial + 1))
done
check "killed saves: the file always complete" test "$partial" = 0
# The kills leave temporary files behind; the next start removes those a few seconds old only.
touch -d '1 hour ago' "$work/.k.ini.Ab1234"
touch "$work/.k.ini.Cd5678" "$work/.k.ini.keep" "$work/.other.ini.Ef9012"
touch -d '1 hour ago' "$work/.k.ini.Ef-123" "$work/k.ini.Gh4567"
"$cli" settings "$work/k.ini" >/dev/null
check "stale temporary file removed" test ! -e "$work/.k.ini.Ab1234"
check "fresh temporary file kept" test -e "$work/.k.ini.Cd5678"
for other in .k.ini.keep .other.ini.Ef9012 .k.ini.Ef-123 k.ini.Gh4567; do
  check "other file kept: $other" test -e "$work/$other"
done

# A folder that takes no new file (not for root, who writes anywhere): refused, file unchanged.
if [ "$(id -u)" != 0 ]; then
  mkdir "$work/ro" && "$cli" settings "$work/ro/Kestrane.ini" >/dev/null
  cp "$work/ro/Kestrane.ini" "$work/ro.orig"
  chmod a-w "$work/ro"
  status=0
  "$cli" settings "$work/ro/Kestrane.ini" --save --set JOY_GEAR_WIDTH=5 >/dev/null 2>"$work/err" ||
    status=$?
  check "read-only folder: refused" test "$status" = 1
  check "read-only folder: says so" grep -q "never in place" "$work/err"
  check "read-only folder: file unchanged" cmp -s "$work/ro/Kestrane.ini" "$work/ro.orig"
  chmod u+w "$work/ro"
fi

# A full disk (a small tmpfs, where root may mount one): no free inode, then no free block.
mkdir "$work/disk"
if mount -t tmpfs -o size=64k,nr_inodes=3 tmpfs "$work/disk" 2>/dev/null; then
  mounted="$work/disk"
  "$cli" settings "$work/disk/Kestrane.ini" >/dev/null
  python3 -c 'print("; padding " * 400)' >>"$work/disk/Kestrane.ini"
  cp "$work/disk/Kestrane.ini" "$work/disk.orig"
  touch "$work/disk/filler"  # the last free inode
  status=0
  "$cli" settings "$work/disk/Kestrane.ini" --save --set JOY_GEAR_WIDTH=5 >/dev/null 2>&1 ||
    status=$?
  check "no free inode: refused" test "$status" = 1
  check "no free inode: file byte-identical" cmp -s "$work/disk/Kestrane.ini" "$work/disk.orig"
  rm "$work/disk/filler"
  head -c 100000 /dev/zero >"$work/disk/filler" 2>/dev/null  # fills the blocks
  status=0
  "$cli" settings "$work/disk/Kestrane.ini" --save --set JOY_GEAR_WIDTH=5 >/dev/null 2>&1 ||
    status=$?
  check "no free block: refused" test "$status" = 1
  check "no free block: file byte-identical" cmp -s "$work/disk/Kestrane.ini" "$work/disk.orig"
  check "no free block: no temporary file left" test -z "$(ls -A "$work/disk" | grep '^\.')"
else
  echo "note: no tmpfs could be mounted here; the full-disk cases were not run"
fi
checks_done
