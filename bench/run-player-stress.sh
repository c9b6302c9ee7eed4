#!/usr/bin/env bash
# The player under stress, each part once: 300 cycles of open, play, seek, pause, stop and open
# another under AddressSanitizer (build-asan/, made here), then 200 starts of the program that
# open a file and exit at once. Prints the cycles' time and the number of crashes.
#   bench/run-player-stress.sh [CYCLES] [STARTS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cycles=${1:-300}
starts=${2:-200}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sox -n -r 44100 -c 2 -b 16 "$scratch/a.wav" synth 12 sine 440 gain -6
sox -n -r 22050 -c 1 -b 16 "$scratch/b.wav" synth 9 sine 660 gain -6
lame --quiet -V 2 "$scratch/a.wav" "$scratch/a.mp3"
lame --quiet -b 64 "$scratch/b.wav" "$scratch/b.mp3"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELQUIST_WERROR=ON \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
    >/dev/null
cmake --build build-asan --target bench_player_stress bench_program_window

echo "== $cycles cycles under AddressSanitizer"
ASAN_OPTIONS=detect_leaks=1 \
LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0" \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
QT_QPA_PLATFORM=offscreen scripts/with-sound-server.sh \
    build-asan/bin/bench_player_stress "$cycles" "$scratch/a.mp3" "$scratch/b.mp3"

echo "== $starts starts and exits"
# One sound server for all of them; each start, the program's window in the start-up harness,
# opens the file and exits once the window shows.
QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
    scripts/with-sound-server.sh bench/start-and-exit.sh "$starts" \
    build-asan/bin/bench_program_window "$scratch/a.mp3"
