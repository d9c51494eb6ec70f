"""Likely mistakes are warnings (one line each on standard error, exit 0) and errors under
--strict (exit 2, nothing written); without --data the current folder is planned when it holds a
day, else the bundled sample school, saying so."""
import pytest
from cli_support import FILES, SAMPLE, SAMPLE_NOTE, copy_day, plan, refused, run, without_timing, write_day

TEACHERS = "name,subject\nA,maths\nB,maths\nC,art\n"
LESSONS = "teacher,period,class\nA,1,7A\nA,2,7B\nA,3,7A\nB,4,7C\nC,5,7D\n"


@pytest.mark.parametrize("absences, warning", [
    ("name,reason,periods\nA,Sick,9\n",
     "line 2: periods 9 of 'A' are not periods of this day (its lessons use 1-5); nothing to cover in them"),
    ("name,reason,periods\nA,Sick,3-7\n",
     "line 2: periods 6-7 of 'A' are not periods of this day (its lessons use 1-5); nothing to cover in them"),
    ("name,reason,periods\nA,Sick,-32768-32767\n",  # named as runs, never period by period
     "line 2: periods -32768-0;6-32767 of 'A' are not periods of this day (its lessons use 1-5); "
     "nothing to cover in them"),
    ("name,reason,periods\nA,Sick,0;2;4-6;9\n",
     "line 2: periods 0;6;9 of 'A' are not periods of this day (its lessons use 1-5); nothing to cover in them"),
    ("name,reason,periods\nA,Sick,4-5\n",
     "line 2: absent teacher 'A' has no lessons in periods 4-5; nothing to cover"),
    ("name,reason\nA,Sick\nD,Course\n", "line 3: absent teacher 'D' has no lessons this day; nothing to cover"),
])
def test_absences_that_ask_for_nothing_are_warnings(tmp_path, absences, warning):
    teachers = TEACHERS + "D,maths\n"
    day = write_day(tmp_path / "day", teachers, LESSONS, absences)
    out = tmp_path / "cover.json"
    shown = run("plan", "--data", day, "--format", "json", "--out", out)
    assert shown.returncode == 0
    assert shown.stderr == f"lessoncover: warning: {day / 'absences.csv'}, {warning}\n"
    assert out.exists()
    out.unlink()
    refused(run("plan", "--data", day, "--format", "json", "--out", out, "--strict"), 2,
            warning, "--strict makes warnings errors")
    assert not out.exists()


def test_absences_with_lessons_to_cover_are_no_warning(tmp_path):
    day = write_day(tmp_path / "day", TEACHERS, LESSONS, "name,reason,periods\nA,Sick,2-3\nB,Course,\n")
    plan("--data", day, "--format", "json", "--strict")


def test_strict_makes_the_duplicate_lesson_an_error(tmp_path):
    day = write_day(tmp_path / "day", TEACHERS, LESSONS + "A,1,7A\n", "name,reason\nA,Sick\n")
    shown = run("plan", "--data", day, "--format", "json")
    assert shown.returncode == 0 and "duplicate lesson of 'A' in period 1" in shown.stderr
    refused(run("plan", "--data", day, "--strict"), 2, "line 7: duplicate lesson of 'A' in period 1", "--strict")


def test_strict_names_the_first_warning_and_counts_the_others(tmp_path):
    day = write_day(tmp_path / "day", TEACHERS + "D,maths\n", LESSONS + "A,1,7A\n",
                    "name,reason,periods\nA,Sick,9\nD,Course,\n")
    shown = run("plan", "--data", day, "--format", "json")
    assert shown.returncode == 0 and shown.stderr.count("lessoncover: warning: ") == 3
    refused(run("plan", "--data", day, "--strict"), 2, "duplicate lesson", "(and 2 more warnings)")


def test_history_names_unknown_to_the_day(tmp_path):
    day = write_day(tmp_path / "day", TEACHERS, LESSONS, "name,reason\nA,Sick\n")
    history = tmp_path / "history.csv"
    text = "day,name,covers\n,b,1\n,Zed,2\nx,B,1\n"
    history.write_text(text, encoding="utf-8")
    shown = run("plan", "--data", day, "--history", history, "--format", "json")
    assert shown.returncode == 0
    assert shown.stderr == (f"lessoncover: warning: {history}: 2 name(s) not in {day / 'teachers.csv'}, their covers "
                            "are not counted: 'b' (did you mean 'B'?), 'Zed'\n")
    refused(run("plan", "--data", day, "--history", history, "--update-history", "--strict"), 2, "'Zed'")
    assert history.read_text(encoding="utf-8") == text


# --- no --data: the current folder, or the sample school said aloud -----------------------------

def test_a_day_in_the_current_folder_is_planned(tmp_path):
    day = copy_day(SAMPLE, tmp_path / "2025-03-10")
    (day / "absences.csv").write_text("name,reason\n" + (SAMPLE / "absences.csv").read_text(
        encoding="utf-8").splitlines()[1] + "\n", encoding="utf-8")  # one absentee: not the sample's plan
    here = plan("--format", "csv", cwd=day).stdout
    assert here == plan("--data", day, "--format", "csv").stdout
    assert here != plan("--data", SAMPLE, "--format", "csv").stdout
    assert plan("--format", "json", cwd=day).stdout.startswith('{\n  "day": "2025-03-10",')


def test_without_a_day_here_the_sample_school_is_planned_and_said_so(tmp_path):
    shown = run("plan", "--format", "report", cwd=tmp_path)
    assert shown.returncode == 0 and shown.stderr == SAMPLE_NOTE
    assert without_timing(shown.stdout) == without_timing(plan("--data", SAMPLE, "--format", "report").stdout)


def test_a_partial_day_here_is_planned_and_names_the_missing_file(tmp_path):
    (tmp_path / "lessons.csv").write_text("teacher,period,class\n", encoding="utf-8")
    refused(run("plan", cwd=tmp_path), 2, "teachers.csv: cannot read the file")


def test_an_error_planning_the_sample_school_stays_one_line(tmp_path):
    refused(run("plan", "--away", "9Z", cwd=tmp_path), 2, "--away '9Z': no lesson of that class")
    refused(run("plan", "--strict", "--history", tmp_path / "h.csv", cwd=tmp_path), 2, "h.csv: cannot read")
