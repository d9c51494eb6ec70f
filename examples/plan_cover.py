#!/usr/bin/env python3
"""Plan cover for one school day read from three CSV files.

The day is read from a folder holding:

``teachers.csv`` (``name,subject``)
    Every teacher of the school, once.  ``subject`` is one of the subject
    spellings that ``lessoncover.Teacher`` accepts (``maths``, ``p.e``, ...).
``lessons.csv`` (``teacher,period,class``)
    One row per teacher, period and class.  ``teacher`` must be named in
    ``teachers.csv``; ``period`` is a whole number from -32768 to 32767.
``absences.csv`` (``name,reason``)
    The teachers absent all day.  An empty ``reason`` keeps the default
    reason of absence.

Each file starts with a header line naming its columns (in any order; extra
columns are ignored).  Values follow RFC 4180: a value holding a comma, a
double quote or a line break is written in double quotes.

The school is built in a fixed order, so that the same files always give
the same report:

1. For each row of ``teachers.csv``, in file order, a
   ``Teacher(name, subject, True)`` is created.
2. Each absentee of ``absences.csv`` gets ``present = False`` and, when its
   reason is not empty, ``reason_of_absentee = reason``.
3. ``School.add_teacher`` is called for every teacher in ``teachers.csv``
   order.
4. ``register_period(teacher, period, school, class)`` is called for every
   row of ``lessons.csv`` in file order.  A ``Class`` is created when its
   name first appears in ``lessons.csv``.
5. After all lessons are registered, ``School.add_class`` is called for each
   class in order of first appearance in ``lessons.csv``.
6. ``School.generate_substitutions()`` is called once; its text, followed by
   one line break, is printed or written to ``--out``.

Every file is checked before anything is written.  Bad input ends the
program with exit status 2 and one line on standard error naming the file,
the line number and the problem; ``--out`` is then left untouched.  A
report that cannot be written to ``--out`` ends it with exit status 1.

Without ``--data`` the sample school next to this script is used.
"""

from __future__ import annotations

import argparse
import csv
import io
import re
import sys
from collections.abc import Iterator, Sequence
from dataclasses import dataclass
from pathlib import Path

import lessoncover

# The day the lessoncover command bundles, kept once, in the package's source.
SAMPLE_DIR = Path(__file__).resolve().parents[1] / "python" / "lessoncover_planner" / "sample_school"
EXIT_BAD_INPUT = 2
EXIT_CANNOT_WRITE = 1
PERIOD_MIN, PERIOD_MAX = -32768, 32767
_PERIOD_TEXT = re.compile(r"[+-]?[0-9]+")


class InputError(Exception):
    """A problem in one of the input files, located by file and line."""

    def __init__(self, path: Path, line: int | None, problem: str) -> None:
        where = f"{path}" if line is None else f"{path}, line {line}"
        super().__init__(f"{where}: {problem}")


@dataclass(frozen=True)
class Record:
    """One data row of a CSV file: its first line number and its values by column."""

    line: int
    values: dict[str, str]


@dataclass(frozen=True)
class Lesson:
    """One row of lessons.csv, checked."""

    line: int
    teacher: str
    period: int
    class_name: str


def _one_line(text: str) -> str:
    """Keep a message on one line whatever the input held."""
    return text.replace("\r", "\\r").replace("\n", "\\n")


def _decode(path: Path) -> str:
    try:
        data = path.read_bytes()
    except OSError as error:
        raise InputError(path, None, f"cannot read the file: {error.strerror}") from None
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        line = data.count(b"\n", 0, error.start) + 1
        raise InputError(path, line, "not valid UTF-8 text") from None


def read_records(path: Path, columns: Sequence[str]) -> Iterator[Record]:
    """Yield the data rows of the CSV file at path; the header must name columns."""
    reader = csv.reader(io.StringIO(_decode(path), newline=""), strict=True)
    lines_read = 0
    header: list[str] | None = None
    positions: dict[str, int] = {}
    try:
        for row in reader:
            first_line, lines_read = lines_read + 1, reader.line_num
            if not row:  # a blank line
                continue
            if header is None:
                header = row
                missing = [name for name in columns if name not in header]
                if missing:
                    expected = ",".join(columns)
                    raise InputError(
                        path,
                        first_line,
                        f"header misses column {missing[0]!r} (expected {expected!r})",
                    )
                positions = {name: header.index(name) for name in columns}
                continue
            if len(row) != len(header):
                raise InputError(
                    path, first_line, f"expected {len(header)} values, found {len(row)}"
                )
            yield Record(first_line, {name: row[index] for name, index in positions.items()})
    except csv.Error as error:
        raise InputError(path, reader.line_num, f"malformed CSV: {error}") from None
    if header is None:
        raise InputError(path, 1, f"empty file, expected the header {','.join(columns)!r}")


