#!/usr/bin/env bash
# Builds into build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test;
# any report fails the run. Leaks inside third-party libraries are suppressed by
# scripts/lsan-suppressions.txt, ours are not.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELQUIST_WERROR=ON \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake --build build-asan
cd build-asan
# The player's tests play in real time into a sound server of their own.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0" \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
QT_QPA_PLATFORM=offscreen "$root/scripts/with-sound-server.sh" ctest --output-on-failure
