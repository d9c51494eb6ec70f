"""Importing a timetable exported by FET into a school folder.

FET's timetable CSV has one row per taught hour (an activity of two hours is two rows
with the same ``Activity Id``) and joins the values of a multi-valued field with ``+``::

    "Activity Id","Day","Hour","Students Sets","Subject","Teachers","Activity Tags","Room","Comments"
    "12","Monday","08:00-08:45","9A+9B","Maths","ABC+DEF","","R1",""

Each teacher of a row teaches each of its students sets in that day and hour, so a row of
two teachers makes co-taught lessons and a row of two students sets a combined lesson.
The rows become ``teachers.csv`` and ``lessons.csv`` (with ``room`` and ``day`` columns)
and the days (and, when the hours are times, the periods' times) go into ``school.toml``.
What had to be guessed (day labels, period numbers, each teacher's subject) is said in the
lines the import returns.
"""

from __future__ import annotations

import csv
import io
import os
import tomllib
from collections import Counter
from dataclasses import dataclass, field
from pathlib import Path

from ..cli.errors import InputError, UsageError, WriteError, one_line
from ..cli.reading import read_table
from ..cli.writing import refuse_inputs, refuse_links, write_file
from .._planner import PERIOD_MAX
from .fet_slots import DayLabels, Periods, day_labels, periods_of
from .folders import LESSONS_FILE, SCHOOL_FILE, TEACHERS_FILE
from .school_settings import read_toml
from .school_toml_edit import edit_school_toml, new_school_toml

__all__ = ["import_fet"]

NO_SUBJECT = "General"
"""The subject written for a teacher whose rows name none."""
_COLUMNS = ("day", "hour", "students sets", "subject", "teachers")
_LINES_LISTED = 5


@dataclass(frozen=True)
class _Row:
    line: int
    day: str
    hour: str
    classes: tuple[str, ...]
    subject: str
    teachers: tuple[str, ...]
    room: str


@dataclass
class _Timetable:
    """What the rows of an export add up to."""

    rows: list[_Row] = field(default_factory=list)
    skipped: dict[str, list[int]] = field(default_factory=dict)  # why -> the rows' lines
    skipped_teachers: dict[str, None] = field(default_factory=dict)  # named by skipped rows, in order
    hours: dict[str, Counter[str]] = field(default_factory=dict)  # teacher -> subject -> hours, first seen first
    lessons: dict[tuple[str, int, str, str], str] = field(default_factory=dict)  # (teacher, period, class, day) -> room
    co_taught: int = 0
    combined: int = 0
    duplicates: int = 0


def _values(text: str) -> tuple[str, ...]:
    """The distinct values of a ``+``-joined field, in order."""
    return tuple(dict.fromkeys(value.strip() for value in text.split("+") if value.strip()))


def _read_rows(export: Path) -> _Timetable:
    timetable = _Timetable()
    for record in read_table(export, _COLUMNS, ("room",)):
        values = record.values
        row = _Row(record.line, values["day"], values["hour"], _values(values["students sets"]),
                   values["subject"], _values(values["teachers"]), values.get("room", ""))
        why = ("without a teacher" if not row.teachers else "without a students set" if not row.classes
               else "without a day or an hour" if not row.day or not row.hour else None)
        if why is not None:
            timetable.skipped.setdefault(why, []).append(row.line)
            timetable.skipped_teachers.update(dict.fromkeys(row.teachers))
        else:
            timetable.rows.append(row)
    if not timetable.rows:
        raise InputError(export, None, "no row names a day, an hour, a teacher and a students set; "
                                       "export the timetable of a generated (placed) solution")
    return timetable


