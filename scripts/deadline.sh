#!/usr/bin/env bash
# The audio callback's deadline on the busiest shipped preset: each slot is timed for 30 s of audio and
# the one with the highest 10th percentile of CPU time per block is then played for ten minutes, every
# audiofn call timed. (Other processes only ever add time to a block, so the low percentile is the
# preset's own work even on a busy machine; the mean and median move with the machine's load.)
# Prints the slowest block and the 99.9th percentile in microseconds and as a share of the 5805 us
# period, in wall-clock time (what the deadline sees on this machine, preemption included) and in the
# CPU time (the work itself). Usage: scripts/deadline.sh [SECONDS] (600 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KV_BUILD:-build-reliability}
seconds=${1:-600}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 kelvarin-soak >/dev/null
soak="$build/bin/kelvarin-soak"

busiest="" most=0
for slot in "$build"/presets/save-[0-7].dat; do
  low=$("$soak" --preset "$slot" --seconds 30 | sed -n 's/^callback CPU time: .* 10th percentile \([0-9.]*\) us.*/\1/p')
  printf '%s: 10th percentile of CPU time per block %s us\n' "$(basename "$slot")" "$low"
  if awk -v a="$low" -v b="$most" 'BEGIN { exit !(a > b) }'; then busiest=$slot most=$low; fi
done
printf 'busiest: %s\n\n' "$(basename "$busiest")"
printf "load average: %s\n" "$(cut -d" " -f1-3 /proc/loadavg)"
"$soak" --preset "$busiest" --seconds "$seconds" | grep -E '^(deadline|time|output|callback)'
