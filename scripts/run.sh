#!/usr/bin/env bash
# Builds the instrument with its resources and plays the demo performance. Without a display it says so
# and plays under a virtual one (Xvfb); without an audio device the program itself says so and goes on.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kelvarin kelvarin-editor kelvarin-render kelvarin-preset kelvarin_resources

if [ -z "${DISPLAY:-}" ]; then
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  echo "No display found: playing the demo under a virtual display (Xvfb :$n)."
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  export DISPLAY=":$n"
fi
build/bin/kelvarin
