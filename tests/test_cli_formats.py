"""lessoncover plan: each format on the sample school and a real timetable, the report equal to
examples/plan_cover.py's output, the help, the console script and python -m."""
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import lessoncover_planner
from cli_support import (CSV_HEADER, DAYS, REAL_DAY, SAMPLE, TIMING, csv_rows, json_plan, plan, plan_bytes, plan_cover, real_day,
                         run, without_timing)
from lessoncover_planner.cli import sample_school

SCHOOLS = [pytest.param(None, id="sample"), pytest.param(REAL_DAY, id=REAL_DAY.name, marks=real_day)]


def data_args(folder):
    return () if folder is None else ("--data", folder)


def test_the_sample_school_ships_with_the_package():
    shipped = sample_school()
    assert shipped.parent == Path(lessoncover_planner.__file__).parent
    for name in ("teachers.csv", "lessons.csv", "absences.csv"):
        assert (shipped / name).read_bytes() == (SAMPLE / name).read_bytes()


@pytest.mark.parametrize("folder", [pytest.param(None, id="sample"), *(pytest.param(day, id=day.name) for day in DAYS)])
def test_report_is_plan_cover_output(folder):
    shown = plan(*data_args(folder), "--format", "report").stdout
    assert without_timing(shown) == without_timing(plan_cover(SAMPLE if folder is None else folder))


def test_report_keeps_the_timing_line_as_plan_cover_does(tmp_path):
    """The report is the report text with its timing line, then one line break, as plan_cover.py
    prints it; only the time differs from run to run. --out writes the same bytes."""
    shown = plan("--format", "report").stdout
    lines = shown.split("\n")
    assert lines[-1] == "" and TIMING.fullmatch(lines[-2]) and lines[-3] == '""'
    out = tmp_path / "cover.txt"
    assert plan("--format", "report", "--out", out).stdout == ""
    written = out.read_text(encoding="utf-8")
    assert without_timing(written) == without_timing(shown)
    assert plan("--format", "report").stdout.count("Time taken") == 1


@pytest.mark.parametrize("folder", SCHOOLS)
def test_csv_has_one_row_per_absent_lesson(folder):
    raw = plan_bytes(*data_args(folder), "--format", "csv")
    assert raw.startswith(b"\xef\xbb\xbf")  # UTF-8 with a byte-order mark, as Excel's "CSV UTF-8"
    assert raw.endswith(b"\r\n") and b"\n" not in raw.replace(b"\r\n", b"")  # RFC 4180 line ends
    rows = csv_rows(raw.decode("utf-8"))
    report = without_timing(plan(*data_args(folder), "--format", "report").stdout)
    covered = [row for row in rows if row["status"] == "covered"]
    assert len(covered) == report.split("\n\n")[0].count("\n")  # one per report row
    assert {row["status"] for row in rows} <= {"covered", "uncovered", "not needed"}
    assert all(row["substitute"] and row["rule"] in ("subject", "any") for row in covered)
    keys = [(row["absent"], row["period"], row["class"]) for row in rows]
    assert len(keys) == len(set(keys))
    assert [int(row["period"]) for row in rows] == sorted(int(row["period"]) for row in rows)


@pytest.mark.parametrize("folder", SCHOOLS)
def test_json_holds_the_records_and_counts(folder):
    document = json_plan(*data_args(folder))
    assert set(document) >= {"covers", "uncovered", "not_needed", "summary", "elapsed"}
    assert document["summary"]["covered"] == len(document["covers"]) > 0
    assert document["summary"]["absent_lessons"] == (
        len(document["covers"]) + len(document["uncovered"]) + len(document["not_needed"]))
    assert isinstance(document["elapsed"], float) and document["elapsed"] >= 0
    cover = document["covers"][0]
    assert set(cover) >= {"absent", "period", "subject", "substitute", "class_name", "reason", "rule"}


@pytest.mark.parametrize("folder", SCHOOLS)
def test_html_is_one_self_contained_page(folder):
    page = plan(*data_args(folder), "--format", "html").stdout
    assert page.startswith("<!DOCTYPE html>") and page.rstrip().endswith("</html>")
    assert "<script" not in page and "src=" not in page and "<link" not in page and "@import" not in page
    assert page.count('<section class="slip">') == json_plan(*data_args(folder))["summary"]["substitutes"]
    assert "break-before: page" in page


def test_uncovered_lessons_show_in_csv_and_json(tmp_path):
    from cli_support import write_day

    day = write_day(tmp_path / "day", "name,subject\nA,maths\nB,art\n",
                    "teacher,period,class\nA,1,7A\nB,1,7B\n", "name,reason\nA,Sick\n")
    rows = csv_rows(plan("--data", day, "--format", "csv").stdout)
    assert rows == [dict(zip(CSV_HEADER, ["A", "1", "Maths", "7A", "Sick", "uncovered", "", "",
                                          "the only present teacher is busy in period 1: teaches", ""]))]
    document = json_plan("--data", day)
    assert document["uncovered"][0]["why"] == rows[0]["why"] and document["summary"]["uncovered"] == 1


def test_help_lists_formats_options_exit_codes_and_subjects():
    shown = run("plan", "--help")
    assert shown.returncode == 0
    text = shown.stdout
    for word in ("report", "csv", "json", "html", "--data", "--out", "--format", "--max-covers",
                 "--keep-doubles", "--combined-lessons", "--co-taught-no-cover", "--away", "--history",
                 "--update-history", "exit status", "  0 ", "  1 ", "  2 ", "p.e", "finfance", "mathematics",
                 "computer science", "physicaledu", "subject of its own"):
        assert word in text, word
    assert run("--help").returncode == 0


def test_no_command_is_a_usage_error():
    shown = run()
    assert shown.returncode == 2 and "plan" in shown.stderr
    assert run("plan", "--format", "pdf").returncode == 2


def test_console_script_runs_the_same_command():
    script = Path(sys.executable).parent / "lessoncover"
    script = script if script.exists() else shutil.which("lessoncover")
    if script is None:
        pytest.skip("the lessoncover console script is not installed beside this Python")
    shown = subprocess.run([str(script), "plan"], capture_output=True, text=True, encoding="utf-8", timeout=120)
    assert shown.returncode == 0, shown.stderr
    assert shown.stdout == plan().stdout and shown.stdout.startswith("Cover for sample school\n")
