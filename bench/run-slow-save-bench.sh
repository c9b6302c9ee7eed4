#!/usr/bin/env bash
# Long saves through the running program (under Xvfb, driven with xdotool as a user would):
#  1. a ~200 MB piece saved to a slow disk (bench/slowfs.py: a FUSE folder whose writes are paced
#     to about 10 MB/s): the time from confirming the Save dialog to the progress window, whether
#     its text moves, the whole save's time, and the longest stretch in which the window's thread
#     processed no events, sync included;
#  2. the same piece saved over an existing file on that disk and cancelled with Esc after two
#     seconds: the time from Esc to the window being free, and that the old file is byte-identical
#     with no stray file beside it;
#  3. a 1 GiB piece saved to the ordinary disk: its longest stretch without events.
# The stretches come from strace's record of the window thread's event polls (glib polls two or
# more descriptors; a wait on the X server alone polls one and is not counted as event handling).
# Needs xvfb, xdotool, strace, imagemagick, python3-fusepy, /dev/fuse and root. Not run by CI.
#   bench/run-slow-save-bench.sh [BUILD_DIR]
set -euo pipefail
[[ -n ${TRACE:-} ]] && set -x

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
program=$(realpath "$build/bin/velquist-mp3-cutter")
[[ -x $program ]] || { echo "no $program: build the project first" >&2; exit 1; }
for tool in Xvfb xdotool strace import fusermount; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
/usr/bin/python3 -c 'import fusepy' 2>/dev/null || { echo "needs python3-fusepy" >&2; exit 1; }

mib=$((1024 * 1024))
piece_mib=${PIECE_MIB:-196}
large_mib=${LARGE_MIB:-1024}
work=$(mktemp -d "${TMPDIR:-/work}/slow-save-bench.XXXXXX")
cleanup() {
    [[ -n ${trace_pid:-} ]] && kill "$trace_pid" 2>/dev/null
    [[ -n ${app_pid:-} ]] && kill "$app_pid" 2>/dev/null
    [[ -n ${x_pid:-} ]] && kill "$x_pid" 2>/dev/null
    mountpoint -q "$work/stick" && fusermount -u "$work/stick"
    rm -rf "$work"
}
trap cleanup EXIT

now_ns() { date +%s%N; }
ms_since() { echo $((($(now_ns) - $1) / 1000000)); }

echo "making a ${piece_mib} MiB and a ${large_mib} MiB MP3 in $work ..."
"$here/make-long-mp3.sh" "$work/piece.mp3" "$piece_mib"
"$here/make-long-mp3.sh" "$work/large.mp3" "$large_mib"
cat "$work/piece.mp3" "$work/large.mp3" >/dev/null

mkdir "$work/stick-files" "$work/stick"
/usr/bin/python3 "$here/slowfs.py" "$work/stick-files" "$work/stick" 10 \
    >"$work/slowfs.log" 2>&1 &
for _ in $(seq 50); do mountpoint -q "$work/stick" && break; sleep 0.1; done
mountpoint -q "$work/stick" || { echo "the slow disk did not mount" >&2; exit 1; }
t0=$(now_ns)
dd if=/dev/zero of="$work/stick/speed" bs=1M count=20 conv=fsync status=none
stick_ms=$(ms_since "$t0")
rm "$work/stick/speed"

source "$(dirname "$0")/window-driver.sh"
start_program "$program" "$work/program.log"

# The progress window carries the program's bare name; the main window adds its version.
progress_window() {
    xdotool search --all --onlyvisible --pid "$app_pid" --name '^Velquistmp3剪切器$' 2>/dev/null |
        head -n 1 || true
}

# finish_timed_save SOURCE TARGET: for a save confirmed at t0 and traced, waits for the success
# box and sets timed_ms (the whole save), timed_gap (the longest stretch without events) and
# timed_save_gap (the same within the save itself).
finish_timed_save() {
    local t1
    wait_for_success
    t1=$(now_ns)
    stop_trace
    timed_ms=$(((t1 - t0) / 1000000))
    timed_gap=$(longest_gap "$t0" "$t1")
    timed_save_gap=$(save_gap "$t0" "$1" "$2")
}

# Sets progress to the progress window's id once it is up.
await_progress_window() {
    local since
    since=$(now_ns)
    progress=
    until [[ -n $progress ]]; do
        progress=$(progress_window)
        (($(ms_since "$since") < 10000)) || { echo "no progress window within 10 s" >&2; exit 1; }
    done
}

open_and_mark() {
    click "${open_button[@]}"
    answer_dialog 打开 "$1"
    xdotool key Return
    sleep 2
    click "${start_button[@]}"
    click "${to_end_button[@]}"
    sleep 0.5
}

mark_again() {
    click "${start_button[@]}"
    click "${to_end_button[@]}"
    sleep 0.5
}

# Polls of the window thread, with their times, while a save runs; and its checks for files, renames
# and links, which tell when the save itself begins and ends.
start_trace() {
    rm -f "$work/polls.log"
    strace -ttt -T -e trace=poll,ppoll,access,rename,linkat -p "$app_pid" -o "$work/polls.log" 2>/dev/null &
    trace_pid=$!
    # Attached once the first poll is recorded (the clock ticks every second).
    for _ in $(seq 100); do [[ -s $work/polls.log ]] && break; sleep 0.05; done
}
stop_trace() {
    kill "$trace_pid" 2>/dev/null
    wait "$trace_pid" 2>/dev/null || true
    trace_pid=
}

