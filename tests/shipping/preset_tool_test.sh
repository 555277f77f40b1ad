#!/usr/bin/env bash
# kelvarin-preset: a 4756-byte slot file from a source; every slot in the resource folder dumped to a source
# that builds it back byte for byte; a playlist built; damaged or bad input: exit 1, a message, nothing written.
set -u
tool=$1 shipped=$2 work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
printf 'osc.0.kind = saw\nvoice.0.volume = 0.8\ncell.0.1.type = frq\nvfx.cell.0.0.scale = 1.5\n' > "$work/a.txt"
"$tool" build "$work/a.txt" "$work/a.dat" && [ "$(stat -c %s "$work/a.dat")" = 4756 ] || fail "build"
for slot in "$shipped"/save-?.dat; do
  "$tool" dump "$slot" > "$work/s.txt" && "$tool" build "$work/s.txt" "$work/s.dat" && cmp -s "$slot" "$work/s.dat" || fail "$slot"
done
head -c 3000 "$work/a.dat" > "$work/cut.dat"
"$tool" dump "$work/cut.dat" > /dev/null 2> "$work/err"; [ $? = 1 ] && grep -q "not a complete slot file" "$work/err" || fail "cut file"
printf 'osc.0.kind = wobble\n' > "$work/bad.txt"
"$tool" build "$work/bad.txt" "$work/bad.dat" 2> "$work/err"; [ $? = 1 ] && grep -q "line 1: bad value" "$work/err" && [ ! -e "$work/bad.dat" ] || fail "bad source"
printf '# two loads and the end\nload 1000 2\nload 2500.5 7\nend 5000\n' > "$work/p.txt"
"$tool" playlist "$work/p.txt" "$work/playlist" && [ "$(od -An -tx1 -v "$work/playlist" | tr -d ' \n')" = 504c5320240000000000000000007a44020000000000000000481c45070000000100000000409c4500000000 ] || fail "playlist"
printf 'load 1000 8\n' > "$work/q.txt"
"$tool" playlist "$work/q.txt" "$work/q" 2>/dev/null; [ $? = 1 ] || fail "slot 8 accepted"
"$tool" frobnicate > /dev/null 2>&1; [ $? = 2 ] || fail "usage status"
echo "1 passed, 0 failed"
