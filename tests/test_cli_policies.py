"""lessoncover plan's cover policies, from flags (--max-covers, --keep-doubles, --combined-lessons,
--co-taught-no-cover, --away, --history) and from the files' optional columns (absences.csv
'periods', teachers.csv 'unavailable'): one worked example each, small enough to check by hand."""
import json

import pytest

from lessoncover_planner import Policy
from planner_support import SAMPLE
from cli_support import csv_rows, json_plan, plan, refused, run, write_day
from lessoncover_planner.cli.policies import PolicyOptions, build_policy
from lessoncover_planner.cli.reading import read_day


def covers(document):
    return [(c["absent"], c["period"], c["class_name"], c["substitute"], c["rule"]) for c in document["covers"]]


def day_of(tmp_path, teachers, lessons, absences):
    return write_day(tmp_path / "day", "name,subject\n" + teachers, "teacher,period,class\n" + lessons,
                     "name,reason\n" + absences)


# --- the flags reach the Policy, and bad values are refused ----------------------------------

def test_flags_and_columns_build_the_policy(tmp_path):
    folder = write_day(tmp_path / "day", "name,subject,unavailable\nA,maths,\nB,maths,1;3-4\nC,art, \n",
                       "teacher,period,class\nA,1,7A\nA,2,7B\nC,2,7C\n", "name,reason,periods\nA,Sick,2\n")
    day = read_day(folder)
    assert day.planner_absences() == {"A": ("Sick", (2,))}
    assert build_policy(PolicyOptions(), day) is not None  # the unavailable column asks for one
    options = PolicyOptions(max_covers=2, keep_doubles=True, combined_lessons=True, co_taught_no_cover=True,
                            away_classes=("7B", "9Z"))
    policy = build_policy(options, day, {"B": 4, "Nobody": 9})
    assert policy == Policy(max_covers=2, prior_covers={"B": 4}, unavailable={"B": (1, 3, 4)}, keep_doubles=True,
                            combined_lessons=True, co_taught_no_cover=True, away_classes=("7B",))


def test_no_policy_is_asked_for_by_default(tmp_path):
    day = read_day(day_of(tmp_path, "A,maths\nB,maths\n", "A,1,7A\n", "A,\n"))
    assert build_policy(PolicyOptions(), day) is None
    assert build_policy(PolicyOptions(), day, {"Nobody": 3}) is None


@pytest.mark.parametrize("option, value", [
    ("max_covers", 0), ("max_covers", 3), ("keep_doubles", True), ("combined_lessons", True),
    ("co_taught_no_cover", True), ("away_classes", ("7A",)), ("away_classes", ("9Z",)), ("strategy", "best"),
    ("strategy", "greedy"), ("prior_covers", {"B": 0}), ("prior_covers", {"B": 2}), ("prior_covers", {"Nobody": 2}),
    ("unavailable", {"B": (1,)}), ("supply", ("B",)),
])
def test_no_policy_exactly_when_the_policy_would_be_the_default(tmp_path, option, value):
    """build_policy answers None without building a Policy; it must answer as Policy.is_default would."""
    day = read_day(day_of(tmp_path, "A,maths\nB,maths\n", "A,1,7A\n", "A,\n"))
    prior = None
    if option == "prior_covers":
        prior, options = value, PolicyOptions()
    elif option in ("unavailable", "supply"):
        setattr(day, option, value)
        options = PolicyOptions()
    else:
        options = PolicyOptions(**{option: value})
    built = build_policy(options, day, prior)
    asked = value  # what reaches the policy: the day's own names and classes
    if option == "prior_covers":
        asked = {name: count for name, count in value.items() if name != "Nobody"}
    elif option == "away_classes":
        asked = tuple(name for name in value if name == "7A")
    assert (built is None) == Policy(**{option: asked}).is_default(), built
    assert built is None or getattr(built, option) == getattr(Policy(**{option: asked}), option)


@pytest.mark.parametrize("args, words", [
    (("--max-covers", "-1"), "negative"),
    (("--max-covers", "two"), "not a whole number"),
    (("--update-history",), "--update-history needs --history"),
    (("--away", "9Z"), "--away '9Z': no lesson of that class"),
    (("--history", "nowhere.csv"), "nowhere.csv: cannot read the file"),
])
def test_bad_policy_options_are_refused(tmp_path, args, words):
    shown = run("plan", *args, cwd=tmp_path)
    assert shown.returncode == 2 and shown.stdout == "" and words in shown.stderr and "Traceback" not in shown.stderr


