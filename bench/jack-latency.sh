#!/usr/bin/env bash
# MIDI-to-audio latency of the instrument's JACK wiring on dummy servers at periods 64 and 256 (44100 Hz):
# frames from a note's arrival at vorn:kelvarin to its first sample at vorn:out_1.
#   ninja -C build jack_probe jack_latency && bench/jack-latency.sh build
set -euo pipefail
bin="$(cd "${1:-build}" && pwd)/bin"
export JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
for period in 64 256; do
  export JACK_DEFAULT_SERVER="kv-latency-$period"
  jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p "$period" >/dev/null 2>&1 &
  server=$!
  until jack_lsp 2>/dev/null | grep -q system:playback_1; do sleep 0.1; done
  "$bin/jack_probe" 60 0 >/dev/null &
  probe=$!
  until jack_lsp 2>/dev/null | grep -q vorn:kelvarin; do sleep 0.1; done
  "$bin/jack_latency" || true
  kill "$probe" && wait "$probe" || true
  kill "$server" && wait "$server" || true
done