def _add_lessons(export: Path, timetable: _Timetable, days: DayLabels, periods: Periods) -> None:
    if len(periods.texts) > PERIOD_MAX:
        raise InputError(export, None, f"{len(periods.texts):,} different hours; at most {PERIOD_MAX} are planned")
    for row in timetable.rows:
        period, day = periods.number_of[row.hour], days.label_of[row.day]
        for teacher in row.teachers:
            subjects = timetable.hours.setdefault(teacher, Counter())
            if row.subject:
                subjects[row.subject] += 1
            for class_name in row.classes:
                lesson = (teacher, period, class_name, day)
                if lesson in timetable.lessons:
                    timetable.duplicates += 1
                    timetable.lessons[lesson] = timetable.lessons[lesson] or row.room
                else:
                    timetable.lessons[lesson] = row.room
        size = len(row.teachers) * len(row.classes)
        timetable.co_taught += size if len(row.teachers) > 1 else 0
        timetable.combined += size if len(row.classes) > 1 else 0


def _subject(hours: Counter[str]) -> str:
    """The subject taught most hours; on a tie the first seen (a Counter keeps insertion order)."""
    return max(hours, key=lambda subject: hours[subject]) if hours else NO_SUBJECT


def _csv(rows: list[tuple[object, ...]]) -> bytes:
    stream = io.StringIO(newline="")
    csv.writer(stream, lineterminator="\n").writerows(rows)
    return stream.getvalue().encode("utf-8")


def _school_toml(path: Path, days: DayLabels, periods: Periods, notes: list[str]) -> bytes:
    """The new text of school.toml, re-read with tomllib to be sure it says what it should."""
    times = dict(enumerate(periods.texts, 1)) if periods.times else {}
    if not os.path.lexists(path):
        text = new_school_toml(days.labels, times, notes)
    else:
        old, _ = read_toml(path)
        try:
            text = edit_school_toml(old, days.labels, times)
        except ValueError as error:
            raise UsageError(f"cannot update {path} ({error}); set days = [...] there by hand") from None
    try:
        settings = tomllib.loads(text)
    except tomllib.TOMLDecodeError as error:
        settings = {"error": str(error)}
    if settings.get("days") != list(days.labels) or (
            times and settings.get("periods") != {str(period): time for period, time in times.items()}):
        raise UsageError(f"cannot update {path}: the edited file would not read back as the import's days"
                         f" and periods; set days = [...] there by hand")
    return text.encode("utf-8")


def _listed(lines: list[int]) -> str:
    shown = ", ".join(map(str, lines[:_LINES_LISTED]))
    return shown + (f" and {len(lines) - _LINES_LISTED} more" if len(lines) > _LINES_LISTED else "")


def _report(timetable: _Timetable, days: DayLabels, periods: Periods) -> list[str]:
    span = days.labels[0] if len(days.labels) == 1 else f"{days.labels[0]}..{days.labels[-1]}"
    lines = [f"{len(timetable.hours)} teachers, {len(timetable.lessons)} lessons over {len(days.labels)} days"
             f" ({span}) and {len(periods.texts)} periods"]
    if days.weekdays:
        renamed = [f"{text} -> {label}" for text, label in
                   sorted(days.label_of.items(), key=lambda item: days.labels.index(item[1])) if text != label]
        lines.append("days are weekdays" + (f" ({', '.join(renamed)})" if renamed else "")
                     + "; a plain week needs no cycle_start")
    else:
        lines.append(f"days are a cycle of {len(days.labels)} labels ({', '.join(days.labels)}); set cycle_start"
                     f" in school.toml to the date of a school day labelled {days.labels[0]}")
    mapping = ", ".join(f"period {number} = {text}" for number, text in enumerate(periods.texts, 1))
    lines.append(mapping + ("; their times are written to [periods]" if periods.times else ""))
    for teacher, hours in timetable.hours.items():
        if len(hours) > 1:
            chosen = _subject(hours)
            others = ", ".join(f"{subject} ({count} h)" for subject, count in hours.items() if subject != chosen)
            tie = " (a tie: the first seen)" if sum(count == hours[chosen] for count in hours.values()) > 1 else ""
            lines.append(f"{teacher}: {chosen} ({hours[chosen]} h) over {others}{tie}")
        elif not hours:
            lines.append(f"{teacher}: no subject in the export; written as {NO_SUBJECT!r}")
    if timetable.co_taught:
        lines.append(f"{timetable.co_taught} co-taught lessons (one row for each teacher of an activity)")
    if timetable.combined:
        lines.append(f"{timetable.combined} lessons in combined classes (one row for each students set)")
    if timetable.duplicates:
        lines.append(f"{timetable.duplicates} {'lesson' if timetable.duplicates == 1 else 'lessons'} named again"
                     " by another row, written once")
    for why, skipped in timetable.skipped.items():
        rows = "row" if len(skipped) == 1 else "rows"
        lines.append(f"skipped {len(skipped)} {rows} {why} (line {_listed(skipped)})")
    # A teacher with no lesson is free all day, the likeliest cover: say so rather than drop them quietly.
    unlisted = [name for name in timetable.skipped_teachers if name not in timetable.hours]
    if unlisted:
        lines.append(f"only skipped rows name {', '.join(unlisted)}: not in teachers.csv; add them there"
                     " (with a subject) for them to cover")
    return lines


