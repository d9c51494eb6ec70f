"""lessoncover plan --history: rows of day,name,covers; each day counted once however often it is
run, and ranked only against the days sorting before it."""
import csv
import datetime
import io

import pytest
from cli_support import FILES, REAL_DAY, copy_day, json_plan, plan, real_day, refused, run, write_day
from lessoncover_planner.cli.history import History, read_history, render_history

# A is away in period 1; B and D could cover, first of equals being B.
SMALL = ("name,subject\nA,maths\nB,maths\nD,maths\n", "teacher,period,class\nA,1,7A\n", "name,reason\nA,Sick\n")


def history_totals(path):
    """The covers by name that a history file holds, whatever its layout."""
    totals = {}
    for row in csv.DictReader(io.StringIO(path.read_text(encoding="utf-8"), newline="")):
        totals[row["name"]] = totals.get(row["name"], 0) + int(row["covers"])
    return totals


def substitutes(document):
    return [(c["absent"], c["period"], c["class_name"], c["substitute"]) for c in document["covers"]]


def substitute_of(day, history):
    (cover,) = json_plan("--data", day, "--history", history)["covers"]
    return cover["substitute"]


# --- a day run twice is counted once ---------------------------------------------------------

@real_day
def test_a_day_run_twice_is_counted_once(tmp_path):
    day = copy_day(REAL_DAY, tmp_path / "2025-03-10")
    history = tmp_path / "history.csv"
    history.write_text("name,covers\n", encoding="utf-8")
    first = json_plan("--data", day, "--history", history, "--update-history")
    after_first = history_totals(history)
    second = json_plan("--data", day, "--history", history, "--update-history")
    assert history_totals(history) == after_first
    assert substitutes(second) == substitutes(first)  # its own covers are no prior load of the day
    assert sum(after_first.values()) == len([c for c in first["covers"] if c["rule"] != "combined"])


def test_a_day_run_again_replaces_its_rows(tmp_path):
    day = write_day(tmp_path / "2025-03-10", *SMALL)
    history = tmp_path / "history.csv"
    history.write_text("day,name,covers\n2025-03-07,D,1\n", encoding="utf-8")
    plan("--data", day, "--history", history, "--update-history", "--out", tmp_path / "cover.txt")
    assert history.read_text(encoding="utf-8") == "day,name,covers\n2025-03-07,D,1\n2025-03-10,B,1\n"
    (day / "lessons.csv").write_text("teacher,period,class\nA,1,7A\nB,2,7B\n", encoding="utf-8")
    (day / "absences.csv").write_text("name,reason\nA,Sick\nB,Course\n", encoding="utf-8")
    plan("--data", day, "--history", history, "--update-history", "--out", tmp_path / "cover.txt")
    assert history.read_text(encoding="utf-8") == "day,name,covers\n2025-03-07,D,1\n2025-03-10,D,2\n"
    (day / "absences.csv").write_text("name,reason\n", encoding="utf-8")  # nothing to cover: no rows
    plan("--data", day, "--history", history, "--update-history", "--out", tmp_path / "cover.txt")
    assert history.read_text(encoding="utf-8") == "day,name,covers\n2025-03-07,D,1\n"


@pytest.mark.parametrize("rows, expected", [
    ("", "B"),
    (",B,1\n", "D"),                      # carried in
    ("2025-03-07,B,1\n", "D"),            # an earlier day
    ("2025-03-10,B,1\n", "B"),            # the day itself
    ("2025-03-11,B,5\n", "B"),            # a later day
    ("2025-03-07,B,1\n2025-03-11,D,5\n", "D"),
    ("2025-03-07,D,1\n,B,1\n2025-03-10,B,9\n", "B"),  # a tie: first of equals
])
def test_prior_covers_are_the_rows_of_the_days_before(tmp_path, rows, expected):
    day = write_day(tmp_path / "2025-03-10", *SMALL)
    history = tmp_path / "history.csv"
    history.write_text("day,name,covers\n" + rows, encoding="utf-8")
    assert substitute_of(day, history) == expected


def test_prior_sums_the_days_sorting_before():
    history = History({"": {"B": 1}, "2025-03-07": {"B": 2, "D": 1}, "2025-03-10": {"D": 4}, "2025-03-11": {"B": 8}})
    assert history.prior("2025-03-10") == {"B": 3, "D": 1}
    assert history.prior("2025-03-12") == {"B": 11, "D": 5}
    assert history.prior("0") == {"B": 1}


def test_a_week_run_twice_gives_the_same_plans_and_rows(tmp_path):
    week = tmp_path / "week"
    for name in ("2025-03-10", "2025-03-11", "2025-03-12"):
        write_day(week / name, *SMALL)
    history = tmp_path / "history.csv"
    history.write_text("day,name,covers\n2025-03-11,B,7\n2025-03-14,D,9\n", encoding="utf-8")
    plan("--data", week, "--format", "csv", "--history", history, "--update-history")
    written = history.read_text(encoding="utf-8")
    # the run's days replace their own rows (Tuesday's B,7 too); Friday's row stays, counting for none of them
    assert written == ("day,name,covers\n2025-03-10,B,1\n2025-03-11,D,1\n2025-03-12,B,1\n2025-03-14,D,9\n")
    plans = [(week / name / "cover.csv").read_bytes() for name in ("2025-03-10", "2025-03-11", "2025-03-12")]
    plan("--data", week, "--format", "csv", "--history", history, "--update-history")
    assert history.read_text(encoding="utf-8") == written
    assert [(week / name / "cover.csv").read_bytes() for name in ("2025-03-10", "2025-03-11", "2025-03-12")] == plans


