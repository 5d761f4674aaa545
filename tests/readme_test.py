#!/usr/bin/env python3
"""Every README code block marked <!-- snippet: PATH --> must stand verbatim in PATH."""
import os
import re
import sys

root = sys.argv[1]
readme = open(os.path.join(root, "README.md")).read()
blocks = re.findall(r"<!-- snippet: (\S+) -->\n```\w*\n(.*?)```", readme, re.S)
stale = [path for path, code in blocks if code not in open(os.path.join(root, path)).read()]
for path in stale:
    print(f"README snippet no longer matches {path}", file=sys.stderr)
print(f"{len(blocks)} README snippets checked")
sys.exit(1 if stale or not blocks else 0)
