"""lessoncover plan's default format, text: the day's name, who is absent, the board by period in
aligned columns, the lessons without cover with their why, the counts; subjects as teachers.csv
spells them; names that cannot upset a terminal."""
import pytest

from cli_support import csv_rows, json_plan, plan, run, write_day
from lessoncover_planner.cli.text_format import clean, display_width

MONDAY = ("name,subject\nAsha Rao,French\nBen Ng,french\nCleo Diaz,art\nDev Roy,english\nEve Kahn,maths\n",
          "teacher,period,class,room\nAsha Rao,1,10A,F12\nAsha Rao,2,10A,\nBen Ng,1,10B,F14\nCleo Diaz,2,10C,Art 1\n"
          "Dev Roy,1,10D,E3\nEve Kahn,1,11A,M1\n",
          'name,reason,periods\nAsha Rao,"Course, off site",\nDev Roy,,1\n')

MONDAY_TEXT = """\
Cover for monday
================

Absent (2)
----------
  Name      Subject  Reason            Periods
  Asha Rao  French   Course, off site  all day
  Dev Roy   english  no reason given   1

Cover board
-----------
  Class  Room  Subject  Absent    Cover      How             Why

Period 1
  10A    F12   French   Asha Rao  Cleo Diaz  free colleague  first free in the list
  10D    E3    english  Dev Roy   NO COVER   see below

Period 2
  10A          French   Asha Rao  Ben Ng     same subject    same subject, fewest lessons (1)

Without cover (1)
-----------------
  Period  Class  Room  Subject  Absent   Why
  1       10D    E3    english  Dev Roy  all 3 present teachers are busy in period 1: 2 teach, 1 covers

3 absent lessons, 2 covered, 1 uncovered, 2 substitutes
Figures: 1 cover by the same subject, 0 by supply staff, 0 by a teacher of the class; 0 doubles kept; largest load 1, sum of squared loads 2
"""


def test_text_is_the_default_and_lays_out_the_day(tmp_path):
    day = write_day(tmp_path / "monday", *MONDAY)
    shown = plan("--data", day).stdout
    assert shown == MONDAY_TEXT
    assert plan("--data", day, "--format", "text").stdout == shown


@pytest.mark.parametrize("options", [(), ("--strategy", "best"), ("--keep-doubles",)],
                         ids=["greedy", "best", "doubles"])
def test_text_counts_and_figures_agree_with_json(tmp_path, options):
    day = write_day(tmp_path / "monday", *MONDAY)
    counts = json_plan("--data", day, *options)["summary"]
    assert plan("--data", day, *options).stdout.splitlines()[-2:] == [
        f"{counts['absent_lessons']} absent lessons, {counts['covered']} covered, {counts['uncovered']} uncovered, "
        f"{counts['substitutes']} substitutes",
        f"Figures: {counts['subject']} cover{'' if counts['subject'] == 1 else 's'} by the same subject, "
        f"{counts['supply']} by supply staff, "
        f"{counts['knows_class']} by a teacher of the class; {counts['doubles_kept']} doubles kept; "
        f"largest load {counts['largest_load']}, sum of squared loads {counts['sum_of_squares']}"]


def test_the_sample_school_board_has_every_cover_once():
    text = plan().stdout
    document = json_plan()
    assert text.startswith("Cover for sample school\n=======================\n")
    board = text[text.index("Cover board"):]
    for cover in document["covers"]:
        assert board.count(cover["substitute"]) == sum(c["substitute"] == cover["substitute"] for c in document["covers"])
    assert "Room" not in board  # no room column when lessons.csv has none
    assert text.splitlines()[-2] == "19 absent lessons, 19 covered, 0 uncovered, 6 substitutes"