@pytest.mark.parametrize("text, words", [
    ("name,covers\nA,x\n", "line 2: covers 'x' is not a whole number"),
    ("name,covers\nA,-1\n", "line 2: covers '-1'"),
    ("name,covers\nA,1\nA,2\n", "line 3: duplicate teacher 'A'"),
    ("name\nA\n", "header misses column 'covers'"),
])
def test_bad_history_file_is_refused(tmp_path, text, words):
    history = tmp_path / "history.csv"
    history.write_text(text, encoding="utf-8")
    refused(run("plan", "--data", SAMPLE, "--history", history, "--update-history"), 2, str(history), words)
    assert history.read_text(encoding="utf-8") == text


# --- one worked example per option -------------------------------------------------------------

def test_max_covers(tmp_path):
    day = day_of(tmp_path, "A,maths\nB,maths\nC,art\n", "A,1,7A\nA,2,7A\nA,3,7A\n", "A,Sick\n")
    assert [c[3:] for c in covers(json_plan("--data", day))] == [("B", "subject")] * 3
    capped = json_plan("--data", day, "--max-covers", "1")
    assert covers(capped) == [("A", 1, "7A", "B", "subject"), ("A", 2, "7A", "C", "any")]
    (lesson,) = capped["uncovered"]
    assert lesson["period"] == 3 and lesson["at_cap"] == 2
    assert json_plan("--data", day, "--max-covers", "0")["summary"]["uncovered"] == 3


def test_keep_doubles(tmp_path):
    day = day_of(tmp_path, "A,maths\nB,maths\nC,art\n", "A,1,7A\nA,2,7A\nB,1,7B\n", "A,Sick\n")
    assert covers(json_plan("--data", day)) == [("A", 1, "7A", "C", "any"), ("A", 2, "7A", "B", "subject")]
    assert covers(json_plan("--data", day, "--keep-doubles")) == [
        ("A", 1, "7A", "C", "any"), ("A", 2, "7A", "C", "double")]


def test_combined_lessons(tmp_path):
    day = day_of(tmp_path, "A,maths\nB,maths\nC,art\n", "A,1,7A\nA,1,7B\n", "A,Sick\n")
    assert covers(json_plan("--data", day)) == [("A", 1, "7A", "B", "subject"), ("A", 1, "7B", "C", "any")]
    combined = [("A", 1, "7A", "B", "subject"), ("A", 1, "7B", "B", "combined")]
    assert covers(json_plan("--data", day, "--combined-lessons")) == combined
    # a combined set counts as one cover
    assert covers(json_plan("--data", day, "--combined-lessons", "--max-covers", "1")) == combined


def test_co_taught_no_cover(tmp_path):
    day = day_of(tmp_path, "A,maths\nB,maths\nC,art\n", "A,1,7A\nB,1,7A\nA,2,7B\n", "A,Sick\n")
    assert len(json_plan("--data", day)["covers"]) == 2
    document = json_plan("--data", day, "--co-taught-no-cover")
    assert covers(document) == [("A", 2, "7B", "B", "subject")]
    (skipped,) = document["not_needed"]
    assert (skipped["period"], skipped["class_name"]) == (1, "7A") and skipped["why"]
    rows = csv_rows(plan("--data", day, "--co-taught-no-cover", "--format", "csv").stdout)
    assert [row["status"] for row in rows] == ["not needed", "covered"] and rows[0]["why"] == skipped["why"]
    page = plan("--data", day, "--co-taught-no-cover", "--format", "html").stdout
    assert "No cover needed (1)" in page


