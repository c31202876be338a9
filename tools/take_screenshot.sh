#!/usr/bin/env bash
# Takes docs/screenshot.png: runs the screenshot tool (the desktop program's window, driven by a
# script) under a virtual X server with the sample panorama loaded, saves the window and quits.
# The sample is loaded from a neutral folder, /tmp/pictures, because the path field shows where
# it came from. Builds nothing.
#
#   tools/take_screenshot.sh [path/to/k3v-screenshot] [output.png] [options...]
#
# Defaults: build/app/k3v-screenshot and docs/screenshot.png, relative to the repository. Further
# options go to the tool: --dialogs FOLDER also saves the splash screen, the About box and a
# balloon; --states FOLDER saves the window's disabled, focused and opened states for checking.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
binary="${1:-$repo/build/app/k3v-screenshot}"
output="${2:-$repo/docs/screenshot.png}"
shift $(($# < 2 ? $# : 2))
sample="$repo/resources/samples/sample_panorama.jpg"
shown_folder=/tmp/pictures
picture="$shown_folder/sample_panorama.jpg"

if [[ ! -x "$binary" ]]; then
    echo "take_screenshot.sh: no program at $binary (build the k3v-screenshot target first)" >&2
    exit 2
fi
if [[ ! -f "$sample" ]]; then
    echo "take_screenshot.sh: sample picture missing: $sample" >&2
    exit 2
fi
command -v xvfb-run >/dev/null || { echo "take_screenshot.sh: xvfb-run not found" >&2; exit 2; }

mkdir -p "$shown_folder"
cp "$sample" "$picture"
trap 'rm -f "$picture"; rmdir "$shown_folder" 2>/dev/null || true' EXIT

mkdir -p "$(dirname "$output")"
rm -f "$output"
xvfb-run -a -s "-screen 0 1280x1024x24" "$binary" "$picture" "$output" "$@"
if [[ ! -s "$output" ]]; then
    echo "take_screenshot.sh: no screenshot was written" >&2
    exit 1
fi
echo "wrote $output"
