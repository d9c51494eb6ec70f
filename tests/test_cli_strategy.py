"""lessoncover plan --strategy, the supply column of teachers.csv, and what every format but the report
shows of a plan's figures and of why each substitute was chosen."""
import re

import pytest
from markupsafe import escape

from cli_support import csv_rows, json_plan, plan, run, write_day
from lessoncover_planner import Policy
from lessoncover_planner import plan as plan_day
from lessoncover_planner.cli.reading import read_day

# Ben holds three lessons, so the school's list (fewest lessons first) puts him last, while
# teachers.csv puts him first; Dev teaches 10A, Asha's class, in period 3.
TEACHERS = "name,subject{header}\nAsha,maths{asha}\nBen,maths{ben}\nCleo,art{cleo}\nDev,english{dev}\nSam,maths{sam}\n"
LESSONS = ("teacher,period,class\nAsha,1,10A\nAsha,2,10A\nBen,3,10B\nBen,4,10B\nBen,5,10B\nCleo,1,10C\nCleo,2,10C\n"
           "Dev,3,10A\nSam,3,10C\n")
ABSENCES = "name,reason\nAsha,Sick\n"
NAMES = ("asha", "ben", "cleo", "dev", "sam")


def day_with(tmp_path, header=",supply", **marks):
    """The day, with a supply column under header holding marks by teacher (lower-case keyword)."""
    values = {name: f",{marks.get(name, '')}" if header else "" for name in NAMES}
    return write_day(tmp_path / "day", TEACHERS.format(header=header, **values), LESSONS, ABSENCES)


def covers(document):
    return [(cover["period"], cover["substitute"], cover["rule"]) for cover in document["covers"]]


# --- --strategy ---------------------------------------------------------------------------------

def test_a_days_files_are_planned_greedily_unless_asked(tmp_path):
    day = day_with(tmp_path)
    plain = plan("--data", day).stdout
    assert plain == plan("--data", day, "--strategy", "greedy").stdout
    assert plain != plan("--data", day, "--strategy", "best").stdout
    # Sam, with the fewest lessons, takes both; the best plan shares them out
    assert covers(json_plan("--data", day)) == [(1, "Sam", "subject"), (2, "Sam", "subject")]
    best = json_plan("--data", day, "--strategy", "best")
    assert sorted(substitute for _, substitute, _ in covers(best)) == ["Ben", "Sam"]
    assert best["summary"]["largest_load"] == 1 and best["summary"]["subject"] == 2


@pytest.mark.parametrize("value", ["fast", "Best", "", "greedy,best"])
def test_an_unknown_strategy_is_a_usage_error(tmp_path, value):
    shown = run("plan", "--data", day_with(tmp_path), "--strategy", value)
    assert shown.returncode == 2 and shown.stdout == ""
    assert f"argument --strategy: invalid choice: '{value}' (choose from " in shown.stderr
    assert "'greedy', 'best'" in shown.stderr


def test_help_names_the_strategies_and_their_defaults():
    text = " ".join(run("plan", "--help").stdout.split())
    assert "--strategy {greedy,best}" in text
    assert "(the default for a day's files)" in text and "(the default for a school folder" in text
    assert "teachers.csv (name,subject[,unavailable][,supply])" in text


def test_a_folder_of_days_plans_each_with_the_strategy(tmp_path):
    week = tmp_path / "week"
    for name in ("mon", "tue"):
        write_day(week / name, TEACHERS.format(header="", asha="", ben="", cleo="", dev="", sam=""), LESSONS, ABSENCES)
    plan("--data", week, "--strategy", "best", "--format", "json")
    for name in ("mon", "tue"):
        document = (week / name / "cover.json").read_text(encoding="utf-8")
        assert '"largest_load": 1' in document


# --- the supply column --------------------------------------------------------------------------

@pytest.mark.parametrize("mark, supply", [
    ("yes", True), ("YES", True), ("Yes", True), (" yes ", True),
    ("", False), ("no", False), ("y", False), ("true", False), ("1", False), ("yes please", False),
])
def test_only_yes_marks_a_supply_teacher(tmp_path, mark, supply):
    day = read_day(day_with(tmp_path, sam=f'"{mark}"'))
    assert day.supply == (("Sam",) if supply else ())


@pytest.mark.parametrize("header, read", [
    (",supply", True), (",Supply", True), (", SUPPLY ", True),
    (",supplier", False), (",supply staff", False), ("", False),
], ids=["plain", "capital", "spaces", "another column", "longer name", "no column"])
def test_the_supply_column_is_found_by_its_header_alone(tmp_path, header, read):
    folder = day_with(tmp_path, header=header, ben="yes", dev="YES")
    assert read_day(folder).supply == (("Ben", "Dev") if read else ())


def test_supply_staff_keep_teachers_csv_order(tmp_path):
    assert read_day(day_with(tmp_path, sam="yes", ben="yes", dev="yes")).supply == ("Ben", "Dev", "Sam")


def test_a_header_without_subject_is_still_refused(tmp_path):
    folder = write_day(tmp_path / "day", "name,supply\nAsha,yes\n", "teacher,period,class\n", ABSENCES)
    shown = run("plan", "--data", folder)
    assert shown.returncode == 2 and "header misses column 'subject'" in shown.stderr


