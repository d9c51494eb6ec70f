"""A school year through the ledger: how big the file grows and what a day's writes cost.

    python3 -m benchmarks.ledger_year [--days 190] [--teachers 150] [--seed 1] [--folder DIR]

Simulates a year of school days for a school of --teachers teachers (six periods, each teacher
teaching about four of them) through the :class:`~lessoncover_planner.office.ledger.Ledger` API,
as the office would: each morning about eight absences come in one by one (some part-day), now
and then one is corrected or withdrawn, the day is planned (about thirty covers, a few lessons
left uncovered or not needed), and on about a third of the days a late absence or a changed
absence is followed by a second plan; on some days a cover is changed by hand.  Every call is a
transaction of its own, committed to disk as the command commits it.

Prints the ledger's size after a checkpoint (the ledger file and its -wal; the write-ahead log
is emptied by the checkpoint), the wall time of a day's calls to the ledger (median, 95th percentile and
the slowest day) and of one ``record_plan``, and the time to total a week's and the whole
year's covers by teacher.  The ledger is made in a new temporary folder under --folder
(default: the system's), on that folder's file system: a tmpfs makes fsync free.
"""
from __future__ import annotations

import argparse
import json
import os
import random
import statistics
import tempfile
import time
from collections.abc import Callable
from datetime import date, timedelta
from pathlib import Path
from typing import Any

from lessoncover_planner.office.ledger import AbsenceEntry, CoverEntry, Ledger, OpenLesson, PlanRun

PERIODS = range(1, 7)
REASONS = ("Sick", "Course", "Trip with 9B", "Hospital appointment", "Family", None)
RULES = ("subject", "subject", "any", "any", "double", "combined", "pinned")


def school_days(count: int, start: date = date(2025, 9, 1)) -> list[date]:
    days: list[date] = []
    day = start
    while len(days) < count:
        if day.weekday() < 5:
            days.append(day)
        day += timedelta(days=1)
    return days


def timetable(teachers: list[str], chance: random.Random) -> dict[str, list[tuple[int, str]]]:
    """Each teacher's lessons of the day: (period, class), about four of six periods."""
    return {name: [(period, f"{chance.randint(7, 13)}{chance.choice('ABCDE')}")
                   for period in PERIODS if chance.random() < 0.67] for name in teachers}


def plan_of(absences: list[AbsenceEntry], lessons: dict[str, list[tuple[int, str]]], teachers: list[str],
            chance: random.Random) -> tuple[list[CoverEntry], list[OpenLesson], list[OpenLesson]]:
    """A plausible plan: most absent lessons covered by someone free, a few open."""
    away = {entry.name for entry in absences}
    busy = {period: {name for name in teachers if any(p == period for p, _ in lessons[name])} for period in PERIODS}
    covers, uncovered, not_needed = [], [], []
    for entry in absences:
        for period, class_name in lessons[entry.name]:
            roll = chance.random()
            if roll < 0.06:
                not_needed.append(OpenLesson(entry.name, period, class_name, "class on a trip"))
                continue
            free = [name for name in teachers if name not in away and name not in busy[period]]
            if roll < 0.12 or not free:
                uncovered.append(OpenLesson(entry.name, period, class_name, "nobody free of the same subject"))
                continue
            substitute = chance.choice(free)
            busy[period].add(substitute)
            covers.append(CoverEntry(entry.name, period, class_name, substitute, "planned", chance.choice(RULES)))
    return covers, uncovered, not_needed


def record(ledger: Ledger, day: date, plan: tuple[list[CoverEntry], list[OpenLesson], list[OpenLesson]],
           options: dict[str, object], timings: list[float]) -> None:
    covers, uncovered, not_needed = plan
    run = PlanRun(f"{day.isoformat()}T07:{len(timings) % 60:02d}:00+00:00", json.dumps(options), len(covers),
                  len(uncovered), len(not_needed), 0, 0)
    started = time.perf_counter()
    ledger.record_plan(day, covers, uncovered, not_needed, run)
    timings.append(time.perf_counter() - started)


