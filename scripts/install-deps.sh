#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Lumenveil need.
# Idempotent: asks apt only when a package is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libjpeg62-turbo-dev   # the JPEG decoder
    libpng-dev            # the PNG decoder
    libgif-dev            # the GIF decoder
    libjpeg-turbo-progs time # djpeg, the benchmark's reference decoder; GNU time, its memory gauge
    python3-pil           # an independent decoder the tests check ours against
    xvfb xauth x11-utils xdotool imagemagick # a real X display, keys, mouse and screenshots for the window test
    clang libclang-rt-14-dev # the fuzz targets (libFuzzer)
    dpkg-dev file         # cpack -G DEB
    help2man              # the manual page of lumenveil-cli, made from its --help
    groff-base appstream desktop-file-utils lintian # what the install test checks with
    gcovr                 # scripts/coverage.sh
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
