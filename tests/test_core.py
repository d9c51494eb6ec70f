"""Builds the plain C++ core without Python and runs its own checks."""

import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

pytestmark = pytest.mark.slow

ROOT = Path(__file__).resolve().parents[1]


def core_sources():
    """The core library's sources, as the build lists them."""
    cmake = (ROOT / "CMakeLists.txt").read_text()
    block = re.search(r"add_library\(lessoncover_core STATIC(.*?)\)", cmake, re.S)
    return [ROOT / name for name in block.group(1).split()]


def skip_or_fail(reason):
    """A missing tool skips the check locally; on CI (CI=true) it fails it."""
    if os.environ.get("CI") == "true":
        pytest.fail(reason)
    pytest.skip(reason)


def test_core_builds_without_python_and_passes_its_checks():
    """The core's doctest checks (tests/core/*_test.cpp), built by CMake in a tree of their
    own that needs no Python, and run by CTest, each test case a test."""
    for tool in ("cmake", "ctest"):
        if shutil.which(tool) is None:
            skip_or_fail(f"no {tool}")
    build = ROOT / "build" / "core-tests"
    # The core's warnings are errors here, as the checks have always built it.
    configured = subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(build), "-DLESSONCOVER_CORE_TESTS=ON",
         "-DCMAKE_COMPILE_WARNING_AS_ERROR=ON"],
        capture_output=True, text=True)
    if configured.returncode != 0 and 'provided by "doctest"' in configured.stderr:
        skip_or_fail("doctest is missing (Debian: apt-get install doctest-dev)")
    assert configured.returncode == 0, configured.stdout + configured.stderr
    built = subprocess.run(["cmake", "--build", str(build), "--target", "core_tests",
                            f"--parallel={os.cpu_count() or 1}"], capture_output=True, text=True)
    assert built.returncode == 0, built.stdout + built.stderr
    run = subprocess.run(["ctest", "--test-dir", str(build), "--output-on-failure", "--no-tests=error"],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    # One CTest test per test case: a name CTest splits (a ';' in it) would leave a test
    # that matches no case and passes having run nothing.
    counted = subprocess.run([str(build / "core_tests"), "--count"], capture_output=True, text=True, check=True)
    cases = int(re.search(r"test cases passing the current filters: (\d+)", counted.stdout).group(1))
    assert f"100% tests passed out of {cases}\n" in run.stdout, run.stdout

