#!/usr/bin/env python3
"""Runs clang-tidy over every source file of ours in a build's compile_commands.json."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

build = sys.argv[1]
tidy = sys.argv[2] if len(sys.argv) > 2 else "clang-tidy-14"
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))  # the repository
entries = json.load(open(os.path.join(build, "compile_commands.json")))


def sources_of(entry):
    """The files an entry compiles: a unity unit's included sources, each with the unit's command."""
    path = entry["file"]
    if not re.search(r"unity_\d+_cxx\.cxx$", path):
        return [entry]
    included = re.findall(r'^#include "([^"]+)"', open(path).read(), re.MULTILINE)
    return [dict(entry, file=f, command=entry["command"].replace(path, f)) for f in included]


commands = {}
for entry in entries:
    for source in sources_of(entry):
        if os.path.relpath(source["file"], root).startswith("src" + os.sep):
            commands.setdefault(source["file"], source)
files = sorted(commands)
database = tempfile.mkdtemp()
with open(os.path.join(database, "compile_commands.json"), "w") as out:
    json.dump([commands[f] for f in files], out)


def check(path):
    result = subprocess.run([tidy, "-p", database, "--quiet", path], capture_output=True, text=True)
    return path, result.returncode, result.stdout


failed = 0
with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
    for path, code, output in pool.map(check, files):
        if code != 0 or "warning:" in output or "error:" in output:
            failed += 1
            print(output)
shutil.rmtree(database)
print(f"clang-tidy: {len(files)} files, {failed} with findings")
sys.exit(1 if failed else 0)