def test_supply_staff_cover_when_nobody_of_the_school_can(tmp_path):
    """Ben, Dev and Sam are supply staff; Cleo teaches then: the first in teachers.csv covers, rule supply."""
    folder = day_with(tmp_path, ben="yes", dev="yes", sam="yes")
    document = json_plan("--data", folder)
    assert covers(document) == [(1, "Ben", "supply"), (2, "Ben", "supply")]
    assert document["summary"]["supply"] == 2 and document["summary"]["subject"] == 0
    assert [row["rule"] for row in csv_rows(plan("--data", folder, "--format", "csv").stdout)] == ["supply"] * 2
    board = plan("--data", folder).stdout
    assert re.search(r"10A +maths +Asha +Ben +supply teacher +supply staff", board), board
    best = json_plan("--data", folder, "--strategy", "best")
    assert best["summary"]["supply"] == 2 and best["summary"]["largest_load"] == 1


def test_a_supply_teacher_is_passed_over_while_a_colleague_is_free(tmp_path):
    folder = day_with(tmp_path, sam="yes")
    assert covers(json_plan("--data", folder)) == [(1, "Ben", "subject"), (2, "Ben", "subject")]


# --- the figures and the whys in each format ----------------------------------------------------

FIGURES = ("covered", "subject", "supply", "doubles_kept", "largest_load", "sum_of_squares", "knows_class")


@pytest.mark.parametrize("options, policy", [
    ((), {}), (("--strategy", "best"), {"strategy": "best"}), (("--keep-doubles",), {"keep_doubles": True}),
], ids=["greedy", "best", "doubles"])
def test_json_summary_keeps_its_counts_and_adds_the_figures(tmp_path, options, policy):
    folder = day_with(tmp_path, dev="yes")
    summary = json_plan("--data", folder, *options)["summary"]
    assert list(summary) == ["absent_lessons", "covered", "uncovered", "not_needed", "substitutes", *FIGURES[1:]]
    day = read_day(folder)
    planned = plan_day(day.teachers, day.lessons, day.planner_absences(),
                       policy=Policy(supply=day.supply, **policy)).summary
    assert {key: summary[key] for key in FIGURES} == {key: getattr(planned, key) for key in FIGURES}


def test_html_shows_the_counts_and_the_figures(tmp_path):
    folder = day_with(tmp_path)
    page = plan("--data", folder, "--format", "html").stdout
    figures = page[page.index('<ul class="counts figures"'):]
    figures = figures[:figures.index("</ul>")]
    items = [re.sub(r"<[^>]+>", "", item).strip() for item in re.findall(r"<li>(.*?)</li>", figures)]
    # Sam covers both: two covers by the subject, one double, load 2 squared; Sam teaches 10C, not 10A
    assert items == ["2 by the same subject", "0 by supply staff", "0 by a teacher of the class", "1 doubles kept",
                     "largest load 2", "sum of squared loads 4"]


def test_the_csv_has_a_why_for_every_row(tmp_path):
    rows = csv_rows(plan("--data", day_with(tmp_path), "--format", "csv").stdout)
    assert [row["why"] for row in rows] == ["same subject, fewest lessons (1)", "same subject, fewest lessons (2)"]


@pytest.mark.parametrize("strategy", ["greedy", "best"])
def test_the_board_shows_why_each_substitute(tmp_path, strategy):
    folder = day_with(tmp_path, dev="yes")
    document = json_plan("--data", folder, "--strategy", strategy)
    whys = [cover["why"] for cover in document["covers"]]
    assert len(whys) == 2 and all(whys)
    text = plan("--data", folder, "--strategy", strategy).stdout
    lines = text.splitlines()
    assert lines[lines.index("Cover board") + 2].split() == ["Class", "Subject", "Absent", "Cover", "How", "Why"]
    for cover in document["covers"]:
        assert any(line.rstrip().endswith("  " + cover["why"]) and f"  {cover['substitute']}  " in line
                   for line in lines), cover
    page = plan("--data", folder, "--strategy", strategy, "--format", "html").stdout
    for why in whys:
        assert f'<span class="because"><bdi>{escape(why)}</bdi></span>' in page


def test_the_report_is_the_modules_report_whatever_the_strategy(tmp_path):
    folder = day_with(tmp_path)
    report = plan("--data", folder, "--strategy", "best", "--format", "report").stdout
    assert "Figures" not in report and "why" not in report.lower()
    assert report.splitlines()[0] == "Teacher,Period,Subject,Substitution,Classroom,Reason"


def test_a_board_without_covers_has_no_why_column(tmp_path):
    folder = write_day(tmp_path / "day", "name,subject\nA,maths\n", "teacher,period,class\nA,1,7A\n",
                       "name,reason\nA,Sick\n")
    text = plan("--data", folder).stdout
    assert "Why" not in text.split("Without cover")[0] and text.splitlines()[-1].startswith("Figures: 0 covers")


def test_the_sample_school_is_planned_greedily():
    """The bundled sample is a day's files: greedy, as before."""
    assert plan().stdout == plan("--strategy", "greedy").stdout
