#!/usr/bin/env bash
# Builds the Debian package build/package/kapto_VERSION_amd64.deb from a Release build.
# Usage: scripts/package.sh [BUILD_DIR]
# BUILD_DIR (default build/release) is reused when it exists, with the options it was
# configured with, so the programs are not built twice; a new one builds only what the
# package holds.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh package
build="${1:-build/release}"
out=build/package

# The package is made from the programs alone: "install" must not build the tests first.
options=(-DCMAKE_BUILD_TYPE=Release -DKAPTO_UI=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
if [ ! -f "$build/CMakeCache.txt" ]; then
    options+=(-DKAPTO_TESTS=OFF)
fi
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target kapto kapto-convert kapto_docs

version=$("$build/src/cli/kapto-convert" --version)
version=${version#kapto-convert }
if ! head -n 1 packaging/changelog | grep -q "^kapto ($version) "; then
    echo "package.sh: packaging/changelog has no entry for version $version on top" >&2
    exit 1
fi

rm -rf "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
deb="$out/kapto_${version}_amd64.deb"
if [ ! -f "$deb" ]; then
    echo "package.sh: cpack did not leave $deb" >&2
    exit 1
fi
echo "$deb"
