#!/usr/bin/env bash
# Builds Kapto (Release) and starts it: the main window without arguments,
# kapto-convert with the given arguments.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh run
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKAPTO_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"

if [ $# -eq 0 ] && [ -x build/release/src/ui/kapto ]; then
    exec build/release/src/ui/kapto
fi
exec build/release/src/cli/kapto-convert "$@"
