#!/usr/bin/env python3
"""Runs clang-tidy over every source file of ours in a build's compile_commands.json."""
import json
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

build = sys.argv[1]
tidy = sys.argv[2] if len(sys.argv) > 2 else "clang-tidy-14"
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))  # the repository
entries = json.load(open(os.path.join(build, "compile_commands.json")))
files = sorted({e["file"] for e in entries if os.path.relpath(e["file"], root).startswith("src" + os.sep)})


def check(path):
    result = subprocess.run([tidy, "-p", build, "--quiet", path], capture_output=True, text=True)
    return path, result.returncode, result.stdout


failed = 0
with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
    for path, code, output in pool.map(check, files):
        if code != 0 or "warning:" in output or "error:" in output:
            failed += 1
            print(output)
print(f"clang-tidy: {len(files)} files, {failed} with findings")
sys.exit(1 if failed else 0)
