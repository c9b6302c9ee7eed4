#!/usr/bin/env bash
# Installs the build into a scratch folder under the prefix /usr and checks the result: nothing
# lands outside the prefix, the desktop entry and the AppStream file pass their validators, and
# the program starts through its bin/ link.
#   packaging/check-install.sh [build folder]
set -euo pipefail
build=${1:-build}
id=io.github.velquist.Mp3Cutter
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
outside=$(find "$stage" -mindepth 1 -maxdepth 1 ! -name usr)
[[ -z $outside ]] || { echo "check-install: installed outside /usr: $outside" >&2; exit 1; }

desktop-file-validate "$stage/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$stage/usr/share/metainfo/$id.metainfo.xml"

# The link must lead to the real program, whose folder also holds the button faces.
launcher=$stage/usr/bin/velquist-mp3-cutter
[[ -L $launcher ]] || { echo "check-install: bin/velquist-mp3-cutter is not a link" >&2; exit 1; }
real=$(readlink -f "$launcher")
for face in 按钮.gif 按钮D.gif; do
    [[ -f $(dirname "$real")/$face ]] || { echo "check-install: $face not beside $real" >&2; exit 1; }
done
"$launcher" --version | grep -q '^Velquistmp3剪切器 ' ||
    { echo "check-install: $launcher --version does not answer" >&2; exit 1; }
# Still running after a few seconds: it started and shows its window; timeout's 124 says so.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "$launcher" 2>/dev/null || status=$?
[[ $status == 124 ]] || { echo "check-install: $launcher ended with $status" >&2; exit 1; }
echo "check-install: layout, desktop entry and metadata valid; starts through $launcher"
