#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a few seconds each on its seed corpus, after
# replaying the kept crash files. Usage: fuzz/run-all.sh BUILD_FUZZ_DIR SECONDS
set -euo pipefail
dir=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
shopt -s nullglob
for target in "$dir"/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    format=${name#fuzz_}
    corpus="$here/corpus/$format"
    work=$(mktemp -d)
    seeds=("$corpus" "$here/../tests/data/$format")
    existing=()
    for s in "${seeds[@]}"; do [ -d "$s" ] && existing+=("$s"); done
    echo "-- $name (${seconds}s)"
    "$target" -max_total_time="$seconds" -rss_limit_mb=3072 -max_len=65536 \
        -print_final_stats=0 "$work" "${existing[@]}" 2>&1 | tail -n 3
    rm -rf "$work"
done
