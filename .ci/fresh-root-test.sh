#!/usr/bin/env bash
# Runs the README's test command the way a newcomer would: in a minimal Debian 12 root made for
# the run, on a fresh clone of the commit at hand, with nothing of this machine's packages or
# fonts. Everything it made is torn down afterwards, also when a step fails. Needs root.
#   .ci/fresh-root-test.sh [MIRROR]
set -euo pipefail
cd "$(dirname "$0")/.."

# The archive apt already uses here, unless one is given.
mirror=${1:-$(sed -n 's/^URIs: *\([^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources \
    2>/dev/null | head -n1)}
mirror=${mirror:-http://deb.debian.org/debian}

root=$(mktemp -d "${TMPDIR:-/var/tmp}/velquist-fresh-root.XXXXXX")
teardown() {
    # Whatever the tests left running inside (a sound server, an X server) goes first, or the
    # mounts stay busy.
    for proc in /proc/[0-9]*; do
        [[ $(readlink "$proc/root" 2>/dev/null) == "$root" ]] && kill -9 "${proc#/proc/}" 2>/dev/null
    done
    sleep 0.5
    for mount in dev sys proc; do
        umount -R "$root/$mount" 2>/dev/null || umount -R -l "$root/$mount" 2>/dev/null || true
    done
    rm -rf --one-file-system "$root"
}
trap teardown EXIT

echo "== a minimal Debian 12 root from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 || {
    tail -n 30 "$root.debootstrap.log" >&2
    rm -f "$root.debootstrap.log"
    exit 1
}
rm -f "$root.debootstrap.log"

# The same archive sections and apt settings as this machine's, so the root sees the same
# package versions; name resolution for apt inside.
if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/"
    rm -f "$root/etc/apt/sources.list"
fi
cp /etc/apt/apt.conf.d/99artifact-registry "$root/etc/apt/apt.conf.d/" 2>/dev/null || true
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --make-rslave "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"

echo "== a fresh clone of $(git rev-parse --short HEAD)"
git clone --quiet --no-hardlinks "$PWD" "$root/root/velquist"
git -C "$root/root/velquist" checkout --quiet --detach "$(git rev-parse HEAD)"

echo "== the README's test command inside it"
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /root/velquist && scripts/test.sh'