def test_one_day_of_a_week_run_again_keeps_the_others(tmp_path):
    week = tmp_path / "week"
    for name in ("2025-03-10", "2025-03-11"):
        write_day(week / name, *SMALL)
    history = tmp_path / "history.csv"
    plan("--data", week, "--format", "csv", "--history", history, "--update-history")
    plan("--data", week / "2025-03-10", "--history", history, "--update-history", "--out", tmp_path / "c.txt")
    assert history.read_text(encoding="utf-8") == "day,name,covers\n2025-03-10,B,1\n2025-03-11,D,1\n"


def test_totals_from_before_days_were_kept_are_carried_in(tmp_path):
    day = write_day(tmp_path / "2025-03-10", *SMALL)
    history = tmp_path / "history.csv"
    history.write_text("name,covers\nB,2\n", encoding="utf-8")
    assert substitute_of(day, history) == "D"
    plan("--data", day, "--history", history, "--update-history", "--out", tmp_path / "cover.txt")
    plan("--data", day, "--history", history, "--update-history", "--out", tmp_path / "cover.txt")
    assert history.read_text(encoding="utf-8") == "day,name,covers\n,B,2\n2025-03-10,D,1\n"


def test_the_sample_school_is_recorded_as_today(tmp_path):
    history = tmp_path / "history.csv"
    before = datetime.date.today().isoformat()
    shown = run("plan", "--history", history, "--update-history", "--format", "json", cwd=tmp_path)
    after = datetime.date.today().isoformat()
    assert shown.returncode == 0, shown.stderr
    days = {row["day"] for row in csv.DictReader(io.StringIO(history.read_text(encoding="utf-8")))}
    assert days in ({before}, {after})


def test_a_day_named_by_the_current_folder(tmp_path):
    day = write_day(tmp_path / "2025-03-10", *SMALL)
    history = tmp_path / "history.csv"
    plan("--data", ".", "--history", history, "--update-history", "--format", "csv", "--out", tmp_path / "c.csv",
         cwd=day)
    assert history.read_text(encoding="utf-8") == "day,name,covers\n2025-03-10,B,1\n"


@pytest.mark.parametrize("text, words", [
    ("day,name,covers\nx,A,1\nx,A,2\n", "line 3: duplicate teacher 'A' on day 'x' (first on line 2)"),
    ("day,name,covers\nx,A,one\n", "line 2: covers 'one' is not a whole number"),
    ("day,name,covers\nx,A,1\nx,,2\n", "line 3: a row without a name"),
])
def test_bad_history_rows_are_refused(tmp_path, text, words):
    day = write_day(tmp_path / "2025-03-10", *SMALL)
    history = tmp_path / "history.csv"
    history.write_text(text, encoding="utf-8")
    refused(run("plan", "--data", day, "--history", history, "--update-history"), 2, str(history), words)
    assert history.read_text(encoding="utf-8") == text


def test_the_same_name_on_two_days_is_no_duplicate(tmp_path):
    path = tmp_path / "history.csv"
    path.write_text("day,name,covers\nx,A,1\ny,A,2\n,A,3\n", encoding="utf-8")
    assert read_history(path).rows == {"x": {"A": 1}, "y": {"A": 2}, "": {"A": 3}}
    assert render_history(read_history(path)) == b"day,name,covers\r\n,A,3\r\nx,A,1\r\ny,A,2\r\n"


# --- the history file is never written over an input ------------------------------------------

@pytest.mark.parametrize("name", FILES)
def test_history_that_is_an_input_is_refused(tmp_path, name):
    day = write_day(tmp_path / "day", "name,subject,covers\nA,maths,0\nB,maths,0\n",
                    "teacher,period,class,covers\nA,1,7A,0\n", "name,reason,covers\nA,Sick,0\n")
    before = {file: (day / file).read_bytes() for file in FILES}
    shown = run("plan", "--data", day, "--history", day / name, "--update-history", "--out", tmp_path / "c.txt")
    refused(shown, 2, f"--history {day / name} is the input file", "refusing to overwrite it")
    assert {file: (day / file).read_bytes() for file in FILES} == before
    assert not (tmp_path / "c.txt").exists()


def test_history_only_read_may_be_an_input(tmp_path):
    day = write_day(tmp_path / "day", "name,subject,covers\nA,maths,0\nB,maths,1\nD,maths,0\n",
                    "teacher,period,class\nA,1,7A\n", "name,reason\nA,Sick\n")
    assert substitute_of(day, day / "teachers.csv") == "D"


def test_a_new_history_beside_one_of_a_near_name_is_a_warning(tmp_path):
    day = write_day(tmp_path / "2025-03-10", *SMALL)
    (tmp_path / "History.csv").write_text("day,name,covers\n", encoding="utf-8")
    history = tmp_path / "history.csv"
    shown = run("plan", "--data", day, "--history", history, "--update-history", "--format", "json")
    assert shown.returncode == 0
    assert shown.stderr == (f"lessoncover: warning: {history}: no such file yet, so the history starts empty; "
                            "there is History.csv: file names are matched exactly, rename it to history.csv\n")
    assert history.exists()
    history.unlink()
    refused(run("plan", "--data", day, "--history", history, "--update-history", "--strict"), 2, "History.csv")
    assert not history.exists()
