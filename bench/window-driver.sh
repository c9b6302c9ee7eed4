# Drives the program's main window with xdotool, as a user would; sourced by the benchmarks that
# run the program under Xvfb. They call start_program first and kill x_pid and app_pid at exit.
# shellcheck shell=bash

# start_program PROGRAM LOG: Xvfb on a free-looking display and the program on it; sets x_pid,
# app_pid and window (the main window's id).
start_program() {
    export DISPLAY=:$((90 + RANDOM % 100))
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    # shellcheck disable=SC2034 # killed by the caller's cleanup
    x_pid=$!
    for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
    QT_QPA_PLATFORM=xcb "$1" >"$2" 2>&1 &
    app_pid=$!
    window=$(xdotool search --all --sync --pid "$app_pid" --name 'Velquistmp3' | head -n 1)
}

# Button centres in the window, in pixels (the layout's twips / 15, plus half the face).
click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
}
# shellcheck disable=SC2034 # used by the scripts that source this file
open_button=(69 110) start_button=(162 110) to_end_button=(347 110) save_button=(139 150)

# Types a path into the file dialog of that title once it is up (there is no window manager to
# give it the focus).
answer_dialog() {
    local dialog
    dialog=$(xdotool search --all --sync --pid "$app_pid" --name "^$1\$" | head -n 1)
    xdotool windowfocus --sync "$dialog"
    xdotool type --delay 5 "$2"
    sleep 0.3
}

# same_audio_end SOURCE PIECE: the piece ends with the source's own last bytes. Its first few KiB
# are left out: a saved piece may begin with a fresh header frame before the copied audio.
same_audio_end() {
    local length=$(($(stat -c %s "$2") - 8192))
    ((length > 0)) || length=0
    cmp <(tail -c "$length" "$1") <(tail -c "$length" "$2")
}
