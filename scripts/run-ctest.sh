#!/usr/bin/env bash
# Runs CTest in the current build folder once, inside a sound server of its own (arguments go to
# ctest). The tests that play through Qt Multimedia's real GStreamer pipeline meet a known
# intermittent fault that is not ours to mend here: now and then a freshly built pipeline never
# starts moving (seen in about one run of tst_player in ten, with any audio sink). When only those
# tests failed, they run once more, and the output says so; any other failure fails at once.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
real_player_tests=" tst_player tst_endtoend "

if "$here/with-sound-server.sh" ctest --output-on-failure "$@"; then
    exit 0
fi
failed=$(cut -d: -f2 Testing/Temporary/LastTestsFailed.log)
for name in $failed; do
    [[ $real_player_tests == *" $name "* ]] || exit 1
done
echo "== once more, the real-player tests that failed (GStreamer's pipeline start stalled):" $failed
exec "$here/with-sound-server.sh" ctest --output-on-failure --rerun-failed "$@"
