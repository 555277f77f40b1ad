#!/bin/bash
# Display statistics of kelvarin under Xvfb (1280x800) with a JACK dummy server: the lines of the first
# eight seconds, each with its time after the window came up (the title lasts about the first three).
# Usage: bench/measure-title-fps.sh [directory holding kelvarin, default build-display/bin]
set -u
bin=${1:-build-display/bin}
n=$((600 + RANDOM % 100))
while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export JACK_DEFAULT_SERVER=kv-fps-$$ JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
jackd -n $JACK_DEFAULT_SERVER -d dummy -r 44100 -p 256 >/dev/null 2>&1 & jack=$!
trap 'kill $jack $xvfb 2>/dev/null; rm -f /tmp/kv-fps-$$.log' EXIT
for i in $(seq 100); do
  jack_lsp >/dev/null 2>&1 && [ -e /tmp/.X11-unix/X$n ] && break
  sleep 0.2
done
DISPLAY=:$n "$bin/kelvarin" 2>/dev/null | while IFS= read -r line; do
  printf '%s %s\n' "$(date +%s.%N | cut -c1-14)" "$line"
done >/tmp/kv-fps-$$.log &
sleep 8
DISPLAY=:$n xdotool mousemove 400 300 key Escape
sleep 1
awk '/Status: Using GLEW/ {t0 = $1} /display-fps/ && t0 {printf "%+.2fs %s %s %s\n", $1 - t0, $2, $3, $4}' /tmp/kv-fps-$$.log
