#!/usr/bin/env bash
# Builds and runs every test: a Release build, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target briefly.
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

echo "== sanitizers"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DKAPTO_SANITIZE=ON -DKAPTO_TESTS=ON \
    -DKAPTO_UI=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ctest --test-dir build/asan --output-on-failure --no-tests=error -j"$jobs"

echo "== fuzz"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DKAPTO_FUZZ=ON >/dev/null
cmake --build build/fuzz -j"$jobs"
fuzz/run-all.sh build/fuzz/fuzz "${KAPTO_FUZZ_SECONDS:-30}"
echo "== all tests passed"
