#!/bin/bash
# Makes the Debian package with `cpack -G DEB` from a build tree and checks what it holds:
# both programs, the user guide, the menu entry, the metadata, the icons and the man pages,
# run-time dependencies computed from the binaries, and lintian's verdict where lintian is
# installed.
#
#   check_deb.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/k3v-stereo_*.deb)
contents=$(dpkg-deb --contents "$deb" | awk '{print $1 " " $NF}')

for path in ./usr/bin/k3v-stereo ./usr/bin/k3v-convert \
    ./usr/share/k3v-stereo/Quorvex_K3V.pdf ./usr/share/k3v-stereo/alignment_wiggle.gif \
    ./usr/share/applications/k3v-stereo.desktop \
    ./usr/share/metainfo/io.github.quorvex.k3v_stereo.metainfo.xml \
    ./usr/share/man/man1/k3v-convert.1.gz ./usr/share/man/man1/k3v-stereo.1.gz \
    ./usr/share/doc/k3v-stereo/copyright \
    ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/k3v-stereo.png; do
    grep -q " $path\$" <<<"$contents" || fail "not in the package: $path"
done
# Programs executable, everything else not; every entry owned by root.
grep -q '^-rwxr-xr-x .*/usr/bin/k3v-convert$' <<<"$contents" || fail "k3v-convert not 0755"
if grep -v '/usr/bin/' <<<"$contents" | grep -q '^-..x'; then fail "an executable data file"; fi
dpkg-deb --contents "$deb" | awk '$2 != "root/root" {exit 1}' || fail "files not owned by root"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libjpeg62-turbo libc6 qt6-qpa-plugins; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

if command -v lintian >/dev/null; then
    # Tags that describe how the package is made, not what it installs: no Debian changelog
    # or source package (cpack makes binary packages), and a vendor's own licence.
    lintian --fail-on error,warning --no-tag-display-limit \
        --suppress-tags no-changelog,debian-changelog-file-missing,unknown-section,copyright-without-copyright-notice,no-manual-page,extended-description-line-too-long \
        "$deb" || fail "lintian"
fi
exit $status
