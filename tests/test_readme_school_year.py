"""The README's walkthrough of a school year prints what it says, step by step."""
import re
import shlex
from pathlib import Path

from cli_support import run_in_process

ROOT = Path(__file__).resolve().parents[1]
README = (ROOT / "README.md").read_text(encoding="utf-8")
SECTION = README.split("## A school year with lessoncover", 1)[1].split("\n## ", 1)[0]
SESSIONS = re.findall(r"^```console\n(.*?)^```$", SECTION, re.M | re.S)


def steps(session):
    """(command, expected output) for each '$ ' line of a console block."""
    found = []
    for line in session.splitlines(keepends=True):
        if line.startswith("$ "):
            found.append([line[2:].rstrip("\n"), ""])
        else:
            found[-1][1] += line
    return found


def test_the_walkthrough_prints_what_the_readme_shows(tmp_path):
    assert len(SESSIONS) >= 5
    folder = tmp_path
    ran = 0
    for session in SESSIONS:
        for command, expected in steps(session):
            words = shlex.split(command)
            if words[0] == "cd":
                folder = (folder / words[1]).resolve()
                continue
            assert words[0] == "lessoncover", command
            shown = run_in_process(*words[1:], cwd=folder, merged=True)
            assert shown.returncode == 0, (command, shown.stdout)
            assert shown.stdout == expected, command
            ran += 1
    assert ran >= 8
