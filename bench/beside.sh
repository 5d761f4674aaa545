#!/usr/bin/env bash
# Runs this tree's renderer benchmark beside another commit's, alternating, in one run, so the
# machine's drift hits both alike. Usage: bench/beside.sh [REV (default HEAD~1)] [ROUNDS (default 3)]
# Prints each round's geometric mean over the 32 pairs, whole buffers (and pieces where it has them).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
rev=${1:-HEAD~1}
rounds=${2:-3}
work=$(mktemp -d)
trap 'git worktree remove --force "$work/tree" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
git worktree add --detach "$work/tree" "$rev" >/dev/null 2>&1
cmake --preset bench >/dev/null
cmake --build build/bench --target render_bench >/dev/null
(cd "$work/tree" && cmake --preset bench >/dev/null && cmake --build build/bench --target render_bench >/dev/null)
for round in $(seq "$rounds"); do
    for side in before after; do
        program=build/bench/render_bench
        [[ $side == before ]] && program=$work/tree/build/bench/render_bench
        "$program" --benchmark_filter='^render' --benchmark_min_time=0.2 --benchmark_out="$work/$side.json" \
            --benchmark_out_format=json >/dev/null 2>&1
        echo "round $round, $side ($([[ $side == before ]] && echo "$rev" || echo "this tree")):"
        python3 bench/summarize.py "$work/$side.json" | grep -E "^(whole|256)|all 32|pieces /|every stage"
    done
done
