#!/usr/bin/env python3
"""Adds up the gtest reports of one or more build folders.

Each ctest test that wrote a gtest report counts its test cases; one that wrote
none (a crash before the report, or a plain command) counts as one test, passed or
failed as ctest saw it. Prints a line per build and returns the totals."""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def ctest_outcomes(build: Path):
    """name -> passed, from the JUnit report of ctest's last run."""
    outcomes = {}
    try:
        root = ET.parse(build / "ctest-junit.xml").getroot()
    except (ET.ParseError, OSError):
        return outcomes
    for case in root.iter("testcase"):
        outcomes[case.get("name")] = case.get("status") == "run"
    return outcomes


def report_counts(path: Path):
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError):
        return None
    tests = int(root.get("tests", 0))
    failures = int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped = int(root.get("skipped", 0)) + int(root.get("disabled", 0))
    return tests - failures - skipped, failures, skipped


def main():
    total_passed = total_failed = total_skipped = 0
    for build in map(Path, sys.argv[1:]):
        passed = failed = skipped = 0
        outcomes = ctest_outcomes(build)
        for name, ok in sorted(outcomes.items()):
            counts = report_counts(build / "test-results" / f"{name}.xml")
            if counts is None:
                passed, failed = passed + ok, failed + (not ok)
                continue
            p, f, s = counts
            if not ok and f == 0:
                f = 1  # the program failed after its report (a crash at exit, a leak)
            passed, failed, skipped = passed + p, failed + f, skipped + s
        print(f"{build.name}: {passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
        total_passed, total_failed, total_skipped = total_passed + passed, total_failed + failed, total_skipped + skipped
    line = f"{total_passed} passed, {total_failed} failed"
    if total_skipped:
        line += f", {total_skipped} skipped"
    print(line)
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main())
