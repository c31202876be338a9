#!/usr/bin/env bash
# Installs what is needed, builds both programs and starts the desktop program.
# Without a display it converts the sample panorama with the batch tool instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"

if [ -x build/release/app/k3v-stereo ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec build/release/app/k3v-stereo
fi

echo "No display found (or no desktop program built): converting the sample panorama instead."
mkdir -p build/samples
build/release/cli/k3v-convert --depth 30 resources/samples/sample_panorama.jpg \
    -o build/samples/sample_panorama_Unwrapped.bmp
echo "Open build/samples/sample_panorama_Unwrapped.bmp with red/cyan glasses."
