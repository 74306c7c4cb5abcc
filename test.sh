#!/usr/bin/env bash
# Builds and runs every test: a Release build, the Debian package made from it, then the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target
# briefly.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh test
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== format"
scripts/check-format.sh

echo "== release"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKAPTO_TESTS=ON -DKAPTO_BENCH=ON \
    -DKAPTO_UI=ON >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure --no-tests=error -j"$jobs"

echo "== package"
# Made from the release build above, so nothing is compiled again.
deb=$(scripts/package.sh build/release | tail -n 1)
lintian --fail-on error,warning "$deb"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
version=$("$unpacked/usr/bin/kapto-convert" --version)
[ "$version" = "kapto-convert $(dpkg-deb -f "$deb" Version)" ]
# The packaged (stripped) program writes the same file as the tested one.
mkdir "$unpacked/packaged" "$unpacked/built"
for run in packaged built; do
    cp tests/data/bmp/bmpsuite/good/pal8.bmp "$unpacked/$run/"
done
"$unpacked/usr/bin/kapto-convert" -q --key top-left --opacity 60 --edge "$unpacked/packaged"
build/release/src/cli/kapto-convert -q --key top-left --opacity 60 --edge "$unpacked/built"
cmp "$unpacked/packaged/pal8.png" "$unpacked/built/pal8.png"
echo "$deb: $version"

echo "== sanitizers"
# The window, its dialogs and the preview threads run here too, on the offscreen platform,
# with leak checking on: Qt reports no leaks there, so nothing is suppressed.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DKAPTO_SANITIZE=ON -DKAPTO_TESTS=ON \
    -DKAPTO_UI=ON >/dev/null
cmake --build build/asan -j"$jobs"
ctest --test-dir build/asan --output-on-failure --no-tests=error -j"$jobs"

echo "== fuzz"
# Optimised, with the sanitizers and the project's assertions still on: unoptimised code
# fuzzes several times slower.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAPTO_FUZZ=ON \
    >/dev/null
cmake --build build/fuzz -j"$jobs"
fuzz/run-all.sh build/fuzz/fuzz "${KAPTO_FUZZ_SECONDS:-30}"
echo "== all tests passed"
