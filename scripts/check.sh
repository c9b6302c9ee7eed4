#!/usr/bin/env bash
# Release checks, run after scripts/build.sh has built build/ and every test has passed: formatting,
# the Python linter, the tests again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# installed layout and desktop files, the Debian package, the Windows version resource and the
# start-up benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh desktop-file-utils appstream dpkg-dev fakeroot binutils-mingw-w64-x86-64 \
    python3 flake8

step() { printf '\n== %s\n' "$*"; }

step "formatting"
scripts/check-format.sh

step "Python lint"
git ls-files -z -- '*.py' | xargs -0 flake8
echo "flake8: clean"

step "install layout, desktop entry, AppStream metadata"
packaging/check-install.sh build

step "Debian package"
rm -f build/velquist-mp3-cutter_*.deb
(cd build && cpack -G DEB)
deb=$(ls build/velquist-mp3-cutter_*.deb)
packaging/check-deb.sh "$deb"
# Resolves the dependencies against the archive without installing anything.
apt-get install --simulate --no-install-recommends "./$deb" >/dev/null
echo "apt-get: the package's dependencies resolve"

step "Windows version resource"
packaging/check-windows-rc.sh build

step "start-up time (reported, not enforced: a shared machine's timing is too noisy to gate on)"
build/bin/bench_startup --runs 11 2>/dev/null

step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/test-sanitizers.sh
