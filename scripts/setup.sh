#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12), then configures and builds.
# Usage: scripts/setup.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

packages=(build-essential cmake pkg-config
          qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          fonts-liberation
          python3-dbfread libdbd-xbase-perl
          poppler-utils
          desktop-file-utils  # checks the menu entry (desktop/tallywick-inventory.desktop)
          clang libclang-rt-14-dev)  # the fuzz targets: clang with libFuzzer and the sanitizers

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
