#!/usr/bin/env python3
"""Checks what a Windows host sees of our two DLLs without running them: objdump reads
their headers, export and import tables natively, so this holds on any machine.

  check_binaries.py plugin OBJDUMP WIDTH IN_TESSEL.dll BASS.def
  check_binaries.py bass OBJDUMP WIDTH BASS.dll BASS.def tessel_bass.h [EXTRA_DLL...]
  check_binaries.py library OBJDUMP WIDTH DLL

WIDTH is 32 or 64. Every fact that fails is printed with what was expected and what
came instead; the exit status is 1 if any did."""
import re
import subprocess
import sys

# DLLs that every Windows has; anything else would have to ship beside ours.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll", "winmm.dll",
    "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "shlwapi.dll",
    "comctl32.dll", "comdlg32.dll", "version.dll", "ws2_32.dll", "ntdll.dll",
}
FORMATS = {"32": ("pei-i386", "PE32"), "64": ("pei-x86-64", "PE32+")}

failures = []


def expect(what, expected, got):
    if expected != got:
        failures.append(f"{what}: expected {expected}, got {got}")


class Image:
    """The parts of `objdump -p` that a loader looks at."""

    def __init__(self, objdump, path):
        text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
        self.path = path
        self.format = re.search(r"file format (\S+)", text).group(1)
        magic = re.search(r"^Magic\s+\S+\s+\((\S+)\)", text, re.M)
        self.magic = magic.group(1) if magic else None
        base = re.search(r"Ordinal Base (\d+)", text)
        self.exports = {}  # name -> ordinal
        table = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\t\[.*\n)*)", text)
        if table:
            for index, name in re.findall(r"\[\s*(\d+)\] (\S+)", table.group(1)):
                self.exports[name] = int(index) + int(base.group(1))
        self.imports = {}  # DLL name -> imported names
        for block in re.split(r"\n\s*DLL Name: ", text)[1:]:
            dll, _, table = block.partition("\n")
            names = re.findall(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)$", table.split("\n\n")[0], re.M)
            self.imports.setdefault(dll.strip(), []).extend(names)

    def check_format(self, width):
        expect(f"{self.path}: file format", FORMATS[width][0], self.format)
        expect(f"{self.path}: optional header", FORMATS[width][1], self.magic)

    def check_only_system_imports(self, allowed=()):
        allowed = SYSTEM_DLLS | {name.lower() for name in allowed}
        others = sorted(dll for dll in self.imports if dll.lower() not in allowed)
        expect(f"{self.path}: DLLs imported beside {sorted(allowed)}", [], others)


def bass_functions(def_path):
    """The library functions by their plain names, from the plug-in's import list."""
    with open(def_path) as lines:
        return {re.sub(r"@\d+$", "", line.strip()) for line in lines if line.startswith("BASS_")}


def check_plugin(objdump, width, dll, def_path):
    image = Image(objdump, dll)
    image.check_format(width)
    expect(f"{dll}: exports (name: ordinal)", {"winampGetInModule2": 1}, image.exports)
    image.check_only_system_imports(["BASS.dll"])
    bass = image.imports.get("BASS.dll", [])
    decorated = [name for name in bass if "@" in name or name.startswith("_")]
    expect(f"{dll}: BASS.dll functions imported by decorated names", [], decorated)
    unknown = sorted(set(bass) - bass_functions(def_path))
    expect(f"{dll}: BASS.dll functions imported beyond the 0.8 set", [], unknown)
    expect(f"{dll}: imports from BASS.dll", True, bool(bass))


def check_bass(objdump, width, dll, def_path, header, extra_dlls):
    image = Image(objdump, dll)
    image.check_format(width)
    with open(header) as text:
        additions = set(re.findall(r"^\w.*\b(TesselBass_\w+)\(", text.read(), re.M))
    expected = sorted(bass_functions(def_path) | additions)
    expect(f"{dll}: exports", expected, sorted(image.exports))
    image.check_only_system_imports(extra_dlls)
    # Each DLL named beside the system's is one it needs (a decoder linked in as a DLL).
    for extra in extra_dlls:
        expect(f"{dll}: imports {extra}", True, extra.lower() in {name.lower() for name in image.imports})


def check_library(objdump, width, dll):
    """A DLL that ships beside ours: the width's format, only system DLLs imported."""
    image = Image(objdump, dll)
    image.check_format(width)
    image.check_only_system_imports()


def main(argv):
    kind, objdump, width, *rest = argv
    if kind == "plugin":
        check_plugin(objdump, width, *rest)
    elif kind == "library":
        check_library(objdump, width, *rest)
    else:
        check_bass(objdump, width, rest[0], rest[1], rest[2], rest[3:])
    for failure in failures:
        print(failure)
    print(f"{kind}: {'ok' if not failures else f'{len(failures)} failed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
