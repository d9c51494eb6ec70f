"""What lessoncover plan shows on a terminal: names from the files (a day folder, a teacher) with
control, zero-width and bidirectional characters escaped, in the week's summary table and in every
line on standard error, so that a name cannot clear the screen, hide text or read backwards."""
import re

import pytest

from cli_support import plan, refused, run, write_day
from lessoncover_planner.cli.errors import one_line

UNSAFE = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u200b-\u200f\u202a-\u202e\u2066-\u2069]")
SPOOFS = {
    "escape": ("day\x1b[2J\x1b]0;owned\x07", "day\\x1b[2J\\x1b]0;owned\\x07"),
    "c1": ("day\x9b31m", "day\\x9b31m"),
    "delete": ("day\x7f", "day\\x7f"),
    "bidi override": ("day\u202egnp.exe", "day\\u202egnp.exe"),
    "bidi isolate": ("\u2066day\u2069", "\\u2066day\\u2069"),
    "zero width": ("da\u200by", "da\\u200by"),
    "line breaks": ("a\nb\rc\td\u2028e", "a\\nb\\rc\\td\\u2028e"),
}


@pytest.mark.parametrize("raw, shown", SPOOFS.values(), ids=SPOOFS.keys())
def test_one_line_escapes_what_a_terminal_would_act_on(raw, shown):
    assert one_line(raw) == shown


@pytest.mark.parametrize("text", ["Zoë Brontë", "Jürgen, 7A", "محمد", "王小明", "periods 3\u20135"])
def test_one_line_leaves_ordinary_text(text):
    assert one_line(text) == text


@pytest.mark.parametrize("raw, shown", [SPOOFS["escape"], SPOOFS["bidi override"], SPOOFS["c1"]])
def test_a_day_folder_name_is_escaped_in_the_summary_table(tmp_path, raw, shown):
    write_day(tmp_path / "week" / raw, "name,subject\nA,maths\nB,maths\n", "teacher,period,class\nA,1,7A\n",
              "name,reason\nA,Sick\n")
    write_day(tmp_path / "week" / "plain", "name,subject\nA,maths\nB,maths\n", "teacher,period,class\nA,1,7A\n",
              "name,reason\nA,Sick\n")
    stdout = plan("--data", tmp_path / "week").stdout
    assert shown in stdout and raw not in stdout
    assert UNSAFE.search(stdout) is None, stdout


def test_an_error_line_escapes_a_folder_name(tmp_path):
    folder = tmp_path / "week" / "day\x1b[31m\u202e"
    write_day(folder, "name,subject\nA,maths\n", "teacher,period,class\nZ,1,7A\n", "name,reason\n")
    shown = run("plan", "--data", tmp_path / "week")
    refused(shown, 2, "day\\x1b[31m\\u202e")
    assert "\x1b" not in shown.stderr and "\u202e" not in shown.stderr

