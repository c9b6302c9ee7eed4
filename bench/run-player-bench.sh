#!/usr/bin/env bash
# The player's figures (bench_player) on a private PulseAudio server: open to first sound of a
# 5 MB song and of the 1.5 GiB bench file, CPU and memory while playing 320 kbit/s, sound after
# seeks and resumes, seek to sound, the position against what the server's monitor hears, and
# the longest stretch without event processing.
# --pipewire plays into PipeWire's PulseAudio server instead (bench/with-pipewire.sh).
#   bench/run-player-bench.sh BUILD_DIR [--no-long] [--pipewire]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
with_long=1
server=scripts/with-sound-server.sh
for option in "${@:2}"; do
    case $option in
    --no-long) with_long=0 ;;
    --pipewire) server=bench/with-pipewire.sh ;;
    *) echo "unknown option $option" >&2; exit 2 ;;
    esac
done
scratch=$(mktemp -d "${TMPDIR:-/tmp}/velquist-player-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# A 5 MB song at 320 kbit/s (131 s) that sounds from its first sample, and the beeps.
sox -n -r 44100 -c 2 -b 16 "$scratch/song.wav" synth 131 sine 440 gain -6
lame --quiet --cbr -b 320 "$scratch/song.wav" "$scratch/song.mp3"
sox -n -r 44100 -c 1 -b 16 "$scratch/beep.wav" synth 0.04 sine 1000 gain -3 pad 0 0.96 repeat 11
lame --quiet -m m -b 64 --cbr --resample 44.1 "$scratch/beep.wav" "$scratch/beeps.mp3"
long=()
if ((with_long)); then
    bench/make-long-mp3.sh "$scratch/long.mp3" 1536
    long=("$scratch/long.mp3")
fi
QT_QPA_PLATFORM=offscreen "$server" \
    "$build/bin/bench_player" "$scratch/song.mp3" "$scratch/beeps.mp3" "${long[@]}"
