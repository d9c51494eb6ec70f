"""Planning a date of a large school with a month in its ledger, end to end.

    python3 -m benchmarks.office_month --teachers 150 --runs 10

Makes a school folder of --teachers teachers (a week's timetable by day label, eight
periods with times, rooms), fills its ledger with a month (20 school days) of absences
and plans through the office layer, then times ``lessoncover plan --school DIR --date D``
on the next school day, --runs times, interleaved with ``python -c pass`` and with the
in-process ``Office.plan``. A re-plan of a planned date keeps its covers, so each timed run
plans the same work: the day's covers are kept and the new absence's lessons planned.
Prints medians and the ledger's size.
"""
from __future__ import annotations

import argparse
import datetime
import random
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from lessoncover_planner.office.office import Office

SUBJECTS = ["Mathematics", "English", "Science", "History", "Geography", "French", "Art", "Music",
            "Computing", "PE", "Religious Studies", "Drama"]
WEEKDAYS = ["Mon", "Tue", "Wed", "Thu", "Fri"]
PERIODS = 8


def make_school(folder: Path, teachers: int, seed: int) -> list[str]:
    rng = random.Random(seed)
    names = [f"T{number:03}" for number in range(teachers)]
    # Three teachers in four teach in each period: a class for each of them.
    classes = [f"{7 + number // 16}{chr(ord('A') + number % 16)}" for number in range(teachers * 3 // 4)]
    (folder / "school.toml").write_text(
        "fairness_window = 10\n[periods]\n" + "".join(f'{p} = "{8 + p:02}:00-{8 + p:02}:50"\n'
                                                     for p in range(1, PERIODS + 1)), encoding="utf-8")
    (folder / "teachers.csv").write_text(
        "name,subject\n" + "".join(f"{name},{rng.choice(SUBJECTS)}\n" for name in names), encoding="utf-8")
    rows = []
    for day in WEEKDAYS:
        for period in range(1, PERIODS + 1):
            # Each class has a lesson every period; a teacher teaches about three periods in four.
            free = names[:]
            rng.shuffle(free)
            for class_name, teacher in zip(classes, free):
                rows.append(f"{teacher},{period},{class_name},R{rng.randint(1, 60)},{day}\n")
    (folder / "lessons.csv").write_text("teacher,period,class,room,day\n" + "".join(rows), encoding="utf-8")
    return names


def school_days(start: datetime.date, count: int) -> list[datetime.date]:
    days, day = [], start
    while len(days) < count:
        if day.weekday() < 5:
            days.append(day)
        day += datetime.timedelta(days=1)
    return days


def median_ms(times: list[float]) -> float:
    return statistics.median(times) * 1000


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--teachers", type=int, default=150)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--seed", type=int, default=7)
    arguments = parser.parse_args()
    rng = random.Random(arguments.seed)
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(tmp)
        names = make_school(folder, arguments.teachers, arguments.seed)
        days = school_days(datetime.date(2025, 2, 3), 21)
        month, target = days[:-1], days[-1]
        started = time.perf_counter()
        with Office(folder) as office:
            for day in month + [target]:
                office.record_absences(day, rng.sample(names, 8), "Sick")
                office.plan(day)
        filled = time.perf_counter() - started
        command = [sys.executable, "-m", "lessoncover_planner", "plan", "--school", str(folder),
                   "--date", target.isoformat()]
        baseline, whole, in_process = [], [], []
        for _ in range(arguments.runs):
            for times, run in ((baseline, [sys.executable, "-c", "pass"]), (whole, command)):
                began = time.perf_counter()
                subprocess.run(run, stdout=subprocess.DEVNULL, check=True)
                times.append(time.perf_counter() - began)
            with Office(folder) as office:
                began = time.perf_counter()
                office.plan(target)
                in_process.append(time.perf_counter() - began)
        ledger = folder / "lessoncover.db"
        size = sum(path.stat().st_size for path in folder.glob("lessoncover.db*"))
        with Office(folder) as office:
            planned = office.plan(target)
        print(f"school: {arguments.teachers} teachers, a week's timetable; {target}: "
              f"{len(planned.day.lessons)} lessons, {len(planned.covers)} covers")
        print(f"ledger: {len(month)} days filled in {filled:.2f} s; {size} bytes ({ledger.name} and its -wal)")
        print(f"median of {arguments.runs}:")
        print(f"  python -c pass                          {median_ms(baseline):8.1f} ms")
        print(f"  lessoncover plan --school --date        {median_ms(whole):8.1f} ms")
        print(f"  Office.plan (in process)                {median_ms(in_process):8.1f} ms")


if __name__ == "__main__":
    main()
