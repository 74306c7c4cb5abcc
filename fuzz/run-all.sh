#!/usr/bin/env bash
# Replays every kept crash file on the target of its format, failing on any crash, then runs
# every fuzz target of a build folder for a few seconds each on its seed corpus.
# Usage: fuzz/run-all.sh BUILD_FUZZ_DIR SECONDS
set -euo pipefail
dir=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
data="$here/../tests/data"
shopt -s nullglob

targets=("$dir"/fuzz_*)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $dir" >&2; exit 1; }

# The largest input a target accepts, read from its harness, so that the fuzzer neither
# wastes runs on inputs the harness drops nor stops short of what it takes.
max_len() {
    local shift
    shift=$(sed -n 's/.*kMaxInputBytes = size_t(1) << \([0-9]*\);.*/\1/p' "$here/$1.cpp")
    [ -n "$shift" ] || { echo "$1.cpp states no kMaxInputBytes" >&2; return 1; }
    echo $((1 << shift))
}

for target in "${targets[@]}"; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    format=${name#fuzz_}
    crashes=("$data/$format"/crash-* "$here/corpus/$format"/crash-*)
    if [ ${#crashes[@]} -gt 0 ]; then
        echo "-- $name: replaying ${#crashes[@]} crash files"
        # Given files rather than folders, the target runs each once and fails on a crash.
        log=$(mktemp)
        if ! "$target" -rss_limit_mb=3072 "${crashes[@]}" >"$log" 2>&1; then
            tail -n 30 "$log"
            rm -f "$log"
            echo "$name fails on a kept crash file" >&2
            exit 1
        fi
        rm -f "$log"
    fi
done

for target in "${targets[@]}"; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    format=${name#fuzz_}
    length=$(max_len "$name")
    work=$(mktemp -d)
    seeds=()
    for s in "$here/corpus/$format" "$data/$format"; do [ -d "$s" ] && seeds+=("$s"); done
    echo "-- $name (${seconds}s, inputs up to $length bytes)"
    "$target" -max_total_time="$seconds" -rss_limit_mb=3072 -max_len="$length" \
        -print_final_stats=0 "$work" "${seeds[@]}" 2>&1 | tail -n 3
    rm -rf "$work"
done