def test_away_classes(tmp_path):
    day = day_of(tmp_path, "A,maths\nD,art\n", "A,1,7B\nA,2,7A\nD,1,7A\n", "A,Sick\n")
    plain = json_plan("--data", day)
    # D covers 7A, the class D teaches in period 1
    assert plain["summary"] == {"absent_lessons": 2, "covered": 1, "uncovered": 1, "not_needed": 0,
                                "substitutes": 1, "subject": 0, "supply": 0, "doubles_kept": 0,
                                "largest_load": 1, "sum_of_squares": 1, "knows_class": 1}
    away = json_plan("--data", day, "--away", "7A", "--away", "7A")
    # D's lesson in 7A is off, so D is free to cover A's 7B lesson in period 1
    assert covers(away) == [("A", 1, "7B", "D", "any")]
    assert [(n["period"], n["class_name"]) for n in away["not_needed"]] == [(2, "7A")]
    # the report leaves not-needed lessons out
    report = plan("--data", day, "--away", "7A", "--format", "report").stdout
    assert "7A" not in report.split("\n\n")[0] and "7A" not in report.split("\n\n")[1].split("\n")[0]


def test_part_day_absence_from_the_periods_column(tmp_path):
    day = write_day(tmp_path / "day", "name,subject\nA,maths\nB,maths\nC,art\n",
                    "teacher,period,class\nA,1,7A\nA,2,7A\nA,3,7A\nA,4,7A\nC,1,7C\n",
                    "name,reason,periods\nA,Dentist,2-3\nC,,\n")
    document = json_plan("--data", day)
    assert sorted((c[1], c[2], c[3]) for c in covers(document)) == [(1, "7C", "B"), (2, "7A", "B"), (3, "7A", "B")]
    (day / "absences.csv").write_text("name,reason,periods\nA,Dentist,1;4\n", encoding="utf-8")
    assert [c[1] for c in covers(json_plan("--data", day))] == [1, 4]
    page = plan("--data", day, "--format", "html").stdout
    assert "periods 1, 4 only" in page


def test_unavailable_column(tmp_path):
    day = write_day(tmp_path / "day", "name,subject,unavailable\nA,maths,\nB,maths,1\nD,maths,\n",
                    "teacher,period,class\nA,1,7A\nA,2,7A\n", "name,reason\nA,Sick\n")
    assert [c[3] for c in covers(json_plan("--data", day))] == ["D", "B"]
    (day / "teachers.csv").write_text("name,subject\nA,maths\nB,maths\nD,maths\n", encoding="utf-8")
    assert [c[3] for c in covers(json_plan("--data", day))] == ["B", "D"]  # live load: B has one cover


def test_history_ranks_prior_covers_and_updates(tmp_path):
    day = day_of(tmp_path, "A,maths\nB,maths\nD,maths\n", "A,1,7A\n", "A,Sick\n")
    assert covers(json_plan("--data", day))[0][3] == "B"
    history = tmp_path / "history.csv"
    history.write_text("name,covers\nB,2\nZed,7\n", encoding="utf-8")
    unknown = (f"lessoncover: warning: {history}: 1 name(s) not in {day / 'teachers.csv'}, "
               "their covers are not counted: 'Zed'\n")
    shown = run("plan", "--data", day, "--history", history, "--format", "json")
    assert shown.returncode == 0 and shown.stderr == unknown
    assert covers(json.loads(shown.stdout))[0][3] == "D"
    assert history.read_text(encoding="utf-8") == "name,covers\nB,2\nZed,7\n"  # read only
    shown = run("plan", "--data", day, "--history", history, "--update-history", "--out", tmp_path / "cover.txt")
    assert shown.returncode == 0 and shown.stderr == unknown
    # the totals from before days were kept are carried in: rows with an empty day
    assert history.read_text(encoding="utf-8") == "day,name,covers\n,B,2\n,Zed,7\nday,D,1\n"


def test_update_history_starts_a_missing_file(tmp_path):
    day = day_of(tmp_path, "A,maths\nB,maths\n", "A,1,7A\nA,2,7A\n", "A,Sick\n")
    history = tmp_path / "week.csv"
    plan("--data", day, "--history", history, "--update-history", "--format", "csv", "--out", tmp_path / "o.csv")
    assert history.read_text(encoding="utf-8") == "day,name,covers\nday,B,2\n"


def test_history_is_not_written_when_the_output_fails(tmp_path):
    day = day_of(tmp_path, "A,maths\nB,maths\n", "A,1,7A\n", "A,Sick\n")
    history = tmp_path / "week.csv"
    history.write_text("name,covers\nB,1\n", encoding="utf-8")
    refused(run("plan", "--data", day, "--history", history, "--update-history", "--out", "/dev/full"), 1)
    assert history.read_text(encoding="utf-8") == "name,covers\nB,1\n"
