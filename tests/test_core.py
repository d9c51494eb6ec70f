"""Builds the plain C++ core without Python and runs its own checks."""

import re
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]


def core_sources():
    """The core library's sources, as the build lists them."""
    cmake = (ROOT / "CMakeLists.txt").read_text()
    block = re.search(r"add_library\(lessoncover_core STATIC(.*?)\)", cmake, re.S)
    return [ROOT / name for name in block.group(1).split()]


def test_core_builds_without_python_and_passes_its_checks(tmp_path):
    compiler = shutil.which("g++") or shutil.which("c++")
    if compiler is None:
        pytest.skip("no C++ compiler")
    binary = tmp_path / "core_tests"
    subprocess.run(
        [compiler, "-std=c++20", "-O1", "-Wall", "-Wextra", "-Werror", f"-I{ROOT / 'src'}",
         str(ROOT / "tests/core/core_tests.cpp"), *map(str, core_sources()),
         "-pthread", "-o", str(binary)],
        check=True,
    )
    run = subprocess.run([str(binary)], capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    assert run.stdout.rstrip().endswith("passed, 0 failed")
