#!/usr/bin/env bash
# Sets up, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh -DVELQUIST_WERROR=ON
cd build
# The player's tests play in real time into a sound server of their own.
QT_QPA_PLATFORM=offscreen ../scripts/with-sound-server.sh ctest --output-on-failure
