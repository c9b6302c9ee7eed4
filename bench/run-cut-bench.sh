#!/usr/bin/env bash
# Times the save's copy (bench_cut calls the very function the save calls) against dd copying the
# same 1 GiB range out of a 1.5 GiB MP3, with a warm page cache, and reports the peak memory of
# each. Then, once each and for comparison only, ffmpeg and mp3splt cutting the same stretch by
# time (they parse frames; skipped when not installed). Builds nothing: pass the build folder.
#   bench/run-cut-bench.sh [BUILD_DIR]        RUNS=5 bench/run-cut-bench.sh
set -euo pipefail

build=${1:-build}
bench=$build/bin/bench_cut
runs=${RUNS:-5}
[[ -x $bench ]] || { echo "no $bench: build the project first" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

mib=$((1024 * 1024))
source_mib=1536
count=$((1024 * mib))
# An odd offset, as a real cut would have; dd is told bytes, not blocks.
offset=$((256 * mib + 12345))
need_kib=$(((source_mib + 2 * 1024 + 64) * 1024))

work=
for base in /work /tmp; do
    if [[ -d $base && -w $base ]] && (($(df -Pk "$base" | awk 'NR == 2 { print $4 }') > need_kib)); then
        work=$(mktemp -d "$base/cut-bench.XXXXXX")
        break
    fi
done
[[ -n $work ]] || { echo "need $((need_kib / 1024)) MiB free on /work or /tmp" >&2; exit 1; }
trap 'rm -rf "$work"' EXIT

src=$work/source.mp3
ours=$work/cut.mp3
theirs=$work/dd.mp3

echo "making a ${source_mib} MiB MP3 in $work ..."
"$(dirname "$0")/make-long-mp3.sh" "$src" "$source_mib"
cat "$src" >/dev/null # warm the page cache
sync

now_ns() { date +%s%N; }

# Each timed run starts with no target and no dirty pages left by the one before.
fresh() {
    rm -f "$ours" "$theirs"
    sync
}

# Runs a command under /usr/bin/time; sets last_ms and last_rss_mib.
timed() {
    local t0 t1 log=$work/time.log
    fresh
    t0=$(now_ns)
    /usr/bin/time -o "$log" -f '%M' "$@" >"$work/out.log"
    t1=$(now_ns)
    last_ms=$(((t1 - t0) / 1000000))
    last_rss_mib=$(($(tail -n 1 "$log") / 1024))
}

dd_range=(dd if="$src" of="$theirs" bs=4M skip="$offset" count="$count"
    iflag=skip_bytes,count_bytes status=none)

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# bench_cut's time after its last event pass: how long a window would not answer.
tail_ms() { sed -n 's/.*tail_ms=\([0-9]*\).*/\1/p' "$work/out.log"; }

bench_ms=() buffered_ms=() dd_ms=() dd_sync_ms=() bench_tail=() buffered_tail=()
bench_rss=0 buffered_rss=0 dd_rss=0 dd_sync_rss=0
max() { (($1 > $2)) && echo "$1" || echo "$2"; }
for ((i = 1; i <= runs; i++)); do
    # Alternate who goes first so neither always meets the other's leftovers.
    if ((i % 2)); then order=(bench sync plain buffered); else order=(sync bench buffered plain); fi
    for who in "${order[@]}"; do
        case $who in
        bench)
            timed "$bench" "$src" "$offset" "$count" "$ours"
            bench_ms+=("$last_ms") bench_rss=$(max "$bench_rss" "$last_rss_mib")
            bench_tail+=("$(tail_ms)") ;;
        buffered)
            timed "$bench" --buffered "$src" "$offset" "$count" "$ours"
            buffered_ms+=("$last_ms") buffered_rss=$(max "$buffered_rss" "$last_rss_mib")
            buffered_tail+=("$(tail_ms)") ;;
        sync)
            # The save syncs the new file to disk before renaming it; so does dd with fsync.
            timed "${dd_range[@]}" conv=fsync
            dd_sync_ms+=("$last_ms") dd_sync_rss=$(max "$dd_sync_rss" "$last_rss_mib") ;;
        plain)
            timed "${dd_range[@]}"
            dd_ms+=("$last_ms") dd_rss=$(max "$dd_rss" "$last_rss_mib") ;;
        esac
    done
    echo "run $i: bench_cut ${bench_ms[-1]} ms, bench_cut --buffered ${buffered_ms[-1]} ms," \
        "dd conv=fsync ${dd_sync_ms[-1]} ms, dd ${dd_ms[-1]} ms"
done

# Both copies must be the same bytes.
fresh
"$bench" "$src" "$offset" "$count" "$ours" >/dev/null
"${dd_range[@]}"
cmp "$ours" "$theirs"
echo "outputs identical ($((count / mib)) MiB from offset $offset)"

b=$(median "${bench_ms[@]}")
f=$(median "${buffered_ms[@]}")
s=$(median "${dd_sync_ms[@]}")
d=$(median "${dd_ms[@]}")
echo
echo "median of $runs                 time      ratio to dd conv=fsync   to plain dd   peak memory"
printf '%-28s %6d ms   %6s                  %6s        %4d MiB\n' \
    "bench_cut" "$b" "$(ratio "$b" "$s")" "$(ratio "$b" "$d")" "$bench_rss" \
    "bench_cut --buffered" "$f" "$(ratio "$f" "$s")" "$(ratio "$f" "$d")" "$buffered_rss" \
    "dd bs=4M conv=fsync" "$s" "1.00" "$(ratio "$s" "$d")" "$dd_sync_rss" \
    "dd bs=4M" "$d" "$(ratio "$d" "$s")" "1.00" "$dd_rss"

echo "longest stretch without event passes (the sync before the rename), median:" \
    "$(median "${bench_tail[@]}") ms, --buffered $(median "${buffered_tail[@]}") ms"

# The same stretch by time: 320 kbit/s is 40000 bytes a second.
from_s=$(awk -v o="$offset" 'BEGIN { printf "%.3f", o / 40000 }')
to_s=$(awk -v o="$offset" -v c="$count" 'BEGIN { printf "%.3f", (o + c) / 40000 }')
mmss() { awk -v t="$1" 'BEGIN { m = int(t / 60); s = t - 60 * m; printf "%d.%05.2f", m, s }'; }
echo
echo "for comparison, once each, cutting ${from_s}s to ${to_s}s by time, then syncing the file:"
if command -v ffmpeg >/dev/null; then
    timed sh -c 'ffmpeg -loglevel error -y -ss "$1" -to "$2" -i "$3" -c copy "$4" && sync "$4"' \
        _ "$from_s" "$to_s" "$src" "$theirs"
    printf '%-28s %6d ms   %6s                  %6s        %4d MiB\n' "ffmpeg -c copy" \
        "$last_ms" "$(ratio "$last_ms" "$s")" "$(ratio "$last_ms" "$d")" "$last_rss_mib"
else
    echo "ffmpeg: not installed (apt-get install ffmpeg)"
fi
if command -v mp3splt >/dev/null; then
    timed sh -c 'mp3splt -q -d "$1" -o cut "$2" "$3" "$4" && sync "$1/cut.mp3"' \
        _ "$work" "$src" "$(mmss "$from_s")" "$(mmss "$to_s")"
    printf '%-28s %6d ms   %6s                  %6s        %4d MiB\n' "mp3splt" \
        "$last_ms" "$(ratio "$last_ms" "$s")" "$(ratio "$last_ms" "$d")" "$last_rss_mib"
else
    echo "mp3splt: not installed (apt-get install mp3splt)"
fi
