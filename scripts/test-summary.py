#!/usr/bin/env python3
"""Adds up the gtest reports of one or more build folders.

Each ctest test that wrote a gtest report counts its test cases; one that wrote
none (a crash before the report, or a plain command) counts as one test, passed or
failed as ctest saw it. A test that ctest skipped (a Windows program that 32-bit Wine
cannot run on this kernel) counts as one skipped test, and its build's line says why.
Prints a line per build and returns the totals."""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path


def ctest_outcomes(build: Path):
    """name -> "passed", "failed" or "skipped", and the reasons given for skips, from
    the JUnit report of ctest's last run."""
    outcomes, reasons = {}, []
    try:
        root = ET.parse(build / "ctest-junit.xml").getroot()
    except (ET.ParseError, OSError):
        return outcomes, reasons
    for case in root.iter("testcase"):
        if case.find("skipped") is not None:
            outcomes[case.get("name")] = "skipped"
            output = case.findtext("system-out") or ""
            reasons += [line[len("skipped: "):] for line in output.splitlines() if line.startswith("skipped: ")]
        else:
            outcomes[case.get("name")] = "passed" if case.get("status") == "run" else "failed"
    return outcomes, reasons


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
        outcomes, reasons = ctest_outcomes(build)
        for name, outcome in sorted(outcomes.items()):
            if outcome == "skipped":
                skipped += 1
                continue
            ok = outcome == "passed"
            counts = report_counts(build / "test-results" / f"{name}.xml")
            if counts is None:
                passed, failed = passed + ok, failed + (not ok)
                continue
            p, f, s = counts
            if not ok and f == 0:
                f = 1  # the program failed after its report (a crash at exit, a leak)
            passed, failed, skipped = passed + p, failed + f, skipped + s
        line = f"{build.name}: {passed} passed, {failed} failed"
        if skipped:
            line += f", {skipped} skipped"
            if reasons:
                line += " (" + "; ".join(sorted(set(reasons))) + ")"
        print(line)
        total_passed, total_failed, total_skipped = total_passed + passed, total_failed + failed, total_skipped + skipped
    line = f"{total_passed} passed, {total_failed} failed"
    if total_skipped:
        line += f", {total_skipped} skipped"
    print(line)
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main())
