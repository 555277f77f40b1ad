#!/usr/bin/env bash
# Starts the editor N times (default 30) into a busy JACK session (another client querying the server
# every 50 ms) and counts the starts that do not show vorn:kelvarin, vorn:out_1 and vorn:out_2 within
# 5 s or do not reach their window, on a dummy server at RATE Hz (default 44100).
#   scripts/jack-busy-starts.sh build 30 48000
set -uo pipefail
bin="$(cd "${1:-build}" && pwd)/bin"
starts="${2:-30}"
rate="${3:-44100}"
scratch=$(mktemp -d)
export JACK_DEFAULT_SERVER=kv-busy JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1 DISPLAY=:61
Xvfb :61 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
jackd -n kv-busy -d dummy -r "$rate" -p 256 >/dev/null 2>&1 &
server=$!
until jack_lsp 2>/dev/null | grep -q system:playback_1; do sleep 0.1; done
bash -c 'while :; do jack_lsp >/dev/null 2>&1; sleep 0.05; done' &
busy=$!
wired() { local p; p=$(jack_lsp 2>/dev/null); for n in kelvarin out_1 out_2; do grep -qx "vorn:$n" <<<"$p" || return 1; done; }
hung=0
for i in $(seq "$starts"); do
  "$bin/kelvarin-editor" >"$scratch/out" 2>&1 &
  editor=$!
  ok=0
  for t in $(seq 50); do wired && { ok=1; break; }; sleep 0.1; done
  if [ $ok = 1 ]; then
    ok=0
    for t in $(seq 300); do grep -q "Status: Using GLEW" "$scratch/out" && { ok=1; break; }; sleep 0.1; done
  fi
  [ $ok = 1 ] || { hung=$((hung + 1)); echo "start $i: not up"; }
  kill "$editor"; wait "$editor" 2>/dev/null
  for t in $(seq 50); do jack_lsp 2>/dev/null | grep -q '^vorn:' || break; sleep 0.1; done
done
echo "$hung of $starts starts did not come up"
kill "$busy" "$server" "$xvfb"; wait "$server" "$xvfb" 2>/dev/null
rm -rf "$scratch"
