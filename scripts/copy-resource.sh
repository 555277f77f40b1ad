#!/usr/bin/env bash
# Copies one resource into the resources folder; "keep" never overwrites a file that is already there.
set -eu
mode=$1 source=$2 destination=$3
mkdir -p "$(dirname "$destination")"
if [ "$mode" = keep ] && [ -e "$destination" ]; then exit 0; fi
cp "$source" "$destination.tmp.$$" && mv "$destination.tmp.$$" "$destination"
