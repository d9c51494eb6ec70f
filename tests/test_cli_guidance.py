"""Errors that name the likely fix: the near spelling of a teacher, class, column or subject, the
file beside a missing one, a spreadsheet to save as CSV, and the delimiter a short row missed."""
import pytest
from cli_support import FILES, SAMPLE, copy_day, plan, refused, run, write_day
from lessoncover_planner.cli.guidance import close_match

TEACHERS = "name,subject\nACL,english\nBen Brandt,maths\nCleo,maths\n"
LESSONS = "teacher,period,class\nACL,1,7A\nBen Brandt,2,9B\n"
ABSENCES = "name,reason\nACL,Sick\n"


@pytest.mark.parametrize("word, candidates, expected", [
    ("acl", ["ACL", "ACM"], "ACL"),          # letter case first
    ("Ben Brant", ["Ben Brandt", "Cleo"], "Ben Brandt"),
    ("Zed", ["ACL", "Cleo"], None),
    ("ACL", ["ACL"], None),                  # the word itself is no suggestion
])
def test_close_match(word, candidates, expected):
    assert close_match(word, candidates) == expected


@pytest.mark.parametrize("file, text, words", [
    ("absences.csv", "name,reason\nacl,Sick\n", ("line 2: absent teacher 'acl' is not in teachers.csv",
                                                  "(did you mean 'ACL'?)")),
    ("lessons.csv", LESSONS + "Ben Brant,3,7A\n", ("line 4: teacher 'Ben Brant' is not in teachers.csv",
                                                   "(did you mean 'Ben Brandt'?)")),
    ("teachers.csv", "nmae,subject\nACL,english\n", ("header misses column 'name' (did you mean 'nmae'?)",)),
    ("lessons.csv", "teacher;period;class\nACL;1;7A\nACL,2,7B\n",
     ("line 3: expected 3 values separated by ';' (the header's delimiter), found 1",)),
    ("lessons.csv", "teacher\tperiod\tclass\nACL\t1\n",
     ("line 2: expected 3 values separated by tabs (the header's delimiter), found 2",)),
])
def test_errors_name_the_likely_fix(tmp_path, file, text, words):
    day = write_day(tmp_path / "day", TEACHERS, LESSONS, ABSENCES)
    (day / file).write_text(text, encoding="utf-8")
    refused(run("plan", "--data", day), 2, f"{day / file}", *words)


def test_away_class_names_the_near_class(tmp_path):
    day = write_day(tmp_path / "day", TEACHERS, LESSONS, ABSENCES)
    refused(run("plan", "--data", day, "--away", "7a"), 2, "--away '7a': no lesson of that class",
            "(did you mean '7A'?)")
    refused(run("plan", "--data", day, "--away", "12Q"), 2, "--away '12Q'")
    assert "did you mean" not in run("plan", "--data", day, "--away", "12Q").stderr


@pytest.mark.parametrize("present, hint", [
    ("Teachers.csv", "there is Teachers.csv: file names are matched exactly, rename it to teachers.csv"),
    ("teacher.csv", "there is teacher.csv"),
    ("teachers.xlsx", 'teachers.xlsx is a spreadsheet there: save it as "CSV UTF-8"'),
    ("Teachers.ods", 'Teachers.ods is a spreadsheet there: save it as "CSV UTF-8"'),
])
def test_missing_file_names_what_sits_beside_it(tmp_path, present, hint):
    day = write_day(tmp_path / "day", TEACHERS, LESSONS, ABSENCES)
    (day / "teachers.csv").rename(day / present)
    refused(run("plan", "--data", day), 2, f"{day / 'teachers.csv'}: cannot read the file", hint)


def test_missing_file_without_a_neighbour_keeps_the_plain_message(tmp_path):
    day = write_day(tmp_path / "day", TEACHERS, LESSONS, ABSENCES)
    (day / "lessons.csv").unlink()
    shown = run("plan", "--data", day)
    refused(shown, 2, f"{day / 'lessons.csv'}: cannot read the file: No such file or directory")
    assert "did you mean" not in shown.stderr and "there is" not in shown.stderr


def test_missing_history_names_the_near_file(tmp_path):
    (tmp_path / "History.csv").write_text("name,covers\n", encoding="utf-8")
    refused(run("plan", "--data", SAMPLE, "--history", tmp_path / "history.csv"), 2,
            f"{tmp_path / 'history.csv'}: cannot read the file", "there is History.csv")


@pytest.mark.parametrize("subject, near", [("Mathematcs", "mathematics"), ("Chemistery", "chemistry"),
                                           ("physic", "physics")])
def test_a_near_miss_subject_is_a_warning(tmp_path, subject, near):
    day = write_day(tmp_path / "day", TEACHERS + f"Dee,{subject}\n", LESSONS, ABSENCES)
    shown = run("plan", "--data", day, "--format", "json")
    assert shown.returncode == 0
    assert shown.stderr == (f"lessoncover: warning: {day / 'teachers.csv'}, line 5: teacher 'Dee': subject "
                            f"{subject!r} is not one the planner knows (did you mean {near!r}?); "
                            "planned as a subject of its own\n")


@pytest.mark.parametrize("subject", ["Drama", "Art History", "Computer Science", "MATHS", " p.e. ", "Music"])
def test_known_and_distinct_subjects_are_no_warning(tmp_path, subject):
    plan("--data", write_day(tmp_path / "day", TEACHERS + f"Dee,{subject}\n", LESSONS, ABSENCES), "--format", "json")