def parse_period(path: Path, line: int, text: str) -> int:
    """The period number of text, or an InputError."""
    if _PERIOD_TEXT.fullmatch(text) is None:
        raise InputError(path, line, f"period {text!r} is not a whole number")
    period = int(text)
    if not PERIOD_MIN <= period <= PERIOD_MAX:
        raise InputError(
            path, line, f"period {text!r} is outside {PERIOD_MIN}..{PERIOD_MAX}"
        )
    return period


def read_teachers(path: Path) -> dict[str, lessoncover.Teacher]:
    """Teachers by name, in file order, all present."""
    teachers: dict[str, lessoncover.Teacher] = {}
    first_seen: dict[str, int] = {}
    for record in read_records(path, ("name", "subject")):
        name = record.values["name"]
        if name in first_seen:
            raise InputError(
                path, record.line, f"duplicate teacher {name!r} (first on line {first_seen[name]})"
            )
        try:
            teachers[name] = lessoncover.Teacher(name, record.values["subject"], True)
        except TypeError as error:
            raise InputError(path, record.line, str(error)) from None
        first_seen[name] = record.line
    return teachers


def read_absences(path: Path, teachers: dict[str, lessoncover.Teacher]) -> None:
    """Mark the absentees of the file as absent, with their reasons."""
    first_seen: dict[str, int] = {}
    for record in read_records(path, ("name", "reason")):
        name, reason = record.values["name"], record.values["reason"]
        teacher = teachers.get(name)
        if teacher is None:
            raise InputError(path, record.line, f"absent teacher {name!r} is not in teachers.csv")
        if name in first_seen:
            raise InputError(
                path, record.line, f"duplicate absence of {name!r} (first on line {first_seen[name]})"
            )
        first_seen[name] = record.line
        teacher.present = False
        if reason:
            teacher.reason_of_absentee = reason


def read_lessons(path: Path, teachers: dict[str, lessoncover.Teacher]) -> list[Lesson]:
    """The lessons of the file, in file order, checked against the teachers."""
    lessons: list[Lesson] = []
    for record in read_records(path, ("teacher", "period", "class")):
        name = record.values["teacher"]
        if name not in teachers:
            raise InputError(path, record.line, f"teacher {name!r} is not in teachers.csv")
        period = parse_period(path, record.line, record.values["period"])
        lessons.append(Lesson(record.line, name, period, record.values["class"]))
    return lessons


def plan_cover(data_dir: Path) -> str:
    """Read the school day in data_dir and return the module's substitution report."""
    teachers = read_teachers(data_dir / "teachers.csv")
    read_absences(data_dir / "absences.csv", teachers)
    lessons = read_lessons(data_dir / "lessons.csv", teachers)

    school = lessoncover.School()
    for teacher in teachers.values():
        school.add_teacher(teacher)
    classes: dict[str, lessoncover.Class] = {}
    for lesson in lessons:
        class_ = classes.get(lesson.class_name)
        if class_ is None:
            class_ = classes[lesson.class_name] = lessoncover.Class(lesson.class_name)
        lessoncover.register_period(teachers[lesson.teacher], lesson.period, school, class_)
    for class_ in classes.values():
        school.add_class(class_)
    return school.generate_substitutions()


def parse_arguments(argv: Sequence[str] | None) -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        description=(
            "Plan cover for the absent teachers of one school day and print the "
            "substitution report (CSV rows, then the lessons nobody could cover, "
            "then the time the planning took)."
        ),
        epilog=(
            "The folder must hold teachers.csv (name,subject), lessons.csv "
            "(teacher,period,class) and absences.csv (name,reason). "
            "Bad input exits with status 2."
        ),
    )
    parser.add_argument(
        "--data",
        type=Path,
        default=SAMPLE_DIR,
        metavar="DIR",
        help="folder holding the three CSV files (default: the bundled sample school)",
    )
    parser.add_argument(
        "--out",
        type=Path,
        metavar="FILE",
        help="write the report to FILE (UTF-8) instead of standard output",
    )
    return parser.parse_args(argv)


def main(argv: Sequence[str] | None = None) -> int:
    arguments = parse_arguments(argv)
    data_dir: Path = arguments.data
    out: Path | None = arguments.out
    try:
        report = plan_cover(data_dir)
    except InputError as error:
        print(f"plan_cover.py: error: {_one_line(str(error))}", file=sys.stderr)
        return EXIT_BAD_INPUT
    if out is None:
        sys.stdout.write(report + "\n")
        return 0
    try:
        with out.open("w", encoding="utf-8", newline="") as stream:
            stream.write(report + "\n")
    except OSError as error:
        print(f"plan_cover.py: error: cannot write {out}: {error.strerror}", file=sys.stderr)
        return EXIT_CANNOT_WRITE
    return 0


if __name__ == "__main__":
    sys.exit(main())
