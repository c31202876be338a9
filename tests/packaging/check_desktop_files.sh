#!/bin/bash
# The files a desktop reads about the programs: the man pages render without a warning and
# name every option the programs accept; the menu entry and the AppStream metadata validate.
#
#   check_desktop_files.sh SOURCE_DIR K3V_CONVERT K3V_STEREO
set -euo pipefail
source_dir=$1 convert=$2 stereo=$3
resources=$source_dir/resources
status=0
fail() { echo "FAIL: $*"; status=1; }

for page in "$resources"/man/*.1; do
    # -ww: every warning groff knows; man's own formatting at a fixed width.
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# Each option of a usage text must be in its man page (written there as \-\-name).
check_options() {
    local usage=$1 page=$2
    for option in $(grep -oE '^ +(-[a-z], )?--[a-z-]+' <<<"$usage" | grep -oE -- '--[a-z-]+$'); do
        grep -qF -- "${option//-/\\-}" "$page" || fail "$(basename "$page") lacks $option"
    done
}
# The pages carry the programs' version in their title line.
version=$("$convert" --version | cut -d' ' -f2)
for page in "$resources"/man/*.1; do
    grep -q "^\.TH .*\"k3v-stereo $version\"" "$page" || fail "$(basename "$page") is not of version $version"
done
check_options "$("$convert" --help)" "$resources/man/k3v-convert.1"
check_options "$("$stereo" --help)" "$resources/man/k3v-stereo.1"

appstreamcli validate --no-net --pedantic "$resources"/*.metainfo.xml >/dev/null ||
    fail "$(appstreamcli validate --no-net --pedantic "$resources"/*.metainfo.xml)"
if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$resources/k3v-stereo.desktop") || fail "desktop entry: $out"
    [ -z "$out" ] || fail "desktop entry: $out"
fi
grep -qx 'Exec=k3v-stereo %F' "$resources/k3v-stereo.desktop" || fail "Exec= takes no files"
exit $status
