#!/usr/bin/env bash
# Installs the Debian packages Kapto needs to build, test and run, when any is missing.
# Usage: scripts/deps.sh [run|test]
set -euo pipefail

packages=(cmake make g++ pkg-config zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libcli11-dev
          qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic)
if [ "${1:-run}" = test ]; then
    packages+=(libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libgif-dev clang
               libclang-rt-14-dev clang-format xvfb xauth libjpeg-turbo-progs pngcheck)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
