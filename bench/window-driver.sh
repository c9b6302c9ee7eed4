# Drives the program's main window with xdotool, as a user would; sourced by the benchmarks that
# run the program under Xvfb. They set `window` (the main window's id) and `app_pid` first.

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
