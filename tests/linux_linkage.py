#!/usr/bin/env python3
"""The Linux programs are single files: bleepforge needs no shared library at all, bleep only the C
library (it loads SDL itself when it plays). Usage: linux_linkage.py BLEEPFORGE BLEEP"""
import re
import subprocess
import sys

C_LIBRARY = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"}
NEWEST_GLIBC = (2, 36)  # Debian 12's; the README names it
bleepforge, bleep = sys.argv[1:3]
failed = False
for program, allowed in ((bleepforge, set()), (bleep, C_LIBRARY)):
    dynamic = subprocess.run(["objdump", "-p", program], capture_output=True, text=True, check=True).stdout
    needed = set(re.findall(r"NEEDED\s+(\S+)", dynamic))
    symbols = subprocess.run(["objdump", "-T", program], capture_output=True, text=True).stdout
    versions = {tuple(int(n) for n in v.split(".")) for v in re.findall(r"GLIBC_(\d+(?:\.\d+)+)", symbols)}
    newest = max(versions, default=())
    print(f"{program}: needs {sorted(needed) or 'nothing'}, glibc {'.'.join(map(str, newest)) or '-'}")
    if not needed <= allowed or newest > NEWEST_GLIBC:
        print(f"  beyond what it may need: {sorted(needed - allowed)}")
        failed = True
sys.exit(1 if failed else 0)
