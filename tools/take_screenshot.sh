#!/usr/bin/env bash
# Takes docs/screenshot.png: runs the built desktop program under a virtual X server with the
# sample panorama loaded, saves its window and quits. Builds nothing.
#
#   tools/take_screenshot.sh [path/to/k3v-stereo] [output.png]
#
# Defaults: build/app/k3v-stereo and docs/screenshot.png, relative to the repository.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
binary="${1:-$repo/build/app/k3v-stereo}"
output="${2:-$repo/docs/screenshot.png}"
picture="$repo/resources/samples/sample_panorama.jpg"

if [[ ! -x "$binary" ]]; then
    echo "take_screenshot.sh: no program at $binary (build the k3v-stereo target first)" >&2
    exit 2
fi
if [[ ! -f "$picture" ]]; then
    echo "take_screenshot.sh: sample picture missing: $picture" >&2
    exit 2
fi
command -v xvfb-run >/dev/null || { echo "take_screenshot.sh: xvfb-run not found" >&2; exit 2; }

mkdir -p "$(dirname "$output")"
rm -f "$output"
K3V_SCREENSHOT_LOAD="$picture" K3V_SCREENSHOT_OUT="$output" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$binary"
if [[ ! -s "$output" ]]; then
    echo "take_screenshot.sh: no screenshot was written" >&2
    exit 1
fi
echo "wrote $output"
