#!/usr/bin/env python3
"""check_pictures.py SCRIPT FOLDER: runs scripts/pictures into FOLDER and checks each
picture: a PNG of the size the picture should have, with something drawn in it."""
import struct
import subprocess
import sys
from pathlib import Path

SCREEN = (1024, 768)
# Each dialog's template size in dialog units: the window is at least that many pixels
# (a dialog unit is a quarter of the font's average width, an eighth of its height).
DIALOGS = {"config-dialog.png": (152, 141), "module-info.png": (402, 221)}
# The player: an 80x24 terminal in a 14-point monospace font.
PLAYER = "player.png"
COLUMNS, ROWS = 80, 24


def png_size(path: Path):
    data = path.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


def colours(path: Path):
    result = subprocess.run(["identify", "-format", "%k", str(path)], capture_output=True, text=True)
    return int(result.stdout) if result.returncode == 0 and result.stdout.isdigit() else 0


def main():
    script, folder = sys.argv[1], Path(sys.argv[2])
    run = subprocess.run([script, str(folder)], capture_output=True, text=True)
    print(run.stdout + run.stderr)
    if run.returncode != 0:
        print(f"FAIL: {script} exited {run.returncode}")
        return 1
    # "PATH: WIDTHxHEIGHT" for each dialog, as show_dialog found its window.
    reported = {}
    for line in run.stdout.splitlines():
        name, _, size = line.rpartition(": ")
        if "x" in size:
            reported[Path(name).name] = tuple(int(n) for n in size.split("x"))

    failures = []
    for name in [*DIALOGS, PLAYER]:
        path = folder / name
        size = png_size(path) if path.exists() else None
        if size is None:
            failures.append(f"{name}: not a PNG")
            continue
        if colours(path) < 4:
            failures.append(f"{name}: {colours(path)} colours, nothing drawn")
        width, height = size
        if name in DIALOGS:
            units = DIALOGS[name]
            if size != reported.get(name):
                failures.append(f"{name}: {width}x{height}, the dialog's window is {reported.get(name)}")
            if not (units[0] <= width < SCREEN[0] and units[1] <= height < SCREEN[1]):
                failures.append(f"{name}: {width}x{height}, expected at least {units[0]}x{units[1]}"
                                f" and less than the {SCREEN[0]}x{SCREEN[1]} screen")
        elif not (COLUMNS * 7 <= width <= COLUMNS * 10 and ROWS * 14 <= height <= ROWS * 20):
            failures.append(f"{name}: {width}x{height}, expected 7 to 10 pixels a column and 14 to 20 a row"
                            f" of {COLUMNS}x{ROWS}")
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
