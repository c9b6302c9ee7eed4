#!/usr/bin/env bash
# Times the save's read-and-replace path (bench_cut) against dd copying the same 1 GiB range out
# of a 1.5 GiB file, with a warm page cache. Builds nothing: pass the build folder (default build/).
#   bench/run-cut-bench.sh [BUILD_DIR]        RUNS=5 bench/run-cut-bench.sh
set -euo pipefail

build=${1:-build}
bench=$build/bin/bench_cut
runs=${RUNS:-5}
[[ -x $bench ]] || { echo "no $bench: build the project first" >&2; exit 1; }

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

src=$work/source.bin
ours=$work/cut.bin
theirs=$work/dd.bin

echo "making a ${source_mib} MiB source in $work ..."
dd if=/dev/urandom of="$src" bs=4M count=$((source_mib / 4)) iflag=fullblock status=none
cat "$src" >/dev/null # warm the page cache
sync

now_ns() { date +%s%N; }

# Each timed run starts with no target and no dirty pages left by the one before.
fresh() {
    rm -f "$ours" "$theirs"
    sync
}

time_bench() {
    fresh
    local t0 t1 line
    t0=$(now_ns)
    line=$(/usr/bin/time -f 'maxrss_kib_time=%M' "$bench" "$src" "$offset" "$count" "$ours" 2>&1)
    t1=$(now_ns)
    bench_ms+=($(((t1 - t0) / 1000000)))
    rss_kib=$(sed -n 's/.*maxrss_kib_time=\([0-9]*\).*/\1/p' <<<"$line")
    details=$(grep -o 'read_ms=.*total_ms=[0-9]*' <<<"$line" || true)
}

time_dd() {
    local bs=$1 flags=$2 t0 t1
    fresh
    t0=$(now_ns)
    # shellcheck disable=SC2086
    dd if="$src" of="$theirs" bs="$bs" skip="$offset" count="$count" iflag=skip_bytes,count_bytes \
        $flags status=none
    t1=$(now_ns)
    echo $(((t1 - t0) / 1000000))
}

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

bench_ms=()
dd_ms=()
dd_sync_ms=()
dd_whole_ms=()
for ((i = 1; i <= runs; i++)); do
    # Alternate who goes first so neither always meets the other's leftovers.
    if ((i % 2)); then
        time_bench
        dd_ms+=("$(time_dd 4M '')")
    else
        dd_ms+=("$(time_dd 4M '')")
        time_bench
    fi
    # The save syncs the new file to disk before renaming it; dd with fsync does the same work.
    dd_sync_ms+=("$(time_dd 4M conv=fsync)")
    # And the save holds the whole range in one buffer: dd with a 1 GiB block does too.
    dd_whole_ms+=("$(time_dd 1G conv=fsync)")
    echo "run $i: bench_cut ${bench_ms[-1]} ms ($details), dd ${dd_ms[-1]} ms," \
        "dd conv=fsync ${dd_sync_ms[-1]} ms, dd bs=1G conv=fsync ${dd_whole_ms[-1]} ms"
done

# Both copies must be the same bytes.
time_bench
dd if="$src" of="$theirs" bs=4M skip="$offset" count="$count" iflag=skip_bytes,count_bytes \
    status=none
cmp "$ours" "$theirs"
echo "outputs identical ($((count / mib)) MiB from offset $offset)"

b=$(median "${bench_ms[@]:0:runs}")
d=$(median "${dd_ms[@]}")
s=$(median "${dd_sync_ms[@]}")
w=$(median "${dd_whole_ms[@]}")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "median bench_cut:               $b ms"
echo "median dd bs=4M:                $d ms   ratio bench/dd: $(ratio "$b" "$d")"
echo "median dd bs=4M conv=fsync:     $s ms   ratio: $(ratio "$b" "$s")"
echo "median dd bs=1G conv=fsync:     $w ms   ratio: $(ratio "$b" "$w")"
echo "bench_cut peak memory:          $((rss_kib / 1024)) MiB (the range is $((count / mib)) MiB)"
