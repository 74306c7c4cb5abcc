#!/usr/bin/env bash
# Installs the Debian packages Kapto needs to build, test and run, when any is missing.
# Usage: scripts/deps.sh [run|test|package]
#   run      what building and running Kapto needs
#   package  and what scripts/package.sh needs to build and check the Debian package
#   test     and everything ./test.sh needs (the package step included)
set -euo pipefail

mode="${1:-run}"
case "$mode" in
run | test | package) ;;
*)
    echo "usage: scripts/deps.sh [run|test|package]" >&2
    exit 2
    ;;
esac

packages=(cmake make g++ pkg-config zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libcli11-dev
          libacl1-dev qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
          fonts-ipafont-gothic)
if [ "$mode" = test ] || [ "$mode" = package ]; then
    # cpack -G DEB takes Depends from dpkg-shlibdeps (dpkg-dev); lintian checks the result.
    packages+=(dpkg-dev lintian)
fi
if [ "$mode" = test ]; then
    packages+=(libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libgif-dev clang
               libclang-rt-14-dev clang-format xvfb xauth libjpeg-turbo-progs pngcheck optipng
               openbox parallel)
    # Pillow reads crafted BMP and JPEG files as an independent decoder in the tests.
    packages+=(python3-pil)
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
