"""Builds the plain C++ core without Python and runs its own checks; and the binding's
report sink over it, with sanitizers and an embedded interpreter."""

import os
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

from tests.core_build import CORE_TREE_GROUP, ROOT, core_sources

pytestmark = pytest.mark.slow


@pytest.mark.xdist_group(CORE_TREE_GROUP)
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


def test_report_str_is_its_text_however_the_timing_line_was_guessed(tmp_path):
    """The binding's report sink, driven by the core's renderer with timing lines guessed
    wrong both ways, built with ASan and UBSan: undefined behaviour fails the run."""
    compiler = shutil.which("g++") or shutil.which("c++")
    library_dir = sysconfig.get_config_var("LIBDIR")
    library = sysconfig.get_config_var("LDLIBRARY")
    if compiler is None:
        pytest.skip("no C++ compiler")
    if not sysconfig.get_config_var("Py_ENABLE_SHARED") or not (Path(library_dir) / library).exists():
        pytest.skip("this interpreter has no shared library to embed")
    binary = tmp_path / "text_sink_tests"
    python_library = re.fullmatch(r"lib(.*)\.so.*", library).group(1)
    subprocess.run(
        [compiler, "-std=c++20", "-O1", "-g", "-Wall", "-Wextra", "-Werror",
         "-fsanitize=address,undefined", "-fno-sanitize-recover=all", "-fno-omit-frame-pointer",
         f"-I{ROOT / 'src'}", f"-I{sysconfig.get_paths()['include']}",
         str(ROOT / "tests/core/text_sink_tests.cpp"), *map(str, core_sources()),
         f"-L{library_dir}", f"-Wl,-rpath,{library_dir}", f"-l{python_library}", "-pthread",
         "-o", str(binary)],
        check=True,
    )
    # The interpreter keeps memory until it ends; the sanitizers' reports go to stderr,
    # not to a log file a preloading parent asked for.
    env = {**os.environ, "PYTHONHOME": sys.base_prefix, "ASAN_OPTIONS": "detect_leaks=0",
           "UBSAN_OPTIONS": "print_stacktrace=1"}
    env.pop("LD_PRELOAD", None)
    env.pop("PYTHONMALLOC", None)
    run = subprocess.run([str(binary)], capture_output=True, text=True, env=env)
    assert run.returncode == 0, run.stdout + run.stderr
    assert run.stdout.rstrip().endswith("passed, 0 failed")
