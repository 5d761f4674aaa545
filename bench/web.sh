#!/usr/bin/env bash
# The WebAssembly module's rendering speed beside the native renderer's, measured in one run on
# one machine, and the module's size. Builds the bench and web presets first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --workflow --preset bench >/dev/null
cmake --preset web >/dev/null && cmake --build --preset web >/dev/null
node web/bench/render.bench.js build/bench/bench/render_bench.json "$@"
