#!/usr/bin/env bash
# Runs a command with a private PipeWire, its PulseAudio server and WirePlumber, and a null sink
# the command plays into (velquist_null, its monitor velquist_null.monitor), as
# scripts/with-sound-server.sh does with PulseAudio. For the player benchmark on PipeWire:
#   bench/with-pipewire.sh build/bin/bench_player SONG BEEPS
set -euo pipefail
for tool in pipewire pipewire-pulse wireplumber dbus-run-session pactl; do
    command -v "$tool" >/dev/null ||
        { echo "needs $tool (apt-get install pipewire pipewire-pulse wireplumber dbus)" >&2; exit 1; }
done
# WirePlumber needs a session bus; a private one comes with the run.
if [[ -z ${VELQUIST_PIPEWIRE_BUS:-} ]]; then
    VELQUIST_PIPEWIRE_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
runtime=$(mktemp -d "${TMPDIR:-/tmp}/velquist-pipewire.XXXXXX")
pids=()
stop_all() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$runtime"
}
trap stop_all EXIT
export XDG_RUNTIME_DIR=$runtime HOME=$runtime
pipewire 2>"$runtime/pipewire.log" &
pids+=($!)
sleep 0.5
wireplumber 2>"$runtime/wireplumber.log" &
pids+=($!)
pipewire-pulse 2>"$runtime/pipewire-pulse.log" &
pids+=($!)
export PULSE_SERVER=unix:$runtime/pulse/native
for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.2
done
pactl load-module module-null-sink sink_name=velquist_null >/dev/null || { cat "$runtime"/*.log >&2; exit 1; }
pactl set-default-sink velquist_null || { cat "$runtime"/*.log >&2; exit 1; }
sleep 0.5
pactl info | grep -E '^(Server Name|Default Sink)'
"$@"
