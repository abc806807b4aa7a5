#!/usr/bin/env python3
"""Checks the Windows package as a user gets it, without running anything:

  check_package.py OBJDUMP PACKAGE.zip SOURCES.zip

The package holds the plug-in, BASS.dll and libmpg123-0.dll without debug sections,
and a README that names the sources archive; the sources archive holds mpg123's
Debian source package whole (every file its .dsc lists, checksums matching, an
upstream signature excepted) with BUILD.txt and the scripts that built the DLL.
Every fact that fails is printed with what was expected and what came instead; the
exit status is 1 if any did."""
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import zipfile

failures = []


def expect(what, expected, got):
    if expected != got:
        failures.append(f"{what}: expected {expected}, got {got}")


def debug_sections(objdump, data):
    with tempfile.NamedTemporaryFile(suffix=".dll") as dll:
        dll.write(data)
        dll.flush()
        text = subprocess.run([objdump, "-h", dll.name], check=True, capture_output=True, text=True).stdout
    return sorted(set(re.findall(r"^\s*\d+\s+(\.z?debug\S*)", text, re.M)))


def check_package(objdump, path, sources_name):
    with zipfile.ZipFile(path) as archive:
        names = set(archive.namelist())
        for needed in ("Plugins/IN_TESSEL.dll", "BASS.dll", "libmpg123-0.dll", "README-Tessel.txt"):
            expect(f"{path}: holds {needed}", True, needed in names)
        for name in sorted(n for n in names if n.lower().endswith(".dll")):
            expect(f"{path}: debug sections in {name}", [], debug_sections(objdump, archive.read(name)))
        if "README-Tessel.txt" in names:
            readme = archive.read("README-Tessel.txt").decode("latin-1")
            expect(f"{path}: README-Tessel.txt names {sources_name}", True, sources_name in readme)


def dsc_checksums(text):
    """name -> (size, sha256) from a .dsc's Checksums-Sha256 field."""
    field = re.search(r"^Checksums-Sha256:\n((?: .*\n?)*)", text, re.M)
    listed = {}
    for line in field.group(1).splitlines() if field else []:
        digest, size, name = line.split()
        listed[name] = (int(size), digest)
    return listed


def check_sources(path):
    with zipfile.ZipFile(path) as archive:
        files = {os.path.basename(n): n for n in archive.namelist() if not n.endswith("/")}
        for needed in ("BUILD.txt", "codecs-mingw", "mingw-build.sh"):
            expect(f"{path}: holds {needed}", True, needed in files)
        dscs = [name for name in files if re.match(r"mpg123_.*\.dsc$", name)]
        expect(f"{path}: mpg123 .dsc files", 1, len(dscs))
        if len(dscs) != 1:
            return
        listed = dsc_checksums(archive.read(files[dscs[0]]).decode("utf-8"))
        kinds = [re.search(r"\.(orig|debian)\.tar\.", name) for name in listed]
        expect(f"{path}: {dscs[0]} lists an upstream and a Debian tarball", ["debian", "orig"],
               sorted({kind.group(1) for kind in kinds if kind}))
        for name, (size, digest) in sorted(listed.items()):
            if name not in files:
                expect(f"{path}: holds {name}, which {dscs[0]} lists", True, name.endswith(".asc"))
                continue
            data = archive.read(files[name])
            expect(f"{path}: {name} (size, sha256)", (size, digest), (len(data), hashlib.sha256(data).hexdigest()))


def main():
    objdump, package, sources = sys.argv[1:4]
    for path in (package, sources):
        expect(f"{path} exists (made by the package target)", True, os.path.isfile(path))
    if os.path.isfile(package):
        check_package(objdump, package, os.path.basename(sources))
    if os.path.isfile(sources):
        check_sources(sources)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
