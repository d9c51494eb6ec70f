"""A school folder for loading the web app: a week's timetable of a large school, set up as
``lessoncover init`` sets one up, with a few dates already absent and planned.

Six periods a day; each period four teachers in five teach (one class each), drawn afresh
for every weekday, so a teacher teaches about 4.8 periods a day and is free in the rest.
Teachers and their subjects come from :func:`benchmarks.workload.make_teachers`.
"""
from __future__ import annotations

import datetime
import random
import subprocess
import sys
from pathlib import Path

from lessoncover_planner.office.office import Office

from .workload import make_teachers

WEEKDAYS = ("Mon", "Tue", "Wed", "Thu", "Fri")
PERIODS = 6
TEACHING_SHARE = 0.8
FIRST_DATE = datetime.date(2026, 3, 2)  # a Monday


def lessoncover_command() -> list[str]:
    """The installed ``lessoncover`` beside this interpreter, else the package run as a module."""
    script = Path(sys.executable).with_name("lessoncover")
    return [str(script)] if script.exists() else [sys.executable, "-m", "lessoncover_planner"]


def school_dates(count: int) -> list[datetime.date]:
    """``count`` school days (weekdays) from :data:`FIRST_DATE`."""
    dates: list[datetime.date] = []
    day = FIRST_DATE
    while len(dates) < count:
        if day.weekday() < 5:
            dates.append(day)
        day += datetime.timedelta(days=1)
    return dates


def write_timetable(folder: Path, teachers: int, seed: int) -> list[str]:
    """teachers.csv, lessons.csv and school.toml of the school; returns the teachers' names."""
    rng = random.Random(seed)
    staff = make_teachers(teachers, rng)
    names = [member.name for member in staff]
    classes = [f"{7 + number % 6}{chr(ord('A') + number // 6)}" for number in range(int(teachers * TEACHING_SHARE))]
    (folder / "teachers.csv").write_text(
        "name,subject,unavailable\n" + "".join(f"{member.name},{member.sub},\n" for member in staff), encoding="utf-8")
    rows: list[str] = []
    for day in WEEKDAYS:
        for period in range(1, PERIODS + 1):
            teaching = rng.sample(names, len(classes))
            rows.extend(f"{teacher},{period},{class_name},R{rng.randint(1, 80)},{day}\n"
                        for teacher, class_name in zip(teaching, classes))
    (folder / "lessons.csv").write_text("teacher,period,class,room,day\n" + "".join(rows), encoding="utf-8")
    (folder / "school.toml").write_text(
        f"days = {list(WEEKDAYS)!r}\n".replace("'", '"') + "fairness_window = \"week\"\n[periods]\n"
        + "".join(f'{p} = "{7 + p:02}:30-{8 + p:02}:20"\n' for p in range(1, PERIODS + 1)), encoding="utf-8")
    return names


def make_school(folder: Path, teachers: int, dates: list[datetime.date], absent: int, seed: int) -> list[str]:
    """The school folder in ``folder`` (made by ``lessoncover init``), each date with ``absent``
    teachers away and planned; returns the teachers' names."""
    subprocess.run([*lessoncover_command(), "init", str(folder)], check=True, stdout=subprocess.DEVNULL)
    names = write_timetable(folder, teachers, seed)
    rng = random.Random(seed + 1)
    with Office(folder, create=False) as office:
        for date in dates:
            office.record_absences(date, rng.sample(names, absent), "Sick leave")
            office.plan(date)
    return names