def test_subject_as_teachers_csv_spells_it_everywhere(tmp_path):
    """One teacher, one spelling: the absent list and the board both say 'french' where the file does,
    while the CSV and JSON keep the records' display name."""
    day = write_day(tmp_path / "day", "name,subject\nAnne,french\nBea,maths\nCem, French \nDee,MATHEMATICS\n",
                    "teacher,period,class\nAnne,1,7A\nDee,2,7D\n", "name,reason\nAnne,Sick\nDee,\n")
    text = plan("--data", day).stdout
    assert "French" not in text and text.count("french") == 2 and text.count("MATHEMATICS") == 2
    page = plan("--data", day, "--format", "html").stdout
    body = page[page.index("<body"):]
    assert "French" not in body and body.count("<bdi>french</bdi>") == 3  # absent list, board, slip
    assert body.count("<bdi>MATHEMATICS</bdi>") == 3 and "Maths" not in body
    assert [c["subject"] for c in json_plan("--data", day)["covers"]] == ["french", "Maths"]
    assert [row["subject"] for row in csv_rows(plan("--data", day, "--format", "csv").stdout)] == ["french", "Maths"]


def test_not_needed_lessons_have_their_own_block(tmp_path):
    day = write_day(tmp_path / "day", "name,subject\nA,maths\nB,maths\n",
                    "teacher,period,class\nA,1,7A\nA,2,7B\n", "name,reason\nA,Sick\n")
    text = plan("--data", day, "--away", "7A").stdout
    block = text[text.index("No cover needed (1)"):]
    assert "class 7A is away" in block.splitlines()[3]
    assert "7A" not in text[text.index("Cover board"):text.index("No cover needed")]
    assert "1 not needed" in text.splitlines()[-2]


def test_nobody_absent(tmp_path):
    day = write_day(tmp_path / "day", "name,subject\nA,maths\n", "teacher,period,class\nA,1,7A\n", "name,reason\n")
    text = plan("--data", day).stdout
    assert "Nobody is absent." in text and "No lesson needs cover." in text


def test_columns_line_up_with_wide_and_combining_characters(tmp_path):
    """Columns are aligned by the cells a terminal gives a character, not by code points."""
    day = write_day(tmp_path / "day", "name,subject\n山田太郎,maths\nZoe\u0301,maths\nAl,maths\nBo,art\nCy,art\n",
                    "teacher,period,class\n山田太郎,1,7A\nZoe\u0301,1,7B\nAl,1,7C\n", "name,reason\n山田太郎,\nZoe\u0301,\n")
    lines = plan("--data", day).stdout.splitlines()
    board = lines[lines.index("Period 1") + 1:lines.index("Period 1") + 3]
    header = next(line for line in lines if line.startswith("  Class"))
    column = display_width(header[:header.index("Cover")])
    for line in board:
        cover = next(name for name in ("Bo", "Cy") if f"  {name}  " in line)
        assert display_width(line[:line.index(f"  {cover}  ") + 2]) == column, line


@pytest.mark.parametrize("raw, shown", [
    ("Plain Name", "Plain Name"),
    ("Evil\x1b[2J", "Evil\\x1b[2J"),
    ("Right\u202eto left", "Right\\u202eto left"),
    ("Bell\x07\x9b", "Bell\\x07\\x9b"),
    ("Zoë 山田", "Zoë 山田"),
])
def test_control_characters_are_shown_not_obeyed(raw, shown):
    assert clean(raw) == shown


def test_a_terminal_escape_in_a_name_is_not_written(tmp_path):
    day = write_day(tmp_path / "day", "name,subject\nEvil\x1b[31m,maths\nB,maths\n",
                    "teacher,period,class\nEvil\x1b[31m,1,7A\n", "name,reason\nEvil\x1b[31m,\n")
    text = plan("--data", day).stdout
    assert "\x1b" not in text and "Evil\\x1b[31m" in text


def test_help_names_text_as_the_default():
    text = run("plan", "--help").stdout
    assert "(default: text)" in " ".join(text.split())
    assert "--slip-per-page" in text
