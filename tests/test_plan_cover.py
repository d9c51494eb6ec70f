"""examples/plan_cover.py: the CSV front end, on the sample school, real timetables and bad input."""
import csv
import re
import subprocess
import sys
from collections import Counter
from pathlib import Path

import pytest

import lessoncover

ROOT = Path(__file__).resolve().parents[1]
SCRIPT = ROOT / "examples" / "plan_cover.py"
SAMPLE = ROOT / "python" / "lessoncover_planner" / "sample_school"
TIMETABLES = Path(__file__).resolve().parents[2] / "shared" / "data" / "timetables"
DAYS = sorted(p for p in TIMETABLES.glob("*") if (p / "lessons.csv").is_file())
HEADER = ["Teacher", "Period", "Subject", "Substitution", "Classroom", "Reason"]
MISSING = re.compile(r'Couldnt find a substitution for (.*) at (-?\d+)-"((?:[^"\\]|\\.)*)"')
UNESCAPE = re.compile(r"\\(?:u\{([0-9a-f]+)\}|(.))")
SIMPLE = {"\\": "\\", '"': '"', "n": "\n", "t": "\t", "r": "\r", "0": "\0"}


def run(*args):
    return subprocess.run(
        [sys.executable, str(SCRIPT), *map(str, args)], capture_output=True, text=True, encoding="utf-8"
    )


def unquote(text):
    assert text[0] == text[-1] == '"', text
    return UNESCAPE.sub(lambda m: chr(int(m[1], 16)) if m[1] else SIMPLE[m[2]], text[1:-1])


def read_day(folder):
    def rows(name):
        with open(folder / name, newline="", encoding="utf-8") as stream:
            return list(csv.DictReader(stream))

    teachers = {r["name"]: lessoncover.Teacher("_", r["subject"], True).get_sub()
                for r in rows("teachers.csv")}
    absent = {r["name"]: r["reason"] or "Planned Absense" for r in rows("absences.csv")}
    lessons = [(r["teacher"], int(r["period"]), r["class"]) for r in rows("lessons.csv")]
    return teachers, absent, lessons


def check_report(folder, output):
    """Check the script's output against the rules of cover; return the rows."""
    teachers, absent, lessons = read_day(folder)
    assert output.endswith("\n") and not output.endswith("\n\n")
    report, missing_text, timing = output[:-1].rsplit("\n", 2)
    assert re.fullmatch(r'"Time taken to generate subs: [0-9.]+(s|ms|µs|ns)"', timing)
    header, *rows = list(csv.reader(report.splitlines(keepends=True)))
    assert header == HEADER and all(len(row) == 6 for row in rows)
    missing_lines = unquote(missing_text).splitlines()
    missing = [(m[1], int(m[2]), unquote(f'"{m[3]}"')) for m in map(MISSING.fullmatch, missing_lines)]

    busy = {(t, p) for t, p, _ in lessons}
    for name, period, subject, substitute, class_name, reason in rows:
        assert subject == teachers[name] and reason == absent[name]
        assert substitute in teachers and substitute not in absent
        assert (substitute, int(period)) not in busy, "substitute already busy"
        busy.add((substitute, int(period)))
    for name, period, subject, substitute, _, _ in rows:
        if teachers[substitute] != subject:  # no colleague of the subject was free
            colleagues = [t for t, s in teachers.items() if s == subject and t not in absent]
            assert all((t, int(period)) in busy for t in colleagues)
    for _, period, _ in missing:
        assert all((t, period) in busy for t in teachers if t not in absent)

    expected = Counter(lesson for lesson in lessons if lesson[0] in absent)
    handled = Counter([(n, int(p), c) for n, p, _, _, c, _ in rows] + missing)
    assert handled == expected, "each absent lesson needs exactly one row or missing line"
    return rows


def test_sample_school_to_stdout_and_out_file(tmp_path):
    shown = run()
    assert shown.returncode == 0 and shown.stderr == ""
    rows = check_report(SAMPLE, shown.stdout)
    assert len(rows) > 10 and any("," in row[5] for row in rows)
    out = tmp_path / "cover.txt"
    written = run("--out", out, "--data", SAMPLE)
    assert written.returncode == 0 and written.stdout == ""
    check_report(SAMPLE, out.read_text(encoding="utf-8"))


