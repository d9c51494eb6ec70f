"""Builds the plain C++ core without Python and runs its own checks."""

import re
import subprocess

import pytest

pytestmark = pytest.mark.slow


def test_core_builds_without_python_and_passes_its_checks(core_tree):
    """The core's doctest checks (tests/core/*_test.cpp), built by CMake in a tree of their
    own that needs no Python, and run by CTest, each test case a test."""
    run = subprocess.run(["ctest", "--test-dir", str(core_tree), "--output-on-failure", "--no-tests=error"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    # One CTest test per test case: a name CTest splits (a ';' in it) would leave a test
    # that matches no case and passes having run nothing.
    counted = subprocess.run([str(core_tree / "core_tests"), "--count"], capture_output=True, text=True, check=True)
    cases = int(re.search(r"test cases passing the current filters: (\d+)", counted.stdout).group(1))
    assert f"100% tests passed out of {cases}\n" in run.stdout, run.stdout

