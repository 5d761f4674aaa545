#!/usr/bin/env python3
"""A Windows program must run on a bare Windows: it imports only system DLLs, and it is a console
program. Usage: windows_imports.py OBJDUMP PROGRAM.exe [...]"""
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "shell32.dll"}
objdump, programs = sys.argv[1], sys.argv[2:]
failed = False
for program in programs:
    text = subprocess.run([objdump, "-p", program], capture_output=True, text=True, check=True).stdout
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", text)}
    subsystem = re.search(r"^Subsystem\s+\S+\s+\((.*)\)", text, re.M)
    print(f"{program}: imports {sorted(dlls)}, subsystem {subsystem.group(1) if subsystem else '?'}")
    if not dlls or not dlls <= SYSTEM_DLLS:
        print(f"  imports beyond the system DLLs: {sorted(dlls - SYSTEM_DLLS)}")
        failed = True
    if not subsystem or "CUI" not in subsystem.group(1):
        print("  not a console program")
        failed = True
sys.exit(1 if failed else 0)
