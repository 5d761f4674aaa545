#!/usr/bin/env bash
# Instructions of one half-second render of the busy sound (bench/nes_bench.cpp), by our model and by
# libgme playing its NSF, counted by callgrind inside the render alone (set-up included, process
# start-up not). Usage: bench/nes_callgrind.sh [BUILD (default build/bench)]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
program=${1:-build/bench}/nes_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-14s %14s %14s %8s\n' "noise period" model libgme ratio
for period in 0 3 8; do
    count() {
        valgrind --tool=callgrind --callgrind-out-file="$work/out" --toggle-collect="*::$1(*" \
            "$program" --once "$1" "$period" >/dev/null 2>"$work/log"
        grep -E '^summary:' "$work/out" | awk '{print $2}'
    }
    model=$(count model)
    libgme=$(count libgme)
    printf '%-14s %14s %14s %8.2f\n' "$period" "$model" "$libgme" "$(echo "$libgme / $model" | bc -l)"
done
