"""Text that a spreadsheet would run as a formula is written guarded with a leading apostrophe in
--format csv and in the history file, and read back as it was; JSON and the report stay verbatim,
and the numbers the command writes (periods, counts) are never guarded."""
import csv
import io
import json

import pytest
from hypothesis import given, strategies as st
from cli_support import csv_rows, plan, write_day
from lessoncover_planner.cli.cells import guard, unguard
from lessoncover_planner.cli.history import History, read_history, render_history

LINK = '=HYPERLINK("http://example.invalid/?x=1","Click")'
COMMAND = "=cmd|' /C calc'!A0"


@pytest.mark.parametrize("text, written", [
    (LINK, "'" + LINK),
    (COMMAND, "'" + COMMAND),
    ("+44 20 7946 0000", "'+44 20 7946 0000"),
    ("-7A", "'-7A"),
    ("@SUM(A1:A9)", "'@SUM(A1:A9)"),
    ("\tx", "'\tx"),
    ("\rx", "'\rx"),
    ("'=x", "''=x"),        # an apostrophe already there gets one more, so the round trip is exact
    ("'Brien", "'Brien"),
    ("O'Brien", "O'Brien"),
    ("x=1", "x=1"),
    ("", ""),
    ("'", "'"),
    (-3, -3),               # a number the command writes: never guarded
    (0, 0),
])
def test_guard(text, written):
    assert guard(text) == written
    if isinstance(text, str):
        assert unguard(written) == text


@pytest.mark.parametrize("text", ["'Brien", "'", "''", "'x=1"])
def test_unguard_keeps_an_apostrophe_before_plain_text(text):
    assert unguard(text) == text


@given(st.text())
def test_unguard_undoes_guard(text):
    assert unguard(guard(text)) == text


names = st.text(st.characters(exclude_characters="\x00", exclude_categories=("Cs",)), min_size=1).filter(
    lambda name: name == name.strip())


@given(st.dictionaries(st.text(alphabet="=+-@'0123456789", max_size=4).filter(lambda d: d == d.strip()),
                       st.dictionaries(names, st.integers(0, 99), min_size=1, max_size=4), max_size=4))
def test_history_reads_back_as_written(tmp_path_factory, rows):
    path = tmp_path_factory.mktemp("history") / "history.csv"
    path.write_bytes(render_history(History(rows)))
    assert read_history(path).rows == rows
    for row in csv.reader(io.StringIO(path.read_text(encoding="utf-8"), newline="")):
        assert not row[0].startswith(("=", "+", "-", "@")) and not row[1].startswith(("=", "+", "-", "@"))


def formula_day(folder):
    return write_day(folder, f'name,subject\n"{LINK.replace(chr(34), 2 * chr(34))}",maths\n"{COMMAND}",maths\n',
                     f'teacher,period,class,room\n"{LINK.replace(chr(34), 2 * chr(34))}",-1,-7A,@Lab\n',
                     f'name,reason\n"{LINK.replace(chr(34), 2 * chr(34))}",=1+1\n')


def test_csv_cells_are_guarded_but_not_the_period(tmp_path):
    day = formula_day(tmp_path / "day")
    (row,) = csv_rows(plan("--data", day, "--format", "csv").stdout)
    assert row == {"absent": "'" + LINK, "period": "-1", "subject": "Maths", "class": "'-7A", "reason": "'=1+1",
                   "status": "covered", "substitute": "'" + COMMAND, "rule": "subject",
                   "why": row["why"], "room": "'@Lab"}
    assert not row["why"].startswith(("=", "+", "-", "@"))


def test_json_and_report_stay_verbatim(tmp_path):
    day = formula_day(tmp_path / "day")
    (cover,) = json.loads(plan("--data", day, "--format", "json").stdout)["covers"]
    assert (cover["absent"], cover["period"], cover["class_name"], cover["substitute"]) == (LINK, -1, "-7A", COMMAND)
    report = plan("--data", day, "--format", "report").stdout
    assert COMMAND in report and "'" + COMMAND not in report


def test_history_names_are_guarded_and_read_back(tmp_path):
    day = formula_day(tmp_path / "2025-03-10")
    (day / "teachers.csv").write_text(
        (day / "teachers.csv").read_text(encoding="utf-8") + "+Third,maths\n", encoding="utf-8")
    history = tmp_path / "history.csv"
    history.write_text("name,covers\n'+Third,3\n", encoding="utf-8")  # a guarded name written by hand
    plan("--data", day, "--history", history, "--update-history", "--format", "csv", "--out", tmp_path / "c.csv")
    assert history.read_text(encoding="utf-8") == (
        "day,name,covers\n,'+Third,3\n" f"2025-03-10,'{COMMAND},1\n")
    # read back, the names are the teachers': no unknown names, and the covers count as prior load
    later = write_day(tmp_path / "2025-03-11", *(
        (day / name).read_text(encoding="utf-8") for name in ("teachers.csv", "lessons.csv", "absences.csv")))
    (row,) = csv_rows(plan("--data", later, "--history", history, "--format", "csv").stdout)
    assert row["substitute"] == "'" + COMMAND  # one cover against Third's three
    history.write_text(f"day,name,covers\n2025-03-10,'{COMMAND},5\n", encoding="utf-8")
    (row,) = csv_rows(plan("--data", later, "--history", history, "--format", "csv").stdout)
    assert row["substitute"] == "'+Third"
