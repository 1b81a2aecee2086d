#!/usr/bin/env python3
"""Makes the release zip with CPack into a scratch folder and checks what a Windows user
gets: exactly hvsetup.exe and README.txt, the read-me with Windows line endings.

Usage: check_zip.py CPACK BUILD_DIR EXPECTED_ZIP_NAME
"""
import os
import shutil
import subprocess
import sys
import zipfile

cpack, build, name = sys.argv[1:4]
out = os.path.join(build, "zip-check")
shutil.rmtree(out, ignore_errors=True)
subprocess.run([cpack, "-G", "ZIP", "-B", out], cwd=build, check=True, stdout=subprocess.DEVNULL)
archive = zipfile.ZipFile(os.path.join(out, name))
names = sorted(archive.namelist())
readme = archive.read("README.txt") if "README.txt" in names else b""
exe = archive.read("hvsetup.exe") if "hvsetup.exe" in names else b""
problems = []
if names != ["README.txt", "hvsetup.exe"]:
    problems.append("zip holds %r" % names)
if b"\n" in readme.replace(b"\r\n", b"") or not readme:
    problems.append("README.txt is empty or has bare line feeds")
if exe != open(os.path.join(build, "hvsetup.exe"), "rb").read():
    problems.append("the zipped exe is not the built one")
shutil.rmtree(out, ignore_errors=True)
print("\n".join(problems) or "%s: ok" % name)
sys.exit(1 if problems else 0)
