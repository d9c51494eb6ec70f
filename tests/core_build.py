"""The core's build tree of its own (build/core-tests, CMake, no Python): the core once,
with its doctest checks and the day fuzzer's dump tool on it, for every test that runs one
of them."""
from __future__ import annotations

import fcntl
import os
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]
CORE_TREE = ROOT / "build" / "core-tests"


def skip_or_fail(reason: str) -> None:
    """A missing tool skips the check locally; on CI (CI=true) it fails it."""
    if os.environ.get("CI") == "true":
        pytest.fail(reason)
    pytest.skip(reason)


def build_core_tree() -> Path:
    """Configures and builds the tree, both programs on one build of the core; its folder."""
    for tool in ("cmake", "ctest"):
        if shutil.which(tool) is None:
            skip_or_fail(f"no {tool}")
    # Workers of one run (pytest-xdist) that need the tree build it one after the other: the
    # first builds, the others find it built. Two builds at once would share one folder.
    CORE_TREE.parent.mkdir(parents=True, exist_ok=True)
    with open(CORE_TREE.parent / "core-tests.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # The core's warnings are errors here, as the checks have always built it.
        configured = subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(CORE_TREE), "-DLESSONCOVER_CORE_TESTS=ON",
             "-DCMAKE_COMPILE_WARNING_AS_ERROR=ON"],
            capture_output=True, text=True)
        if configured.returncode != 0 and 'provided by "doctest"' in configured.stderr:
            skip_or_fail("doctest is missing (Debian: apt-get install doctest-dev)")
        assert configured.returncode == 0, configured.stdout + configured.stderr
        # One target a build: make given both at once builds the core library for each in parallel,
        # two archivers writing one liblessoncover_core.a.
        for target in ("core_tests", "day_dump"):
            built = subprocess.run(["cmake", "--build", str(CORE_TREE), "--target", target,
                                    f"--parallel={os.cpu_count() or 1}"], capture_output=True, text=True)
            assert built.returncode == 0, built.stdout + built.stderr
    return CORE_TREE
