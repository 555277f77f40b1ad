#!/usr/bin/env bash
# One hour of the instrument offline under a seeded random performance (MIDI, panel edits, shipped and
# damaged slot loads); prints the soak's figures. Usage: scripts/soak.sh [SECONDS] [SEED]
# (3600 and 1 by default). Builds kelvarin-soak in build-reliability (KV_BUILD overrides it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KV_BUILD:-build-reliability}
seconds=${1:-3600}
seed=${2:-1}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 kelvarin-soak >/dev/null
exec "$build/bin/kelvarin-soak" --seconds "$seconds" --seed "$seed"
