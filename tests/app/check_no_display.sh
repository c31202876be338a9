#!/bin/bash
# With no display to open, k3v-stereo says so and exits 1 (Qt alone aborts), both when none is
# named and when the one named cannot be opened; --help still answers.
#
#   check_no_display.sh K3V_STEREO
set -uo pipefail
stereo=$1
fail() { echo "FAIL: $*"; exit 1; }
tip="to convert without a window, use k3v-convert"
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$stereo" picture.jpg 2>&1; }

out=$(run)
status=$?
[ "$status" -eq 1 ] || fail "no display: exit status $status: $out"
[ "$out" = "k3v-stereo: no display found (DISPLAY and WAYLAND_DISPLAY are not set); $tip" ] ||
    fail "no display: $out"

# An X display number that no server holds here.
number=90
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
    number=$((number + 1))
done
out=$(run DISPLAY=":$number")
status=$?
[ "$status" -eq 1 ] || fail "display :$number: exit status $status: $out"
[ "$(tail -n 1 <<<"$out")" = "k3v-stereo: cannot open the display (DISPLAY=:$number); $tip" ] ||
    fail "display :$number: $out"

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stereo" --help) ||
    fail "--help without a display: $out"
grep -q '^Usage: k3v-stereo' <<<"$out" || fail "--help without a display: $out"
echo "k3v-stereo refuses cleanly without a display."
