#!/usr/bin/env bash
# Writes a real constant-bit-rate MP3 of exactly SIZE_MIB MiB (320 kbit/s, 40000 bytes a second,
# no tag frame, so time and bytes are in proportion): one minute of sound, repeated.
#   bench/make-long-mp3.sh OUT SIZE_MIB
set -euo pipefail
out=$1
size=$(($2 * 1024 * 1024))
for tool in sox lame; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup.sh installs it)" >&2; exit 1; }
done
scratch=$(mktemp -d "$(dirname "$out")/minute.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
sox -n -r 44100 -c 2 -b 16 "$scratch/minute.wav" synth 60 pinknoise vol 0.3
lame --quiet -t --cbr -b 320 "$scratch/minute.wav" "$scratch/minute.mp3"
minute=$(stat -c %s "$scratch/minute.mp3")
for ((i = 0; i * minute < size; i++)); do cat "$scratch/minute.mp3"; done >"$out"
truncate -s "$size" "$out"
