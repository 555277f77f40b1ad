#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time from its seed corpus; any crash fails the test.
set -eu
binary=$1 seeds=$2 work=$3 seconds=$4
mkdir -p "$work"
exec "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$work" "$seeds"
