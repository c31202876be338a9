#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test both programs.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins libgl-dev
    libjpeg62-turbo-dev libturbojpeg0-dev libjpeg-turbo-progs libtiff-dev libtiff-tools libpng-dev
    libdeflate-dev
    libexiv2-dev
    libopencv-dev
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

# Another apt run (the daily update or unattended upgrades, often just after boot) may hold
# apt's locks: wait for it up to this many seconds rather than fail at once.
lock_wait=900

# apt-get update takes the package lists' lock without waiting (DPkg::Lock::Timeout covers
# only dpkg's), so it is tried again while the lock is held by someone else.
update_package_lists() {
    local log deadline=$((SECONDS + lock_wait))
    log=$(mktemp)
    until $sudo env LC_ALL=C apt-get update -qq 2>"$log"; do
        if ! grep -q "Could not get lock" "$log" || [ "$SECONDS" -ge "$deadline" ]; then
            cat "$log" >&2
            rm -f "$log"
            return 1
        fi
        [ -n "${waited:-}" ] || echo "Waiting for another apt run to finish..."
        waited=1
        sleep 5
    done
    cat "$log" >&2
    rm -f "$log"
}

echo "Installing: ${missing[*]}"
update_package_lists
$sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout="$lock_wait" \
    install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
