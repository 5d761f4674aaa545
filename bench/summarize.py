#!/usr/bin/env python3
"""Summarizes render_bench's JSON output: samples per second per chip, worst and geometric mean, for
whole buffers and for 256-sample pieces, and the pieces' share of the whole-buffer speed."""
import json
import math
import sys


def gmean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values))


runs = json.load(open(sys.argv[1]))["benchmarks"]
rates = {"render": {}, "render_pieces": {}}
for run in runs:
    kind = run["name"].split("/")[0]
    if kind in rates and run.get("run_type") == "iteration":
        preset, chip = run["label"].split("/")
        rates[kind][(preset, chip)] = run["samples/s"]

for kind, title in (("render", "whole buffers"), ("render_pieces", "256-sample pieces")):
    pairs = rates[kind]
    if not pairs:
        continue
    print(f"{title}:")
    print(f"  {'chip':10} {'worst (M samples/s)':>22} {'geometric mean':>16}")
    for chip in dict.fromkeys(c for _, c in pairs):
        mine = {p: r for (p, c), r in pairs.items() if c == chip}
        worst = min(mine, key=mine.get)
        print(f"  {chip:10} {mine[worst] / 1e6:14.1f} ({worst:>9}) {gmean(mine.values()) / 1e6:16.1f}")
    print(f"  {'all 32':10} {min(pairs.values()) / 1e6:22.1f} {gmean(pairs.values()) / 1e6:16.1f}")
common = rates["render"].keys() & rates["render_pieces"].keys()
if common:
    share = gmean([rates["render_pieces"][k] / rates["render"][k] for k in common])
    print(f"pieces / whole, geometric mean over {len(common)} pairs: {share:.3f} (goal: at least 0.9)")
for run in runs:
    if run["name"].startswith("render_every_stage/") and run.get("run_type") == "iteration":
        print(f"{run['label']:24} {run['samples/s'] / 1e6:10.1f} M samples/s")
for run in runs:
    if run["name"] in ("convert", "wav_file", "header_file"):
        print(f"{run['name']:12} {run['bytes_per_second'] / 1e6:10.1f} MB/s")
