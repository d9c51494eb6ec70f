"""The teacher list hearing of a generation's covers, timed alone, for one or more builds.

    python3 -m benchmarks.cover_notes --size D --rounds 5 \\
        --python /tmp/venv-a/bin/python --python /tmp/venv-b/bin/python

generate_substitutions() queues its covers and the school's teacher list hears of them
when it is next read, each cover touching its substitute's entry somewhere in a large
list. bench.py's pipeline ends with the generation, so it never times that; here each run
loads bench.py's workload into a new school, generates, and times the first add_teacher()
after it (which notes every cover) less a second one (which notes none).  Builds run in
fresh subprocesses, taking turns to go first from round to round; the figures are the
medians over the rounds of each build's median.
"""
from __future__ import annotations

import argparse
import json
import statistics
import subprocess
import sys
import time

from benchmarks.bench import ROOT, format_seconds
from benchmarks.wide_workload import chosen_workload
from benchmarks.workload import SIZES


def timed_notes(lessoncover, workload) -> tuple[float, str]:
    """One run: the school loaded and generated, then the noting timed; and the report."""
    school = lessoncover.School()
    teachers = []
    for data in workload.teachers:
        teacher = lessoncover.Teacher(data.name, data.sub, data.present)
        if data.reason is not None:
            teacher.reason_of_absentee = data.reason
        school.add_teacher(teacher)
        teachers.append(teacher)
    for k, class_name in enumerate(workload.class_names):
        klass = lessoncover.Class(class_name)
        for teacher_index, period in workload.lessons(k):
            lessoncover.register_period(teachers[teacher_index], period, school, klass)
        school.add_class(klass)
    report = school.generate_substitutions()
    clock = time.perf_counter
    first, second = (lessoncover.Teacher(name, "Maths", True) for name in ("after 1", "after 2"))
    started = clock()
    school.add_teacher(first)
    noted = clock()
    school.add_teacher(second)
    finished = clock()
    return (noted - started) - (finished - noted), report


def worker(size: str, repeat: int, warmup: int, seed: int) -> None:
    import lessoncover

    workload = chosen_workload(size, seed, 0, 0, 0)
    runs = []
    for run in range(warmup + repeat):
        seconds, report = timed_notes(lessoncover, workload)
        if run >= warmup:
            runs.append(seconds)
    print(json.dumps({"runs": runs, "report_lines": report.count("\n")}))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--python", action="append", required=True, help="a build's interpreter (repeatable)")
    parser.add_argument("--size", choices=sorted(SIZES), default="D")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--warmup", type=int, default=1)
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        worker(args.size, args.repeat, args.warmup, args.seed)
        return
    builds = args.python
    medians: dict[str, list[float]] = {python: [] for python in builds}
    for round_number in range(args.rounds):
        turn = round_number % len(builds)
        for python in builds[turn:] + builds[:turn]:
            completed = subprocess.run(
                [python, "-m", "benchmarks.cover_notes", "--worker", "--python", python, "--size", args.size,
                 "--repeat", str(args.repeat), "--warmup", str(args.warmup), "--seed", str(args.seed)],
                cwd=ROOT, check=True, capture_output=True, text=True)
            medians[python].append(statistics.median(json.loads(completed.stdout)["runs"]))
    print("size %s, %d rounds of %d runs after %d warm-up" % (args.size, args.rounds, args.repeat, args.warmup))
    for python in builds:
        rounds = ", ".join(format_seconds(seconds) for seconds in medians[python])
        print("%-40s %12s   (rounds: %s)" % (python, format_seconds(statistics.median(medians[python])), rounds))


if __name__ == "__main__":
    sys.exit(main())
