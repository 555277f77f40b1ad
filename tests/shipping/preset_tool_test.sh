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
printf '# two loads and the end\nload 1000 2\nload 2500.5 7\nend 5000\n' > "$work/p.txt"
"$tool" playlist "$work/p.txt" "$work/playlist" || fail "playlist"
[ "$(stat -c %s "$work/playlist")" = 44 ] || fail "playlist size"
[ "$(head -c 4 "$work/playlist")" = "PLS " ] || fail "playlist tag"
expected="PLS |36|0 1000 2|0 2500.5 7|1 5000 0"
got=$(/usr/bin/python3 -c 'import struct,sys
d=open(sys.argv[1],"rb").read()
out=[d[:4].decode(), str(struct.unpack("<I",d[4:8])[0])]
for i in range(8,len(d),12):
  k,t,s=struct.unpack("<ifi",d[i:i+12]); out.append("%d %g %d"%(k,t,s))
print("|".join(out))' "$work/playlist")
[ "$got" = "$expected" ] || fail "playlist bytes: $got"
printf 'load 1000 8\n' > "$work/q.txt"
"$tool" playlist "$work/q.txt" "$work/q" 2>/dev/null; [ $? = 1 ] || fail "slot 8 accepted"
"$tool" frobnicate > /dev/null 2>&1; [ $? = 2 ] || fail "usage status"
echo "1 passed, 0 failed"
