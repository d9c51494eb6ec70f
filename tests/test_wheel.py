"""A wheel built from this tree installs into a fresh virtual environment and works there."""
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

pytestmark = pytest.mark.slow

ROOT = Path(__file__).resolve().parents[1]
SMOKE = """
import pathlib, sysconfig, lessoncover as lc
school, asha, grade = lc.School(), lc.Teacher("Asha", "maths", False), lc.Class("10A")
school.add_teacher(asha)
school.add_teacher(lc.Teacher("Ben", "Maths", True))
lc.register_period(asha, 1, school, grade)
school.add_class(grade)
print(school.generate_substitutions().splitlines()[1])
print((pathlib.Path(sysconfig.get_paths()["platlib"]) / "lessoncover-stubs" / "__init__.pyi").is_file())
from lessoncover_planner import plan
day = plan([("Asha", "Mathematics"), ("Ben", "maths"), ("Cleo", "French")], [("Asha", 1, "10A")], {"Asha": "Sick"})
print(day.covers[0].substitute, day.covers[0].rule, day.report(timing=False).splitlines()[1])
"""
try:
    import ensurepip  # noqa: F401  (a venv gets its pip from it)
except ImportError:
    CAN_BUILD = False
else:
    CAN_BUILD = any(shutil.which(compiler) for compiler in ("c++", "g++", "clang++"))


def check(*command):
    shown = subprocess.run(command, capture_output=True, text=True, encoding="utf-8", timeout=300)
    assert shown.returncode == 0, shown.stdout[-3000:] + shown.stderr[-3000:]
    return shown.stdout


@pytest.mark.skipif(not CAN_BUILD, reason="no C++ compiler or no ensurepip: a wheel cannot be built here")
def test_wheel_installs_into_fresh_venv(tmp_path):
    wheels = tmp_path / "wheels"
    # A build tree of its own keeps the developer's build/ untouched.
    check(sys.executable, "-m", "pip", "wheel", str(ROOT), "-w", str(wheels), "--no-deps",
          f"--config-settings=build-dir={tmp_path / 'build'}")
    (wheel,) = wheels.glob("lessoncover-*.whl")
    names = zipfile.ZipFile(wheel).namelist()
    assert "lessoncover-stubs/__init__.pyi" in names and any(n.startswith("lessoncover.") for n in names)
    assert "lessoncover_planner/__init__.py" in names and "lessoncover_planner/py.typed" in names
    assert any(n.startswith("lessoncover_planner/_planner.") and n.endswith(".so") for n in names)
    assert {f"lessoncover_planner/office/sample_school/{name}" for name in ("school.toml", "teachers.csv",
            "lessons.csv")} | {"lessoncover_planner/office/school_template.toml"} <= set(names)

    check(sys.executable, "-m", "venv", str(tmp_path / "venv"))
    python = tmp_path / "venv" / "bin" / "python"
    # With its dependencies, as a user installs it: a dependency the package needs but does
    # not declare fails the smoke test below.
    check(str(python), "-m", "pip", "install", str(wheel))
    shown = check(str(python), "-I", "-c", SMOKE).splitlines()
    assert shown == ["Asha,1,Maths,Ben,10A,Planned Absense", "True", "Ben subject Asha,1,Maths,Ben,10A,Sick"]
