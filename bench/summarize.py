#!/usr/bin/env python3
"""Summarizes render_bench's JSON output: samples per second per chip, worst and geometric mean."""
import json
import math
import sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
by_chip = {}
for run in runs:
    if run["name"].startswith("render/") and run.get("run_type") == "iteration":
        preset, chip = run["label"].split("/")
        by_chip.setdefault(chip, []).append((run["samples/s"], preset))
everything = [rate for rates in by_chip.values() for rate, _ in rates]
print(f"{'chip':10} {'worst (M samples/s)':>22} {'geometric mean':>16}")
for chip, rates in by_chip.items():
    worst = min(rates)
    gmean = math.exp(sum(math.log(r) for r, _ in rates) / len(rates))
    print(f"{chip:10} {worst[0] / 1e6:14.1f} ({worst[1]:>9}) {gmean / 1e6:16.1f}")
gmean = math.exp(sum(math.log(r) for r in everything) / len(everything))
print(f"{'all 32':10} {min(everything) / 1e6:22.1f} {gmean / 1e6:16.1f}")
for run in runs:
    if run["name"] in ("convert", "wav_file", "header_file"):
        print(f"{run['name']:12} {run['bytes_per_second'] / 1e6:10.1f} MB/s")
