#!/usr/bin/env python3
"""Checks a zip the build made: exactly the entries named (by default hvsetup.exe and
README.txt, the release), in that order, the zipped hvsetup.exe the built one, the read-me
with Windows line endings, and no host details (every entry stamped with the source date,
no Unix owner or mode bits).

For a 32-bit build (HV_CPU_FLOOR_OBJDUMP names its disassembler) the zipped exe is also
disassembled: it must hold no instruction a 386 lacks.

Usage: check_zip.py ZIP BUILD_DIR EPOCH [ENTRY ...]
"""
import os
import sys
import tempfile
import time
import zipfile

from check_exe import newer_instructions

path, build, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
expected = sys.argv[4:] or ["hvsetup.exe", "README.txt"]
archive = zipfile.ZipFile(path)
infos = archive.infolist()
names = [info.filename for info in infos]
problems = []
if names != expected:
    problems.append("zip holds %r" % names)
readme = archive.read("README.txt") if "README.txt" in names else b""
exe = archive.read("hvsetup.exe") if "hvsetup.exe" in names else b""
if b"\n" in readme.replace(b"\r\n", b"") or not readme:
    problems.append("README.txt is empty or has bare line feeds")
if exe != open(os.path.join(build, "hvsetup.exe"), "rb").read():
    problems.append("the zipped exe is not the built one")
objdump = os.environ.get("HV_CPU_FLOOR_OBJDUMP")
if objdump and exe:
    with tempfile.TemporaryDirectory() as scratch:
        unzipped = os.path.join(scratch, "hvsetup.exe")
        open(unzipped, "wb").write(exe)
        newer = newer_instructions(unzipped, objdump)
    if newer:
        problems.append("the zipped hvsetup.exe holds %d instructions a 386 lacks, such as %s"
                        % (len(newer), "; ".join(newer[:3])))
# Zip keeps times to two seconds.
stamp = max(tuple(time.gmtime(epoch - epoch % 2)[:6]), (1980, 1, 1, 0, 0, 0))
for info in infos:
    if info.date_time != stamp or info.create_system != 0 or info.external_attr != 0x20:
        problems.append("%s carries host details: time %r, system %d, attributes %#x"
                        % (info.filename, info.date_time, info.create_system, info.external_attr))
print("\n".join(problems) or "%s: ok" % os.path.basename(path))
sys.exit(1 if problems else 0)
