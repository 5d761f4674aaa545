#!/usr/bin/env bash
# Instruction counts of one render (bench/instructions.cpp) against this tree's library and another
# commit's, under callgrind: the same program and inputs, so the two counts compare exactly.
# Usage: bench/instructions.sh [REV (default HEAD~1)]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
rev=${1:-HEAD~1}
work=$(mktemp -d)
trap 'git worktree remove --force "$work/tree" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
git worktree add --detach "$work/tree" "$rev" >/dev/null 2>&1
build() {  # the library of the tree in $1, then the program against it, into $2
    (cd "$1" && cmake --preset bench >/dev/null && cmake --build build/bench --target bleepforge_export bleepforge_sound >/dev/null)
    g++ -std=c++20 -O2 -ffp-contract=off -I "$1/include" bench/instructions.cpp -o "$2" \
        "$1/build/bench/src/libbleepforge_sound.a" "$1/build/bench/src/libbleepforge_export.a" \
        "$1/build/bench/src/libbleepforge_synth.a" "$1/build/bench/src/libbleepforge_catalogue.a"
}
build "$work/tree" "$work/before"
build "$PWD" "$work/after"
printf '%-8s %16s %16s %8s\n' case "before ($rev)" "after" ratio
for what in design stages layered; do
    count() {
        valgrind --tool=callgrind --callgrind-out-file="$work/out" "$1" "$what" >/dev/null 2>"$work/log"
        grep -E '^summary:' "$work/out" | awk '{print $2}'
    }
    before=$(count "$work/before")
    after=$(count "$work/after")
    printf '%-8s %16s %16s %8.3f\n' "$what" "$before" "$after" "$(echo "$after / $before" | bc -l)"
done
