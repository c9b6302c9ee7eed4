#!/usr/bin/env bash
# Fuzzes the MP3 analysis and the piece planning with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer: scripts/fuzz-mp3.sh [SECONDS] (60 by default). Installs Debian's
# clang and libclang-rt-14-dev with the project's other needs where missing. Builds into
# build-fuzz/, seeds the corpus there with the test fixtures and the kept regression inputs, and
# fails on any crash, leak, hang or sanitizer report; the input that caused it is left in
# build-fuzz/ (keep it in tests/fuzz/regressions/).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh clang libclang-rt-14-dev
out=build-fuzz
mkdir -p "$out/corpus"

sources=(src/mp3/*.cpp src/fileio/FileIoError.cpp tests/fuzz/mp3_fuzz.cpp)
if [[ ! -x $out/mp3_fuzz ]] || [[ -n $(find src/mp3 src/fileio tests/fuzz/mp3_fuzz.cpp -newer "$out/mp3_fuzz") ]]; then
    # shellcheck disable=SC2046 # pkg-config's words are meant to split
    clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -Isrc $(pkg-config --cflags Qt6Core) -fPIC "${sources[@]}" \
        $(pkg-config --libs Qt6Core) -o "$out/mp3_fuzz"
fi

cp -n tests/fixtures/*.mp3 "$out/corpus/" 2>/dev/null || true
cd "$out"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ./mp3_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
    -print_final_stats=1 corpus ../tests/fuzz/regressions
