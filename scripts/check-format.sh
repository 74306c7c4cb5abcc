#!/usr/bin/env bash
# Fails when any C++ source differs from what .clang-format prescribes.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
    echo "clang-format not found: install it (Debian: apt-get install clang-format," \
        "or scripts/deps.sh test) and run this check again" >&2
    exit 1
fi
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || true)
[ -n "$files" ] || exit 0
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
