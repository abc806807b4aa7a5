#!/usr/bin/env python3
"""scripts/test-summary.py on fake build folders, one of each kind that must not read as
clean. Run by scripts/test itself, outside the summary it checks."""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SUMMARY = Path(__file__).resolve().parents[2] / "scripts" / "test-summary.py"
WINE_SKIP = "skipped: this kernel runs no 32-bit programs, so 32-bit Wine cannot start"


def ctest_report(*cases):
    body = "".join(cases)
    return f'<?xml version="1.0"?>\n<testsuite tests="{len(cases)}">{body}</testsuite>\n'


def case(name, status="run", skipped=None, output=""):
    inner = f'<skipped message="{skipped}"/>' if skipped else ""
    return f'<testcase name="{name}" status="{status}">{inner}<system-out>{output}</system-out></testcase>'


def gtest_report(tests, failures=0, skipped=0):
    return f'<?xml version="1.0"?>\n<testsuites tests="{tests}" failures="{failures}" skipped="{skipped}"/>\n'


class SummaryTests(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        self.addCleanup(self.root.cleanup)

    def build(self, name, status=0, output="", report=None, gtest=None):
        folder = Path(self.root.name) / name
        (folder / "test-results").mkdir(parents=True)
        if status is not None:
            (folder / "ctest-status").write_text(f"{status}\n")
        (folder / "ctest-output.txt").write_text(output)
        if report is not None:
            (folder / "ctest-junit.xml").write_text(report)
        for test, text in (gtest or {}).items():
            (folder / "test-results" / f"{test}.xml").write_text(text)
        return folder

    def summary(self, *folders):
        run = subprocess.run([sys.executable, str(SUMMARY), *map(str, folders)], capture_output=True, text=True)
        return run.returncode, run.stdout.splitlines()

    def test_a_build_that_ran_no_test_fails(self):
        folders = [
            self.build("never-ran"),
            self.build("empty", output="No tests were found!!!\n", report=ctest_report()),
            self.build("killed", status=137, output="Start 1: api_tests\n"),
            self.build("unrecorded", status=None, report=ctest_report(case("a"))),
        ]
        for folder in folders:
            code, lines = self.summary(folder)
            self.assertEqual(1, code, f"expected a failure for {folder.name}, got {lines}")
            self.assertTrue(lines[0].startswith(f"{folder.name}: no tests ran ("), lines)
            self.assertEqual("0 passed, 1 failed", lines[-1])
        self.assertIn("signal 9", self.summary(folders[2])[1][0])

    def test_ctest_failing_with_every_case_passed_fails_with_its_reason(self):
        folder = self.build("linux", status=8, output="100% tests passed\nErrors while running CTest\n",
                            report=ctest_report(case("api_tests")), gtest={"api_tests": gtest_report(3)})
        code, lines = self.summary(folder)
        self.assertEqual(1, code, lines)
        self.assertIn("3 passed, 1 failed", lines[0])
        self.assertIn("status 8: Errors while running CTest", lines[0])

    def test_only_wine_that_cannot_start_counts_as_a_skip(self):
        wine = self.build("windows-i686", report=ctest_report(
            case("api_tests", "notrun", "SKIP_RETURN_CODE=77", WINE_SKIP), case("check_binaries")))
        code, lines = self.summary(wine)
        self.assertEqual(0, code, lines)
        self.assertTrue(lines[0].startswith("windows-i686: 1 passed, 0 failed, 1 skipped (this kernel"), lines)
        self.assertEqual("1 passed, 0 failed, 1 skipped", lines[-1])

        other_skips = self.build("linux", report=ctest_report(
            case("missing", "notrun", "Unable to find executable"),
            case("silent", "notrun", "SKIP_RETURN_CODE=77", "skipped: no reason given"),
            case("player_tests")), gtest={"player_tests": gtest_report(4, skipped=1)})
        code, lines = self.summary(other_skips)
        self.assertEqual(1, code, lines)
        self.assertTrue(lines[0].startswith("linux: 3 passed, 3 failed ["), lines)


if __name__ == "__main__":
    unittest.main()
