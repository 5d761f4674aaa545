#!/usr/bin/env python3
"""Every code block of the READMEs marked <!-- snippet: PATH --> must stand verbatim in PATH, a path
from the repository's root."""
import os
import re
import sys

root = sys.argv[1]
checked = 0
stale = []
for readme_path in ("README.md", os.path.join("web", "README.md")):
    readme = open(os.path.join(root, readme_path)).read()
    blocks = re.findall(r"<!-- snippet: (\S+) -->\n```\w*\n(.*?)```", readme, re.S)
    if not blocks:
        stale.append(f"{readme_path}: no snippet at all")
    checked += len(blocks)
    stale += [f"{readme_path}: snippet no longer matches {path}" for path, code in blocks
              if code not in open(os.path.join(root, path)).read()]
for problem in stale:
    print(problem, file=sys.stderr)
print(f"{checked} README snippets checked")
sys.exit(1 if stale else 0)
