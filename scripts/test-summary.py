#!/usr/bin/env python3
"""Adds up the test results of one or more build folders that scripts/test ran ctest in.

In each build folder scripts/test leaves ctest's JUnit report (ctest-junit.xml), the
gtest report of each test program (test-results/<name>.xml), ctest's exit status
(ctest-status) and its output (ctest-output.txt).

Each ctest test that wrote a gtest report counts its test cases; one that wrote none
(a crash before the report, or a plain command) counts as one test, passed or failed
as ctest saw it. Nothing here passes by default:
- a build folder whose ctest ran no test (no report, an empty one, no exit status)
  is one failure, "<build>: no tests ran (why)";
- a non-zero exit status of ctest with no failed case in the reports is one failure,
  with ctest's own words;
- the one skip counted as such is a Windows program that 32-bit Wine cannot start on
  this kernel (scripts/wine-run's exit status 77 and its reason); any other skip (a
  program ctest could not find, a skipped or disabled gtest case) is a failure.
Prints a line per build and the totals; exits 1 when anything failed."""
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

# How scripts/wine-run says why a 32-bit program cannot run at all.
WINE_SKIP_MARK = "skipped: "
WINE_SKIP_CAUSE = "so 32-bit Wine cannot start"
SKIP_RETURN_CODE = "SKIP_RETURN_CODE=77"


def documented_skip_reason(case):
    """The reason of a skip by scripts/wine-run, or None for any other skip."""
    skipped = case.find("skipped")
    if skipped is None or skipped.get("message") != SKIP_RETURN_CODE:
        return None
    for line in (case.findtext("system-out") or "").splitlines():
        if line.startswith(WINE_SKIP_MARK) and line.endswith(WINE_SKIP_CAUSE):
            return line[len(WINE_SKIP_MARK):]
    return None


def ctest_cases(build: Path):
    """The testcase elements of ctest's last report, or why there are none."""
    try:
        root = ET.parse(build / "ctest-junit.xml").getroot()
    except OSError:
        return None, "ctest wrote no report"
    except ET.ParseError as error:
        return None, f"ctest's report is unreadable: {error}"
    cases = list(root.iter("testcase"))
    return (cases, None) if cases else (None, "ctest's report lists no test")


def ctest_exit(build: Path):
    """ctest's exit status (None when not recorded) and the lines of its output that
    say why it failed."""
    try:
        status = int((build / "ctest-status").read_text().split()[0])
    except (OSError, ValueError, IndexError):
        return None, ""
    try:
        output = (build / "ctest-output.txt").read_text(errors="replace").splitlines()
    except OSError:
        output = []
    words = [line.strip() for line in output if "Error" in line or "error" in line or "No tests were found" in line]
    if not words:
        words = [line.strip() for line in output if line.strip()][-1:]
    if status > 128:
        words.insert(0, f"ended by signal {status - 128}")
    return status, "; ".join(words[-3:]) or "no output"


def report_counts(path: Path):
    """passed, failed and skipped cases of a gtest report; None when there is none."""
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError):
        return None
    tests = int(root.get("tests", 0))
    failures = int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped = int(root.get("skipped", 0)) + int(root.get("disabled", 0))
    return tests - failures - skipped, failures, skipped


def summarize(build: Path):
    """(passed, failed, skipped, line) of one build folder."""
    status, ctest_words = ctest_exit(build)
    cases, why_none = ctest_cases(build)
    if status is None:
        why_none = "no ctest exit status recorded"
    if why_none:
        if status:
            why_none += f"; ctest exited with status {status}: {ctest_words}"
        return 0, 1, 0, f"{build.name}: no tests ran ({why_none})"

    passed = failed = skipped = 0
    problems, skip_reasons = [], set()
    for case in cases:
        name = case.get("name")
        if case.find("skipped") is not None:
            reason = documented_skip_reason(case)
            if reason:
                skipped += 1
                skip_reasons.add(reason)
            else:
                failed += 1
                message = case.find("skipped").get("message") or "no reason"
                problems.append(f"{name} did not run: {message}")
            continue
        ok = case.get("status") == "run"
        counts = report_counts(build / "test-results" / f"{name}.xml")
        if counts is None:
            passed, failed = passed + ok, failed + (not ok)
            continue
        p, f, s = counts
        if s:
            problems.append(f"{name} skipped {s} case(s)")
        f += s
        if not ok and f == 0:
            f = 1  # the program failed after its report (a crash at exit, a leak)
        passed, failed = passed + p, failed + f
    if status != 0 and failed == 0:
        failed = 1
        problems.append(f"ctest exited with status {status}: {ctest_words}")

    line = f"{build.name}: {passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped ({'; '.join(sorted(skip_reasons))})"
    if problems:
        line += " [" + "; ".join(problems) + "]"
    return passed, failed, skipped, line


def main():
    totals = [0, 0, 0]
    for build in map(Path, sys.argv[1:]):
        *counts, line = summarize(build)
        print(line)
        totals = [total + count for total, count in zip(totals, counts)]
    passed, failed, skipped = totals
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
