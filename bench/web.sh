#!/usr/bin/env bash
# The WebAssembly module's rendering speed beside the native renderer's, measured in one run on
# one machine, and the module's size. Builds the web preset and the native render benchmark first,
# in the bench preset's tree or, with --native DIR, in that configured build tree (CI passes the
# release tree it has built, so only the benchmark itself compiles; the tree is left as it was).
# Usage: bench/web.sh [--native DIR] [--seconds S]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
native=build/bench
if [[ ${1:-} == --native ]]; then
    native=$2
    shift 2
    if ! grep -q '^BLEEPFORGE_BUILD_BENCH:BOOL=ON$' "$native/CMakeCache.txt"; then
        trap 'cmake "$native" -DBLEEPFORGE_BUILD_BENCH=OFF >/dev/null' EXIT
    fi
    cmake "$native" -DBLEEPFORGE_BUILD_BENCH=ON >/dev/null
else
    cmake --preset bench >/dev/null
fi
cmake --build "$native" --target render_bench >/dev/null
"$native/render_bench" --benchmark_filter='^render/' --benchmark_min_time=0.2 \
    --benchmark_out="$native/bench/render_bench.json" --benchmark_out_format=json >/dev/null
cmake --preset web >/dev/null && cmake --build --preset web >/dev/null
node web/bench/render.bench.js "$native/bench/render_bench.json" "$@"
