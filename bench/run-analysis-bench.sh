#!/usr/bin/env bash
# Times the analysis an Open makes of an MP3 against `cat FILE > /dev/null` of the same warm file
# in the same run (medians), reports its peak memory, times it on a 5 MB song, and measures the
# window's longest stretch without event processing while the 1.5 GiB file is opened and marked
# at once. Builds nothing: pass the build folder.
#   bench/run-analysis-bench.sh [BUILD_DIR]        RUNS=5 bench/run-analysis-bench.sh
set -euo pipefail

build=${1:-build}
runs=${RUNS:-5}
for bin in bench_analysis bench_open_mark; do
    [[ -x $build/bin/$bin ]] || { echo "no $build/bin/$bin: build the project first" >&2; exit 1; }
done
for tool in sox lame; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup.sh installs it)" >&2; exit 1; }
done

source_mib=1536
need_kib=$(((source_mib + 64) * 1024))
work=
for base in /work /tmp; do
    if [[ -d $base && -w $base ]] && (($(df -Pk "$base" | awk 'NR == 2 { print $4 }') > need_kib)); then
        work=$(mktemp -d "$base/analysis-bench.XXXXXX")
        break
    fi
done
[[ -n $work ]] || { echo "need $((need_kib / 1024)) MiB free on /work or /tmp" >&2; exit 1; }
trap 'rm -rf "$work"' EXIT

long=$work/long.mp3
song=$work/song.mp3
echo "making a ${source_mib} MiB MP3 and a 5 MB song in $work ..."
"$(dirname "$0")/make-long-mp3.sh" "$long" "$source_mib"
sox -n -r 44100 -c 2 -b 16 "$work/song.wav" synth 300 pinknoise vol 0.3
lame --quiet -V 2 "$work/song.wav" "$song"
rm "$work/song.wav"
cat "$long" >/dev/null # warm the page cache

now_ns() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

cat_ms=$(for ((i = 0; i < runs; i++)); do
    t0=$(now_ns)
    cat "$long" >/dev/null
    t1=$(now_ns)
    echo $(((t1 - t0) / 1000000))
done | median)
echo "cat, ${source_mib} MiB:      median ${cat_ms} ms of $runs"

line=$("$build/bin/bench_analysis" "$long" "$runs")
echo "analysis, ${source_mib} MiB: $line"
analysis_ms=$(sed -E 's/.*median_ms=([0-9.]+).*/\1/' <<<"$line")
rss_kib=$(sed -E 's/.*maxrss_kib=([0-9]+).*/\1/' <<<"$line")
awk -v a="$analysis_ms" -v c="$cat_ms" -v r="$rss_kib" \
    'BEGIN { printf "analysis / cat = %.2f (target <= 2); peak memory %.1f MiB (target <= 64)\n", a / c, r / 1024 }'

echo "analysis, 5 MB song ($(stat -c %s "$song") bytes): $("$build/bin/bench_analysis" "$song" 15)"

# The real window and player, offscreen unless a display is given.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
echo "open and mark, real player, ${source_mib} MiB: $("$build/bin/bench_open_mark" "$long")"
echo "open and mark, real player, 5 MB song: $("$build/bin/bench_open_mark" "$song")"
# A player that knows the duration at once: the mark comes first and waits for the analysis.
echo "open and mark at once, ${source_mib} MiB: $("$build/bin/bench_open_mark" --instant-player "$long")"
