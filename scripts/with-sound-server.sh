#!/usr/bin/env bash
# Runs a command with a sound server of its own: PulseAudio with one null sink, which plays in
# real time against its own clock as a desktop's sound card would, and no hardware. Without it
# the player has no sound output and plays against the clock alone, and the tests that listen
# would hear nothing. The server is private to this run (its own runtime folder and
# socket), so parallel runs and a desktop's own server are not disturbed; it goes with the
# command.
#   scripts/with-sound-server.sh ctest --output-on-failure
set -euo pipefail

runtime=$(mktemp -d "${TMPDIR:-/tmp}/velquist-sound.XXXXXX")
server_pid=""
stop_server() {
    if [[ -n $server_pid ]]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$runtime"
}
trap stop_server EXIT

# Run as root under CI: PulseAudio warns that it is meant for a user session and carries on.
HOME=$runtime XDG_RUNTIME_DIR=$runtime pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --realtime=no --high-priority=yes --log-target=stderr \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$runtime/native" \
    -L "module-null-sink sink_name=velquist_null" 2>"$runtime/server.log" &
server_pid=$!

export PULSE_SERVER=unix:$runtime/native
# For the tests that stop, kill and restart the server.
export VELQUIST_SOUND_SERVER_PID=$server_pid
for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.2
done
if ! pactl info 2>/dev/null | grep -q '^Default Sink: velquist_null$'; then
    echo "with-sound-server: PulseAudio did not start:" >&2
    cat "$runtime/server.log" >&2
    exit 1
fi

"$@"
