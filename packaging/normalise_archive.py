#!/usr/bin/env python3
"""Rewrites a .tar.gz or .zip package so that two builds of one commit give the same bytes:
entries sorted by name, every timestamp the commit's, owners root, gzip without name or time.

Usage: normalise_archive.py ARCHIVE SOURCE_DATE_EPOCH
"""
import gzip
import io
import sys
import tarfile
import time
import zipfile

path, epoch = sys.argv[1], int(sys.argv[2])

if path.endswith(".tar.gz"):
    with tarfile.open(path, "r:gz") as source:
        members = [(member, source.extractfile(member).read() if member.isfile() else None)
                   for member in source.getmembers()]
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as target:
        for member, data in sorted(members, key=lambda m: m[0].name):
            member.mtime = epoch
            member.uid = member.gid = 0
            member.uname = member.gname = "root"
            target.addfile(member, io.BytesIO(data) if data is not None else None)
    with open(path, "wb") as out, gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=0, compresslevel=9) as packed:
        packed.write(buffer.getvalue())
elif path.endswith(".zip"):
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
    stamp = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(path, "w") as target:
        for info, data in sorted(entries, key=lambda e: e[0].filename):
            fixed = zipfile.ZipInfo(info.filename, date_time=stamp)
            fixed.create_system = 3  # Unix, so the modes below mean what they say
            fixed.external_attr = info.external_attr
            fixed.compress_type = zipfile.ZIP_STORED if info.is_dir() else zipfile.ZIP_DEFLATED
            target.writestr(fixed, data, compresslevel=9)
else:
    sys.exit(f"normalise_archive.py: not a .tar.gz or .zip: {path}")
