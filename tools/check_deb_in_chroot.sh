#!/bin/bash
# Installs the Debian package into a clean Debian 12 root made with debootstrap, as a user's
# `apt-get install ./k3v-stereo_*.deb` would, and runs both programs from it: the versions,
# the help texts, the man pages, and a conversion of the sample panorama. Then removes it.
# Slow the first time (debootstrap downloads a minimal system); later runs reuse the root.
# Needs root, debootstrap and Debian's archive; not part of tools/test.sh.
#
#   bash tools/check_deb_in_chroot.sh [BUILD_DIR] [ROOT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
root=${2:-/var/tmp/k3v-bookworm-root}
mirror=${K3V_DEBIAN_MIRROR:-http://deb.debian.org/debian}

work=$(mktemp -d)
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log"
deb=$(ls "$work"/k3v-stereo_*.deb)

if [ ! -x "$root/usr/bin/apt-get" ]; then
    echo "Making a Debian 12 root in $root (minbase)"
    debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" ||
        { tail -20 "$work/debootstrap.log"; exit 1; }
fi
mount -t proc proc "$root/proc"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }

in_root dpkg --purge k3v-stereo >/dev/null 2>&1 || true
cp "$deb" "$root/tmp/"
cp resources/samples/sample_panorama.jpg "$root/tmp/"
echo "Installing $(basename "$deb")"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "/tmp/$(basename "$deb")" man-db >"$work/install.log" || { cat "$work/install.log"; exit 1; }

set -x
in_root k3v-convert --version
in_root k3v-stereo --version
in_root k3v-convert --depth 30 /tmp/sample_panorama.jpg -o /tmp/pano_3d.jpg
in_root k3v-convert --depth 30 /tmp/sample_panorama.jpg -o /tmp/pano_3d.mpo
test "$(head -c 3 "$root/tmp/pano_3d.jpg" | od -An -tx1 | tr -d ' ')" = ffd8ff
in_root env MANWIDTH=80 man --warnings k3v-convert >/dev/null
in_root env MANWIDTH=80 man --warnings k3v-stereo >/dev/null
# The window itself, on the offscreen platform: it starts and shows its splash; ended after
# two seconds (a running program is the pass, exit status 124 from timeout).
status=0
in_root env QT_QPA_PLATFORM=offscreen timeout 2 k3v-stereo /tmp/sample_panorama.jpg || status=$?
test "$status" -eq 124
in_root apt-get remove -y -qq k3v-stereo >/dev/null
test ! -e "$root/usr/bin/k3v-convert"
set +x
echo "The package installs, runs and removes cleanly on Debian 12."
