#!/usr/bin/env bash
# Checks a built Debian package: the files a user needs are inside, nothing that should stay out
# (tests, benchmarks, files outside /usr) is, and the run-time dependencies are declared.
#   packaging/check-deb.sh build/velquist-mp3-cutter_*.deb
set -euo pipefail
deb=${1:?usage: $0 package.deb}
id=io.github.velquist.Mp3Cutter
name=velquist-mp3-cutter

failures=0
fail() {
    echo "check-deb: $*" >&2
    failures=$((failures + 1))
}

listing=$(dpkg-deb -c "$deb")
# Path and, for links, the target: "./usr/bin/x -> ../lib/x/x".
paths=$(awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' <<<"$listing")

expect_path() {
    grep -qxF -- "$1" <<<"$paths" || fail "missing $1"
}
expect_path "./usr/bin/$name -> ../lib/$name/$name"
expect_path "./usr/lib/$name/$name"
expect_path "./usr/lib/$name/按钮.gif"
expect_path "./usr/lib/$name/按钮D.gif"
expect_path "./usr/share/applications/$id.desktop"
expect_path "./usr/share/metainfo/$id.metainfo.xml"
for size in 16 24 32 48 64 72 96 128 256; do
    expect_path "./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
done
grep -q "^-rwxr-xr-x .* ./usr/lib/$name/$name\$" <<<"$listing" ||
    fail "the program is not executable"

while read -r path; do
    case $path in
    ./usr/*) ;;
    *) fail "file outside /usr: $path" ;;
    esac
done < <(awk '{print $1}' <<<"$paths" | grep -v '^\./$\|^\./usr/$')
grep -E 'tst_|bench' <<<"$paths" && fail "tests or benchmarks are packaged"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == "$name" ]] || fail "package name is $(field Package)"
# One version and one address everywhere: the package, the AppStream release, the program itself.
version=$(field Version)
[[ $version == 1.2.2 ]] || fail "version is $version"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
metainfo=$unpacked/usr/share/metainfo/$id.metainfo.xml
grep -qF "<release version=\"$version\"" "$metainfo" || fail "AppStream release is not $version"
homepage=$(field Homepage)
grep -qF "<url type=\"homepage\">$homepage</url>" "$metainfo" ||
    fail "AppStream homepage is not the package's $homepage"
# The About box names the home from the address compiled into the program.
grep -qaF "$homepage" "$unpacked/usr/lib/$name/$name" ||
    fail "the program does not carry the package's homepage $homepage"
shown=$("$unpacked/usr/lib/$name/$name" --version) || fail "the program's --version failed"
[[ $shown == *" $version" ]] || fail "the program shows version \"$shown\", the package $version"
[[ $(field Section) == sound ]] || fail "section is $(field Section)"
[[ -n $(field Maintainer) ]] || fail "no maintainer"
[[ -n $(field Description) ]] || fail "no description"

# Run-time dependencies, one name each: Qt's libraries and libmpg123 (found by dpkg-shlibdeps),
# Qt's translations and a font with Chinese characters. The program plays without GStreamer.
depends=$(field Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6 libmpg123-0 \
    qt6-translations-l10n fonts-wqy-microhei; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package"
done
# Build-time packages must not be dragged onto users' machines.
grep -qE -- '-dev( |,|$)' <<<"$depends" && fail "Depends names a -dev package"
grep -qi gstreamer <<<"$depends" && fail "Depends names GStreamer"
# The desktop's own file dialogs come with Qt's platform themes.
recommends=$(field Recommends)
for package in qt6-xdgdesktopportal-platformtheme qt6-gtk-platformtheme; do
    grep -qE "(^|, )$package( |,|$)" <<<"$recommends" || fail "Recommends lacks $package"
done

if ((failures)); then
    echo "check-deb: $failures problem(s) in $deb" >&2
    exit 1
fi
echo "check-deb: $deb is complete"
echo "Depends: $depends"
echo "Recommends: $recommends"
