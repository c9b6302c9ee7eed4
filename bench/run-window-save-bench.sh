#!/usr/bin/env bash
# Saves a 1.5 GiB stretch through the running program, as a user would (under Xvfb, driven with
# xdotool: open, mark the start at once, stretch to the end of the file, save), and compares the
# time from confirming the Save dialog to the success box with dd conv=fsync copying the same
# bytes. Also reports how much the program grew while saving, and checks that clicks made during
# the save ran nothing. Needs xvfb, xdotool and a built program.
#   bench/run-window-save-bench.sh [BUILD_DIR]
set -euo pipefail
[[ -n ${TRACE:-} ]] && set -x

build=${1:-build}
program=$(realpath "$build/bin/velquist-mp3-cutter")
[[ -x $program ]] || { echo "no $program: build the project first" >&2; exit 1; }
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

mib=$((1024 * 1024))
source_mib=1536
work=$(mktemp -d "${TMPDIR:-/work}/window-bench.XXXXXX")
cleanup() {
    [[ -n ${app_pid:-} ]] && kill "$app_pid" 2>/dev/null
    [[ -n ${x_pid:-} ]] && kill "$x_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

src=$work/source.mp3
ours=$work/cut.mp3
theirs=$work/dd.mp3

echo "making a ${source_mib} MiB MP3 in $work ..."
"$(dirname "$0")/make-long-mp3.sh" "$src" "$source_mib"
cat "$src" >/dev/null
sync

source "$(dirname "$0")/window-driver.sh"
start_program "$program" "$work/program.log"

open_dialogs() { { xdotool search --all --pid "$app_pid" --name '^打开$' 2>/dev/null || true; } | wc -l; }

click "${open_button[@]}"
answer_dialog 打开 "$src"
xdotool key Return
sleep 3 # playback starts; the start is marked near its beginning
click "${start_button[@]}"
click "${to_end_button[@]}"
sleep 0.5

click "${save_button[@]}"
answer_dialog 另存为 "$ours"
echo 5 >"/proc/$app_pid/clear_refs" # peak memory from here on
rss_before=$(awk '/^VmRSS/ { print $2 }' "/proc/$app_pid/status")
t0=$(date +%s%N)
xdotool key Return
# Clicks on "打开mp3" and keys while the copy runs must run nothing.
sleep 0.3
click "${open_button[@]}"
xdotool key ctrl+o
until xdotool search --all --pid "$app_pid" --name '恭喜你' >/dev/null 2>&1; do
    if ! kill -0 "$app_pid" 2>/dev/null; then echo "the program ended" >&2; exit 1; fi
    sleep 0.02
done
t1=$(date +%s%N)
peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$app_pid/status")
opened=$(open_dialogs)
xdotool key Return # close the success box
sleep 0.5
window_ms=$(((t1 - t0) / 1000000))

# The piece may begin with a fresh header frame, and so even be longer than the source when the
# start was marked at its very beginning; dd copies as many of the source's last bytes.
size=$(stat -c %s "$ours")
src_size=$(stat -c %s "$src")
((size <= src_size)) || size=$src_size
skip=$((src_size - size))
rm -f "$theirs"
sync
t0=$(date +%s%N)
dd if="$src" of="$theirs" bs=4M skip="$skip" count="$size" iflag=skip_bytes,count_bytes \
    conv=fsync status=none
t1=$(date +%s%N)
dd_ms=$(((t1 - t0) / 1000000))
same_audio_end "$src" "$ours"

echo "saved $((size / mib)) MiB through the window in $window_ms ms;" \
    "dd conv=fsync on the same bytes $dd_ms ms;" \
    "ratio $(awk -v a="$window_ms" -v b="$dd_ms" 'BEGIN { printf "%.2f", a / b }')"
echo "the program grew by $(((peak - rss_before) / 1024)) MiB while saving"
if ((opened)) || (($(open_dialogs))); then
    echo "a click during the save opened the Open dialog" >&2
    exit 1
fi
echo "a click on 打开mp3 and Ctrl+O during the save ran nothing"
