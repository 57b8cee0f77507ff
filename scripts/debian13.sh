#!/usr/bin/env bash
# scripts/debian13.sh COMMAND [ARGS...]: runs a command of the project (scripts/test.sh, scripts/run-demo.sh, ...)
# in a clone of the current commit on a fresh Debian 13 (trixie), from any Debian machine, as root or with sudo.
#
# Debian 13 brings other compilers and Wine 10, which answers the screen scale and draws fonts as Windows does
# where Wine 8 does not, so the project is tried on both. The base root (debootstrap's minbase with git, from the
# mirror that apt's sources name) is made once and kept in $TOVIRA_DEBIAN13_CACHE (/var/cache/tovira-debian13),
# with the packages that apt downloads there. Every run works in a copy of it, so that the command meets a machine
# on which nothing has been installed by hand, and the project's own setup installs what it needs. The copy, its
# mounts and its processes go at the end, also after a failure; TOVIRA_DEBIAN13_KEEP=1 keeps the copy to look
# into. build/demo-screenshot.png, where the command leaves one, comes back as build/debian13/demo-screenshot.png.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]   (for example: $0 scripts/test.sh)" >&2; exit 2; }
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${TOVIRA_DEBIAN13_CACHE:-/var/cache/tovira-debian13}
base=$cache/root

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The plain mirror of apt's own sources: a dated snapshot, written as a comment there, ends before Debian 13.
debian_mirror() {
    local url
    url=$(grep -hsoE '^[^#]*(URIs:|deb)[[:space:]]+https?://[^[:space:]]+/debian/?([[:space:]]|$)' \
        /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list |
        grep -v snapshot | grep -oE 'https?://[^[:space:]]+' | head -n 1 || true)
    echo "${url:-http://deb.debian.org/debian}"
}

make_base() {
    [ -x "$base/usr/bin/git" ] && return 0
    command -v debootstrap >/dev/null 2>&1 ||
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap
    local mirror
    mirror=$(debian_mirror)
    echo "debian13: making the base root in $base from $mirror"
    as_root rm -rf "$base.new"
    as_root mkdir -p "$cache/archives/partial"
    as_root debootstrap --variant=minbase --include=git,ca-certificates,sudo \
        --cache-dir="$cache/archives" trixie "$base.new" "$mirror"
    as_root mv "$base.new" "$base"
}

work=
mounts=()
cleanup() {
    local i m busy=0
    if [ -n "$work" ] && [ -d "$work/root" ]; then
        # Whatever the command left running inside (wineserver, Xvfb) holds the mounts.
        for pid in $(as_root ls /proc | grep -E '^[0-9]+$'); do
            [ "$(as_root readlink "/proc/$pid/root" 2>/dev/null)" = "$work/root" ] && as_root kill -9 "$pid" 2>/dev/null
        done
    fi
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        m=${mounts[i]}
        as_root umount "$m" 2>/dev/null || as_root umount -l "$m" 2>/dev/null || busy=1
    done
    [ -n "$work" ] || return 0
    if [ "$busy" -eq 1 ] || grep -q " $work/" /proc/self/mounts; then
        echo "debian13: something is still mounted under $work; left in place" >&2
    elif [ -n "${TOVIRA_DEBIAN13_KEEP:-}" ]; then
        echo "debian13: the root is kept in $work/root"
    else
        as_root rm -rf "$work"
    fi
}
trap cleanup EXIT

bind() { # bind SOURCE TARGET-INSIDE-ROOT
    as_root mkdir -p "$work/root$2"
    as_root mount --bind "$1" "$work/root$2"
    mounts+=("$work/root$2")
}

make_base
work=$(mktemp -d /var/tmp/tovira-debian13.XXXXXX)
as_root cp -a "$base" "$work/root"
as_root cp /etc/resolv.conf "$work/root/etc/resolv.conf"
as_root mount -t proc proc "$work/root/proc" && mounts+=("$work/root/proc")
bind /sys /sys
bind /dev /dev
bind /dev/pts /dev/pts
as_root mount -t tmpfs -o mode=1777 shm "$work/root/dev/shm" && mounts+=("$work/root/dev/shm")
bind "$cache/archives" /var/cache/apt/archives
# X servers share the host's network, so their sockets' names too: the host's displays are seen as taken inside.
as_root mkdir -p /tmp/.X11-unix && as_root chmod 1777 /tmp/.X11-unix
bind /tmp/.X11-unix /tmp/.X11-unix

commit=$(git -C "$repo" rev-parse HEAD)
as_root git clone -q --no-hardlinks "$repo" "$work/root/src"
as_root git -C "$work/root/src" checkout -q "$commit"
echo "debian13: running $* in a clone of $commit on $(as_root cat "$work/root/etc/debian_version")"

status=0
# No display of the host's: the commands make their own virtual one, as on a fresh machine.
as_root chroot "$work/root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /src && exec "$@"' debian13 "$@" || status=$?

if [ -f "$work/root/src/build/demo-screenshot.png" ]; then
    mkdir -p "$repo/build/debian13"
    cp "$work/root/src/build/demo-screenshot.png" "$repo/build/debian13/demo-screenshot.png"
    echo "debian13: screenshot: $repo/build/debian13/demo-screenshot.png"
fi
exit "$status"
