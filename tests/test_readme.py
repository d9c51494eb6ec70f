"""The README's commands, Python example and sample report stay true."""
import re
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]
BLOCKS = re.findall(r"^```(\w*)\n(.*?)^```$", (ROOT / "README.md").read_text(encoding="utf-8"), re.M | re.S)
# The suite over every core (pytest-xdist).
TEST_COMMAND = 'python3 -m pip install ".[test]" && python3 -m pytest -n auto'
TIMING = re.compile(r'"Time taken to generate subs: [0-9.]+(?:s|ms|µs|ns)"')


def without_timing(text):
    lines = text.rstrip("\n").split("\n")
    assert TIMING.fullmatch(lines[-1]), lines[-1]
    return lines[:-1]


def run_python(*args):
    shown = subprocess.run([sys.executable, *args], capture_output=True, encoding="utf-8", cwd=ROOT)
    assert shown.returncode == 0, shown.stderr
    return shown.stdout


def test_first_block_holds_the_two_commands():
    commands = BLOCKS[0][1]
    assert commands.startswith("# build, install and plan cover for the bundled sample school\n"
                               "python3 -m pip install . && lessoncover plan\n")
    assert f"{TEST_COMMAND}\n" in commands


def test_ci_runs_the_readme_test_command():
    assert TEST_COMMAND in (ROOT / ".ci" / "run").read_text(encoding="utf-8").splitlines()


def test_python_example_prints_what_the_readme_shows():
    index = next(i for i, (lang, _) in enumerate(BLOCKS) if lang == "python")
    shown_output = BLOCKS[index + 1][1]
    assert without_timing(run_python("-c", BLOCKS[index][1])) == without_timing(shown_output)


@pytest.mark.parametrize("command", [("examples/plan_cover.py",),
                                     ("-m", "lessoncover_planner", "plan", "--format", "report")],
                         ids=["script", "command"])
def test_sample_report_matches_what_the_readme_shows(command):
    sample = next(body for lang, body in BLOCKS if lang == "text" and "Hospital appointment" in body)
    assert without_timing(run_python(*command)) == without_timing(sample)


def test_sample_board_is_what_the_command_prints():
    board = next(body for lang, body in BLOCKS if lang == "text" and body.startswith("Cover for sample school\n"))
    assert run_python("-m", "lessoncover_planner", "plan") == board
