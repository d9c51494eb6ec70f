"""Days for lessoncover_planner's tests: built through lessoncover, read from CSV folders, and
the report read back into rows and missing-cover lines."""
import csv
import io
import re
from pathlib import Path

import lessoncover

ROOT = Path(__file__).resolve().parents[1]
SAMPLE = ROOT / "python" / "lessoncover_planner" / "sample_school"  # the package's bundled day
TIMETABLES = Path(__file__).resolve().parents[2] / "shared" / "data" / "timetables"
DAYS = [SAMPLE] + sorted(p for p in TIMETABLES.glob("*") if (p / "lessons.csv").is_file())
HEADER = ["Teacher", "Period", "Subject", "Substitution", "Classroom", "Reason"]
MISSING = re.compile(r'Couldnt find a substitution for (.*?) at (-?\d+)-"((?:[^"\\]|\\.)*)"\n', re.S)
UNESCAPE = re.compile(r"\\(?:u\{([0-9a-f]+)\}|(.))", re.S)
SIMPLE = {"\\": "\\", '"': '"', "n": "\n", "t": "\t", "r": "\r", "0": "\0"}


def lessoncover_report(teachers, lessons, absences, api=lessoncover):
    """generate_substitutions() up to its timing line, for the school built in the planner's
    order, of the module or of another implementation of its API."""
    school = api.School()
    objects = {}
    for name, subject in teachers:
        teacher = objects[name] = api.Teacher(name, subject, name not in absences)
        if absences.get(name):
            teacher.reason_of_absentee = absences[name]
        school.add_teacher(teacher)
    classes = {}
    for name, period, class_name in lessons:
        if class_name not in classes:
            classes[class_name] = api.Class(class_name)
        api.register_period(objects[name], period, school, classes[class_name])
    for class_ in classes.values():
        school.add_class(class_)
    return school.generate_substitutions().rsplit("\n", 1)[0]


def read_day(folder):
    """(teachers, lessons, absences) of a folder of teachers.csv, lessons.csv and absences.csv."""
    def rows(name):
        with open(folder / name, newline="", encoding="utf-8") as stream:
            return list(csv.DictReader(stream))

    teachers = [(r["name"], r["subject"]) for r in rows("teachers.csv")]
    lessons = [(r["teacher"], int(r["period"]), r["class"]) for r in rows("lessons.csv")]
    absences = {r["name"]: r["reason"] for r in rows("absences.csv")}
    return teachers, lessons, absences


def unquote(text):
    assert text[0] == text[-1] == '"', text
    return UNESCAPE.sub(lambda m: chr(int(m[1], 16)) if m[1] else SIMPLE[m[2]], text[1:-1])


def parse_report(head):
    """The CSV rows (lists of six str) and missing-cover lines (name, period, class) of a report."""
    rows_text, missing_text = head.rsplit("\n", 1)
    assert rows_text.endswith("\n")
    header, *rows = csv.reader(io.StringIO(rows_text, newline=""))
    assert header == HEADER
    # A name may hold a line break, which reads as the `\n` that ends each line: match whole
    # lines from the start rather than split.
    lines, missing, at = unquote(missing_text), [], 0
    while at < len(lines):
        match = MISSING.match(lines, at)
        assert match, lines[at:]
        missing.append((match[1], int(match[2]), unquote(f'"{match[3]}"')))
        at = match.end()
    return rows, missing
