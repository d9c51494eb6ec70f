"""A school folder: the year's timetable read once, and any date's day built from it.

The folder holds ``school.toml`` (the calendar, period times and default policies,
see :mod:`.school_settings`), ``teachers.csv`` and ``lessons.csv`` as a day folder
has them, and ``lessoncover.db``, the ledger of absences and covers by date.
``lessons.csv`` may say on which days a row is taught in a ``day`` column: a weekday
(``Mon``, ``monday``) or a label of the cycle (``A-Mon``); a row without one is taught
every school day.  :func:`school_day` turns the timetable and a date's absences into
the same :class:`~lessoncover_planner.cli.reading.Day` a day folder gives, so every
renderer and check of ``lessoncover plan`` works on it unchanged.
"""

from __future__ import annotations

from collections.abc import Mapping
from dataclasses import dataclass, field
from datetime import date
from pathlib import Path

from ..cli.errors import InputError
from ..cli.guidance import did_you_mean
from ..cli.reading import (Day, PeriodRanges, add_lesson, lesson_of, parse_period_list, periods_within,
                           read_table, read_teachers)
from ..cli.reading_checks import check_absences
from .calendar import Calendar, NotASchoolDay
from .folders import LEDGER_FILE, LESSONS_FILE, SCHOOL_FILE, TEACHERS_FILE, is_school
from .school_init import init_school
from .school_settings import read_settings

__all__ = ["SCHOOL_FILE", "LEDGER_FILE", "TEACHERS_FILE", "LESSONS_FILE", "is_school", "LessonRow", "School",
           "read_school", "school_day", "init_school", "NotASchoolDay"]

@dataclass(frozen=True)
class LessonRow:
    """One row of lessons.csv; ``room`` and ``day`` are "" when the row names none."""

    teacher: str
    period: int
    class_name: str
    room: str
    day: str
    line: int


@dataclass
class School:
    """The school's year as read from its folder: who teaches, what, when, and the calendar."""

    folder: Path
    teachers: list[tuple[str, str]]
    unavailable: dict[str, PeriodRanges]
    lessons: list[LessonRow]
    calendar: Calendar
    period_times: dict[int, str] = field(default_factory=dict)
    policy_defaults: dict[str, object] = field(default_factory=dict)
    """The policies school.toml sets, and only those: a command's flags go over them."""
    supply: tuple[str, ...] = ()
    """The supply teachers of teachers.csv, in its order."""
    warnings: list[str] = field(default_factory=list)

    @property
    def ledger_path(self) -> Path:
        return self.folder / LEDGER_FILE

    @property
    def files(self) -> tuple[Path, ...]:
        """The files the school is read from: inputs, which no output may replace."""
        return tuple(self.folder / name for name in (TEACHERS_FILE, LESSONS_FILE, SCHOOL_FILE))


def read_school(folder: Path) -> School:
    """Read and check the school folder; InputError naming the file and line of any fault."""
    settings = read_settings(folder / SCHOOL_FILE)
    warnings = list(settings.warnings)
    teachers_path, lessons_path = folder / TEACHERS_FILE, folder / LESSONS_FILE
    teachers, unavailable, first_seen, supply = read_teachers(teachers_path, warnings)
    lessons = []
    known_labels: set[str] = set()  # checked once each, not once a row
    for record in read_table(lessons_path, ("teacher", "period", "class"), ("room", "day")):
        values = record.values
        teacher, period, class_name = lesson_of(lessons_path, record, first_seen)
        if settings.period_times and period not in settings.period_times:
            raise InputError(lessons_path, record.line, f"period {period} is not one of the periods in "
                             f"{SCHOOL_FILE} ({', '.join(map(str, settings.period_times))})")
        label = values.get("day", "")
        if label and label not in known_labels:
            if not settings.calendar.knows_label(label):
                raise InputError(lessons_path, record.line, f"day {label!r} is not a day of the timetable"
                                 + did_you_mean(label, settings.calendar.days)
                                 + f" (the days are {', '.join(settings.calendar.days)})")
            known_labels.add(label)
        lessons.append(LessonRow(teacher, period, class_name, values.get("room", ""), label, record.line))
    return School(folder=folder, teachers=teachers, unavailable=unavailable, lessons=lessons,
                  calendar=settings.calendar, period_times=settings.period_times,
                  policy_defaults=settings.policy_defaults, supply=supply, warnings=warnings)


def school_day(school: School, day: date, absences: Mapping[str, tuple[str | None, str]]) -> Day:
    """The school's day on a date with the absences the ledger keeps for it (name: (reason
    or None, periods as written, "" for all day)), checked as a day folder is.

    NotASchoolDay for a weekend or holiday; InputError naming the ledger for an absence
    of someone teachers.csv does not have.  The day's warnings are the school's, then
    the day's own.
    """
    label = school.calendar.label(day)
    lessons_path = school.folder / LESSONS_FILE
    result = Day(folder=school.folder, name=day.isoformat(), teachers=list(school.teachers), lessons=[],
                 absences={}, supply=school.supply, warnings=list(school.warnings),
                 period_times=dict(school.period_times))
    seen: dict[tuple[str, int, str], int] = {}
    # A timetable has a few day labels over many rows: each is matched against the date once.
    taught = {text for text in {row.day for row in school.lessons}
              if not text or school.calendar.label_matches(text, day)}
    for row in school.lessons:
        if row.day in taught:
            add_lesson(result, seen, lessons_path, row.line, (row.teacher, row.period, row.class_name), row.room)

    where = f"{school.ledger_path}, absences of {day.isoformat()} ({label})"
    known = {name for name, _ in school.teachers}
    for name, (reason, periods) in absences.items():
        if name not in known:
            raise InputError(school.ledger_path, None, f"absence of {name!r} on {day.isoformat()}: "
                             "not a teacher in teachers.csv" + did_you_mean(name, known))
        result.absences[name] = reason or None
        if periods.strip():
            try:
                result.absent_ranges[name] = parse_period_list(school.ledger_path, None, "periods", periods.strip())
            except InputError as error:
                raise InputError(school.ledger_path, None,
                                 f"absence of {name!r} on {day.isoformat()}: {error.problem}") from None

    day_periods = sorted(school.period_times) or sorted({period for _, period, _ in result.lessons})
    result.unavailable = {name: periods_within(ranges, day_periods) for name, ranges in school.unavailable.items()}
    result.absent_periods = {name: periods_within(ranges, day_periods)
                             for name, ranges in result.absent_ranges.items()}
    result.warnings.extend(check_absences(where, result, dict.fromkeys(result.absences)))
    return result
