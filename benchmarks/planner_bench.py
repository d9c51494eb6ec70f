"""The plan() worker of bench.py, and the helpers bench.py's workers share.

plan() is timed end to end on the workload given as its three lists, which are
made once before the first run and not timed: one run is
``plan(teachers, lessons, absences)`` followed by ``.report(timing=False)``.
When ``lessoncover_planner`` cannot be imported the worker says so instead of
timing anything.  The workload is a size's eight-period day or, given a number
of periods, the wide day of ``wide_workload``; warm-up runs, when asked for, are
not counted.

With ``policy`` the same day is planned with every policy option on (see
``every_option``): a cap, prior covers, unavailable periods, part-day absences,
doubles, combined and co-taught lessons and classes away.
"""
from __future__ import annotations

import hashlib
import os
import re
import resource
import time

from benchmarks.wide_workload import chosen_workload
from benchmarks.workload import plan_inputs

# A report row starts with the absent teacher's name and the period; a missing-cover line
# says "... at PERIOD-\"CLASS\"" inside the quoted block. The workload's names hold no
# comma and no " at ".
_ROW_PERIOD = re.compile(r"^([^,\n]*),(-?\d+),", re.M)
_MISSING_PERIOD = re.compile(r" at (-?\d+)-(?=\\\")")


def current_rss_kib() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def peak_rss_kib() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def without_timing(result: str) -> str:
    return result.rsplit("\n", 1)[0]


def digest(text: str) -> str:
    return hashlib.sha256(text.encode("utf-8", "surrogatepass")).hexdigest()


def unshifted_report(text: str, period_offset: int) -> str:
    """A report (timing line aside) of a workload made with `period_offset`, with its
    periods numbered as without the offset, so that it compares with that one's."""
    if not period_offset:
        return text
    rows, separator, missing = text.rpartition("\n\n")
    rows = _ROW_PERIOD.sub(lambda m: "%s,%d," % (m[1], int(m[2]) - period_offset), rows)
    missing = _MISSING_PERIOD.sub(lambda m: " at %d-" % (int(m[1]) - period_offset), missing)
    return rows + separator + missing


def every_option(teachers: list, lessons: list, absences: dict):
    """The day's absences with every fourth absentee away for periods 2-4 only, and a
    policy with every option on: a cap of 3 covers, prior covers for every seventh teacher,
    a duty for every fifth in one period, doubles, combined and co-taught lessons, and
    every fiftieth class away."""
    from lessoncover_planner import Policy

    absences = {name: (reason, (2, 3, 4)) if k % 4 == 0 else reason
                for k, (name, reason) in enumerate(absences.items())}
    names = [name for name, _ in teachers]
    classes = list(dict.fromkeys(class_name for _, _, class_name in lessons))
    policy = Policy(
        max_covers=3,
        prior_covers={name: k % 3 for k, name in enumerate(names) if k % 7 == 0},
        unavailable={name: (1 + k % 8,) for k, name in enumerate(names) if k % 5 == 0},
        keep_doubles=True,
        combined_lessons=True,
        co_taught_no_cover=True,
        away_classes=classes[::50],
    )
    return absences, policy


def plan_worker(size: str, repeat: int, seed: int, with_policy: bool = False,
                teachers: int = 0, periods: int = 0, warmup: int = 0) -> dict:
    try:
        from lessoncover_planner import plan
    except ImportError as error:
        return {"installed": False, "error": "%s: %s" % (type(error).__name__, error)}

    workload = chosen_workload(size, seed, teachers=teachers, periods=periods)
    listed, lessons, absences = plan_inputs(workload)
    del workload
    policy = None
    if with_policy:
        absences, policy = every_option(listed, lessons, absences)
    clock = time.perf_counter
    rss_before = current_rss_kib()
    runs = []
    report_digest = None
    for _ in range(warmup):
        plan(listed, lessons, absences, policy=policy).report(timing=False)
    for _ in range(repeat):
        started = clock()
        day = plan(listed, lessons, absences, policy=policy)
        planned = clock()
        text = day.report(timing=False)
        finished = clock()
        runs.append({"plan": planned - started, "report": finished - planned, "total": finished - started})
        this_digest = digest(text)
        if report_digest is not None and this_digest != report_digest:
            raise SystemExit("the plan() report changed between runs")
        report_digest = this_digest
        rows = text.count("\n") - 2
        del day, text
    return {
        "installed": True,
        "runs": runs,
        "digest": report_digest,
        "rows": rows,
        "lessons": len(lessons),
        "rss_before_kib": rss_before,
        "peak_rss_kib": peak_rss_kib(),
    }