# Longest time from the end of one event poll to the start of the next between the two times
# (ns), and when it began.
longest_gap() {
    awk -v from="$(($1 / 1000))" -v to="$(($2 / 1000))" '
        /^[0-9]+\.[0-9]+ p?poll\(/ {
            fds = $0
            sub(/.*\], /, "", fds)
            if (fds + 0 < 2) next
            split($1, t, ".")
            start = t[1] * 1000000 + t[2]
            took = $NF
            gsub(/[<>]/, "", took)
            if (start >= from && start <= to && last >= from && start - last > gap) {
                gap = start - last
                at = last - from
            }
            last = start + took * 1000000
        }
        END { printf "%.0f ms (from %.0f ms on)", gap / 1000, at / 1000 }' "$work/polls.log"
}

# When the window thread first made a call matching `text` from the given time on, in ns. The
# save begins with a look at the source (before it, Qt's file dialog closes and writes its
# history to ~/.config/QtProject.conf, syncing it twice) and ends when the new file takes the
# target's name (after it, the success box is built).
first_call() {
    awk -v from="$(($1 / 1000))" -v text="$2" '
        index($0, text) {
            split($1, t, ".")
            if (t[1] * 1000000 + t[2] >= from) {
                printf "%s%s000", t[1], t[2]
                exit
            }
        }' "$work/polls.log"
}
# The longest stretch without events of the save itself, from its start to its end.
save_gap() { # since, source, target
    local began ended
    began=$(first_call "$1" "access(\"$2\"")
    ended=$(first_call "$1" ", \"$3\")")
    # A new file is linked into place rather than renamed where the file system allows it.
    [[ -n $ended ]] || ended=$(first_call "$1" "\"$3\", AT_SYMLINK_FOLLOW")
    if [[ -z $began || -z $ended ]]; then
        echo "(not found in the trace)"
    else
        longest_gap "$began" "$ended"
    fi
}

wait_for_success() {
    until xdotool search --all --pid "$app_pid" --name '恭喜你' >/dev/null 2>&1; do
        kill -0 "$app_pid" 2>/dev/null || { echo "the program ended" >&2; exit 1; }
        sleep 0.02
    done
}

# 1. A long save to the slow disk.
open_and_mark "$work/piece.mp3"
click "${save_button[@]}"
answer_dialog 另存为 "$work/stick/new.mp3"
start_trace
t0=$(now_ns)
xdotool key Return
await_progress_window
shown_ms=$(ms_since "$t0")
import -window "$progress" "$work/progress-1.png"
sleep 1
import -window "$progress" "$work/progress-2.png"
moving=$(cmp -s "$work/progress-1.png" "$work/progress-2.png" && echo "did not move" || echo moved)
finish_timed_save "$work/piece.mp3" "$work/stick/new.mp3"
slow_ms=$timed_ms slow_gap=$timed_gap slow_save_gap=$timed_save_gap
xdotool key Return
sleep 0.5
same_audio_end "$work/piece.mp3" "$work/stick-files/new.mp3"
saved=$(stat -c %s "$work/stick-files/new.mp3")

# 2. The same over an existing file, cancelled.
head -c $((3 * mib)) /dev/urandom >"$work/stick-files/old.mp3"
cp "$work/stick-files/old.mp3" "$work/old-copy.mp3"
mark_again
click "${save_button[@]}"
answer_dialog 另存为 "$work/stick/old.mp3"
xdotool key Return
sleep 0.5
# Qt's own question whether to replace the file: its mnemonic for yes.
confirm=$(xdotool search --all --pid "$app_pid" --name '^另存为$' | tail -n 1)
xdotool windowfocus --sync "$confirm"
xdotool key y
await_progress_window
sleep 2
xdotool windowfocus --sync "$progress"
t0=$(now_ns)
xdotool key Escape
while [[ -n $(progress_window) ]]; do
    (($(ms_since "$t0") < 10000)) || { echo "the progress window stayed" >&2; exit 1; }
done
cancel_ms=$(ms_since "$t0")
sleep 0.5
cmp "$work/old-copy.mp3" "$work/stick-files/old.mp3"
left=$(ls -A "$work/stick-files" | tr '\n' ' ')
succeeded=$({ xdotool search --all --pid "$app_pid" --name "恭喜你" 2>/dev/null || true; } | wc -l)
fusermount -u "$work/stick"

# 3. A long save to the ordinary disk.
open_and_mark "$work/large.mp3"
click "${save_button[@]}"
answer_dialog 另存为 "$work/large-cut.mp3"
start_trace
t0=$(now_ns)
xdotool key Return
finish_timed_save "$work/large.mp3" "$work/large-cut.mp3"
large_ms=$timed_ms large_gap=$timed_gap large_save_gap=$timed_save_gap
large=$(stat -c %s "$work/large-cut.mp3")
xdotool key Return

echo "slow disk: 20 MiB by dd conv=fsync in $stick_ms ms" \
    "($(awk -v ms="$stick_ms" 'BEGIN { printf "%.1f", 20 * 1.048576 / ms * 1000 }') MB/s)"
echo "1. saved $((saved / mib)) MiB to it in $slow_ms ms; progress window after $shown_ms ms," \
    "its text $moving; longest stretch without events: $slow_save_gap in the save itself" \
    "(from its look at the source to the new file taking its name), $slow_gap from confirming the Save dialog" \
    "to the success box"
echo "2. Esc to the window free: $cancel_ms ms; old file byte-identical;" \
    "files left: $left; success boxes: $succeeded"
echo "3. saved $((large / mib)) MiB to the ordinary disk in $large_ms ms;" \
    "longest stretch without events: $large_save_gap in the save itself," \
    "$large_gap from confirming the Save dialog to the success box"
