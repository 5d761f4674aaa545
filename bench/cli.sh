#!/usr/bin/env bash
# Whole-process timings: the program's commands against its own start-up (--list-chips) and
# against a static C++ hello world. Needs hyperfine (Debian package "hyperfine") and the bench
# build (cmake --workflow --preset bench).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build/bench}
program=$build/bleepforge
hello=$build/hello_bench
if ! command -v hyperfine >/dev/null; then
    echo "bench/cli.sh needs hyperfine: apt-get install hyperfine" >&2
    exit 1
fi
for binary in "$program" "$hello"; do
    [[ -x $binary ]] || { echo "missing $binary: run cmake --workflow --preset bench" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Fastest and slowest pairs of the renderer, and a middling one.
commands=(
    "$hello"
    "$program --list-chips"
    "$program --render blip gameboy $work/a.wav"
    "$program --header blip gameboy $work/a.h"
    "$program --render coin sid $work/b.wav"
    "$program --header coin sid $work/b.h"
    "$program --render powerup ym2612 $work/c.wav"
    "$program --header powerup ym2612 $work/c.h"
)
# Each run writes a new file, as a first export does: replacing an existing file also costs the
# file system's truncation, which depends on the disk more than on the program.
hyperfine -N --warmup 20 --runs "${RUNS:-300}" --prepare "find $work -name '*.wav' -o -name '*.h' -delete" \
    --export-json "$work/times.json" "${commands[@]}" >/dev/null 2>&1

python3 - "$work/times.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
median = {r["command"]: r["median"] for r in results}
names = [r["command"] for r in results]
hello, start = median[names[0]], median[names[1]]
print(f"{'command':60} {'median':>9} {'vs list':>8}")
for name in names:
    short = name.split("/")[-1] if name == names[0] else "bleepforge " + name.split(" ", 1)[1].split(" /")[0]
    print(f"{short:60} {median[name] * 1e3:7.3f}ms {median[name] / start:7.2f}x")
print(f"--list-chips against a static hello world: {start / hello:.2f}x")
PY