def import_fet(export: Path, school: Path, overwrite: bool = False) -> list[str]:
    """Write teachers.csv, lessons.csv and the days of school.toml in the school folder from
    a FET timetable export; return the lines saying what was written and guessed.

    Raise InputError for an export that cannot be read, UsageError when teachers.csv or
    lessons.csv exists and overwrite is false, WriteError when a file cannot be written.
    """
    teachers_path, lessons_path, toml_path = (school / name for name in (TEACHERS_FILE, LESSONS_FILE, SCHOOL_FILE))
    existing = [str(path) for path in (teachers_path, lessons_path) if os.path.lexists(path)]
    if existing and not overwrite:
        raise UsageError(f"{' and '.join(existing)} already {'exist' if len(existing) > 1 else 'exists'};"
                         " pass --force to replace them with the import")
    if os.path.lexists(school) and not os.path.isdir(school):
        raise UsageError(f"{school} is not a folder; name the school folder with --school")
    outputs = (teachers_path, lessons_path, toml_path)
    refuse_inputs(outputs, [export], option="the school file")
    refuse_links(outputs, folders=False)

    timetable = _read_rows(export)
    days = day_labels(list(dict.fromkeys(row.day for row in timetable.rows)))
    periods = periods_of(list(dict.fromkeys(row.hour for row in timetable.rows)))
    _add_lessons(export, timetable, days, periods)
    lines = _report(timetable, days, periods)
    # Comments end at a line break, so a name that holds one is escaped to stay a comment.
    notes = [f"Imported from the FET export {one_line(export.name)}."]
    if not days.weekdays:
        notes.append(f"cycle_start = YYYY-MM-DD  (the date of a school day labelled {one_line(days.labels[0])})")
    toml_data = _school_toml(toml_path, days, periods, notes)

    teachers = [(name, _subject(hours)) for name, hours in timetable.hours.items()]
    # Day by day and period by period, as a timetable is read; within a period, as exported.
    day_order = {label: index for index, label in enumerate(days.labels)}
    lessons = sorted(((teacher, period, class_name, room, day)
                      for (teacher, period, class_name, day), room in timetable.lessons.items()),
                     key=lambda lesson: (day_order[lesson[4]], lesson[1]))
    try:
        os.makedirs(school, exist_ok=True)
    except OSError as error:
        raise WriteError(school, error) from None
    write_file(teachers_path, _csv([("name", "subject"), *teachers]), follow_name=False)
    write_file(lessons_path, _csv([("teacher", "period", "class", "room", "day"), *lessons]), follow_name=False)
    write_file(toml_path, toml_data, follow_name=False)
    lines.append(f"wrote {teachers_path}, {lessons_path} and {toml_path}")
    return lines
