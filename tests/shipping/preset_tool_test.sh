#!/usr/bin/env bash
# kelvarin-preset: build writes a 4756-byte slot file whose dump reads back to the same file; damaged
# input and bad sources exit 1 with a message.
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

printf 'osc.0.kind = saw\nvoice.0.volume = 0.8\ncell.0.1.type = frq\nvfx.cell.0.0.scale = 1.5\n' > "$work/a.txt"
"$tool" build "$work/a.txt" "$work/a.dat" || fail "build"
[ "$(stat -c %s "$work/a.dat")" = 4756 ] || fail "slot size"
[ "$(head -c 4 "$work/a.dat")" = RIFF ] || fail "outer tag"
"$tool" dump "$work/a.dat" > "$work/a.dump" || fail "dump"
grep -qx 'osc.0.kind = saw' "$work/a.dump" || fail "kind in dump"
grep -qx 'vfx.cell.0.0.scale = 1.5' "$work/a.dump" || fail "visuals in dump"
"$tool" build "$work/a.dump" "$work/b.dat" || fail "rebuild"
cmp -s "$work/a.dat" "$work/b.dat" || fail "dump then build changes the file"

head -c 3000 "$work/a.dat" > "$work/cut.dat"
"$tool" dump "$work/cut.dat" > /dev/null 2> "$work/err"; [ $? = 1 ] || fail "cut file status"
grep -q "not a complete slot file" "$work/err" || fail "cut file message"
: > "$work/empty.dat"
"$tool" dump "$work/empty.dat" > /dev/null 2>&1; [ $? = 1 ] || fail "empty file status"
"$tool" dump "$work/missing.dat" > /dev/null 2>&1; [ $? = 1 ] || fail "missing file status"
printf 'osc.0.kind = wobble\n' > "$work/bad.txt"
"$tool" build "$work/bad.txt" "$work/bad.dat" 2> "$work/err"; [ $? = 1 ] || fail "bad source status"
grep -q "line 1: bad value" "$work/err" || fail "bad source message"
[ ! -e "$work/bad.dat" ] || fail "a bad source wrote a file"
"$tool" frobnicate > /dev/null 2>&1; [ $? = 2 ] || fail "usage status"
echo "1 passed, 0 failed"
