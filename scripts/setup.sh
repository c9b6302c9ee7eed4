#!/usr/bin/env bash
# Installs what building, running and testing the program need on Debian 12.
# Extra package names given as arguments are installed as well (scripts/check.sh adds its tools).
set -euo pipefail

packages=(
    cmake ninja-build g++ clang-format
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6multimedia6 qt6-translations-l10n
    libgl-dev pkg-config libmpg123-dev libmpg123-0
    pulseaudio pulseaudio-utils
    fonts-wqy-microhei
    lame sox libsox-fmt-mp3 ffmpeg mpg123 xvfb xauth openbox xdotool wmctrl
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