def one_day(ledger: Ledger, day: date, teachers: list[str], chance: random.Random, plan_times: list[float]) -> int:
    """The office's writes of one day; returns how many covers the day ends with."""
    lessons = timetable(teachers, chance)
    away = chance.sample(teachers, chance.randint(6, 10))
    for name in away:
        periods = chance.choice(("", "", "", "", "1-3", "4-6", "2"))
        ledger.set_absence(day, AbsenceEntry(name, chance.choice(REASONS), periods))
    if chance.random() < 0.2:  # a reason corrected, or an absence withdrawn
        if chance.random() < 0.5:
            ledger.set_absence(day, AbsenceEntry(away[0], "Sick, back tomorrow", ""))
        else:
            ledger.clear_absence(day, away.pop())
    options: dict[str, object] = {"max_covers": 3, "keep_doubles": True}
    record(ledger, day, plan_of(ledger.absences_on(day), lessons, teachers, chance), options, plan_times)
    if chance.random() < 0.35:  # a late absence, then the day planned again
        late = chance.choice([name for name in teachers if name not in away])
        ledger.set_absence(day, AbsenceEntry(late, "Sick", "3-6"))
        record(ledger, day, plan_of(ledger.absences_on(day), lessons, teachers, chance), options, plan_times)
    covers = ledger.covers_on(day)
    if covers and chance.random() < 0.15:  # a cover changed by hand
        first = covers[0]
        ledger.set_cover(day, CoverEntry(first.absent, first.period, first.class_name, chance.choice(teachers),
                                         "manual", ""))
    return len(ledger.covers_on(day))


class Stopwatch:
    """The ledger with the time spent in its methods added up, so that the simulation's own work
    (drawing absences, making plans) is not counted as the ledger's."""

    def __init__(self, ledger: Ledger) -> None:
        self.ledger, self.seconds, self.calls = ledger, 0.0, 0

    def __getattr__(self, name: str) -> Callable[..., Any]:
        method = getattr(self.ledger, name)

        def timed_method(*args: Any) -> Any:
            started = time.perf_counter()
            self.calls += 1
            try:
                return method(*args)
            finally:
                self.seconds += time.perf_counter() - started
        return timed_method


def ledger_size(path: Path) -> tuple[int, int]:
    wal = path.with_name(path.name + "-wal")
    return path.stat().st_size, wal.stat().st_size if wal.exists() else 0


def timed(call: object) -> float:
    started = time.perf_counter()
    call()  # type: ignore[operator]
    return time.perf_counter() - started


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--days", type=int, default=190)
    parser.add_argument("--teachers", type=int, default=150)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--folder", type=Path, default=None, help="where the temporary ledger goes")
    arguments = parser.parse_args()
    chance = random.Random(arguments.seed)
    teachers = [f"Teacher {number:03d}" for number in range(arguments.teachers)]
    days = school_days(arguments.days)
    with tempfile.TemporaryDirectory(dir=arguments.folder) as folder:
        path = Path(folder) / "lessoncover.db"
        day_times: list[float] = []
        plan_times: list[float] = []
        cover_counts: list[int] = []
        calls = 0
        with Ledger.open(path) as ledger:
            for day in days:
                stopwatch = Stopwatch(ledger)
                cover_counts.append(one_day(stopwatch, day, teachers, chance, plan_times))  # type: ignore[arg-type]
                day_times.append(stopwatch.seconds)
                calls += stopwatch.calls
            week = timed(lambda: ledger.covers_by_teacher(days[-5], days[-1]))
            year = timed(lambda: ledger.covers_by_teacher(None, None))
            runs = sum(len(ledger.runs_on(day)) for day in days)
            before = ledger_size(path)
            ledger.checkpoint()
            database, wal = ledger_size(path)
        print(f"{len(days)} school days, {len(teachers)} teachers, {sum(cover_counts)} covers "
              f"({statistics.mean(cover_counts):.1f} a day), {runs} plan runs; ledger in {folder} "
              f"(file system of {os.path.dirname(folder)})")
        print(f"ledger after a checkpoint: {database + wal} bytes ({database} the ledger, {wal} its -wal); "
              f"before it {sum(before)} bytes ({before[0]} and {before[1]})")
        ms = sorted(1000 * seconds for seconds in day_times)
        print(f"a day's calls to the ledger ({calls / len(days):.1f} a day, each a transaction or a read): "
              f"median {statistics.median(ms):.1f} ms, 95th percentile "
              f"{ms[int(0.95 * (len(ms) - 1))]:.1f} ms, slowest {ms[-1]:.1f} ms")
        print(f"one record_plan: median {1000 * statistics.median(plan_times):.2f} ms")
        print(f"covers by teacher: a week {1000 * week:.2f} ms, the whole year {1000 * year:.2f} ms")


if __name__ == "__main__":
    main()
