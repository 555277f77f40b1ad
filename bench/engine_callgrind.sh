#!/usr/bin/env bash
# Instructions per audio block for each engine benchmark, counted by callgrind (stable under CPU load,
# unlike time): the instructions executed inside audiofn divided by its calls.
# Each case runs the same 100 blocks (five times); the silent case adds its 5400 set-up blocks (200 of them sounding).
# Usage: bench/engine_callgrind.sh [build dir]   (needs valgrind and the engine_bench target built)
set -euo pipefail
build=${1:-build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for case in startup busy silent_after_sound; do
  file=$out/$case
  ENGINE_BENCH_BLOCKS=100 valgrind --tool=callgrind --callgrind-out-file="$file" --toggle-collect='audiofn(void*, audio_frame*)' \
    "$build/bin/engine_bench" --benchmark_filter="BM_audiofn_${case}" \
    --benchmark_repetitions=1 >/dev/null 2>&1
  awk -v name="$case" '
    /^c?fn=\([0-9]+\) audiofn\(/ { match($0, /\([0-9]+\)/); id = substr($0, RSTART, RLENGTH) }
    /^cfn=/ { want = id != "" && index($0, "cfn=" id) == 1; next }
    /^calls=/ { if (want) { split($1, c, "="); calls += c[2] } want = 0; next }
    /^summary:/ { total = $2 }
    END { printf "%-20s %10.0f instructions per block (%d blocks)\n", name, total / calls, calls }
  ' "$file"
done
