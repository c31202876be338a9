#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test both programs.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins libgl-dev
    libjpeg62-turbo-dev libturbojpeg0-dev libjpeg-turbo-progs libtiff-dev libtiff-tools libpng-dev
    libexiv2-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    imagemagick xvfb xauth time
    python3-pil libimage-exiftool-perl clang libclang-rt-14-dev
    groff man-db appstream desktop-file-utils dpkg-dev file lintian parallel
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