def test_help():
    shown = run("--help")
    assert shown.returncode == 0 and "--data DIR" in shown.stdout and "--out FILE" in shown.stdout


@pytest.mark.parametrize("day", DAYS or [pytest.param(None, marks=pytest.mark.skip("no timetables"))],
                         ids=lambda day: getattr(day, "name", "none"))
def test_real_timetable(day):
    shown = run("--data", day)
    assert shown.returncode == 0, shown.stderr
    assert check_report(day, shown.stdout)


LESSONS = "teacher,period,class\n"
BAD_INPUT = {
    "unknown subject": ("teachers.csv", "name,subject\nA,maths\nB,Astronomy\n", 3, "Wrong subject astronomy"),
    "duplicate teacher": ("teachers.csv", "name,subject\nA,maths\nA,art\n", 3, "duplicate teacher 'A'"),
    "missing column": ("teachers.csv", "name\nA\n", 1, "header misses column 'subject'"),
    "empty file": ("absences.csv", "", 1, "empty file"),
    "unknown absentee": ("absences.csv", "name,reason\nNobody,Sick\n", 2, "'Nobody' is not in teachers.csv"),
    "duplicate absentee": ("absences.csv", "reason,name\n,Ben Brandt\nSick,Ben Brandt\n", 3, "duplicate"),
    "unknown teacher": ("lessons.csv", LESSONS + "Ben Brandt,1,7A\nNobody,1,7B\n", 3, "'Nobody' is not in"),
    "short row": ("lessons.csv", LESSONS + "Ben Brandt,1\n", 2, "expected 3 values, found 2"),
    "period text": ("lessons.csv", LESSONS + "Ben Brandt,one,7A\n", 2, "period 'one' is not a whole number"),
    "period float": ("lessons.csv", LESSONS + "Ben Brandt,1.5,7A\n", 2, "period '1.5' is not a whole number"),
    "period high": ("lessons.csv", LESSONS + "Ben Brandt,32768,7A\n", 2, "outside -32768..32767"),
    "period low": ("lessons.csv", LESSONS + "Ben Brandt,-32769,7A\n", 2, "outside -32768..32767"),
    "after quoted line break": ("lessons.csv", LESSONS + 'Ben Brandt,1,"7\nA"\nBen Brandt,x,7A\n', 4, "'x'"),
}


@pytest.mark.parametrize("file_name, content, line, message", BAD_INPUT.values(), ids=BAD_INPUT.keys())
def test_bad_input(tmp_path, file_name, content, line, message):
    for name in ("teachers.csv", "lessons.csv", "absences.csv"):
        (tmp_path / name).write_bytes((SAMPLE / name).read_bytes())
    (tmp_path / file_name).write_text(content, encoding="utf-8")
    out = tmp_path / "out.txt"
    shown = run("--data", tmp_path, "--out", out)
    assert shown.returncode == 2 and shown.stdout == "" and not out.exists()
    assert shown.stderr.count("\n") == 1 and "Traceback" not in shown.stderr
    assert f"{tmp_path / file_name}, line {line}: " in shown.stderr and message in shown.stderr


def test_missing_folder(tmp_path):
    shown = run("--data", tmp_path / "nowhere")
    assert shown.returncode == 2 and "teachers.csv: cannot read the file" in shown.stderr


def test_period_limits_and_blank_lines_are_accepted(tmp_path):
    for name in ("teachers.csv", "absences.csv"):
        (tmp_path / name).write_bytes((SAMPLE / name).read_bytes())
    (tmp_path / "lessons.csv").write_text(LESSONS + "\nKeiko Sato,-32768,7A\nKeiko Sato,32767,7A\n\n")
    shown = run("--data", tmp_path)
    assert shown.returncode == 0, shown.stderr
    assert len(check_report(tmp_path, shown.stdout)) == 2
