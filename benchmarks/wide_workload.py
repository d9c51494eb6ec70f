"""A deterministic school day over many distinct periods, for planning past the 64th.

A wide workload of N teachers and P periods has the teachers of ``make_teachers``
(one in ten absent), 0.6 * N classes, and periods numbered 1..P.  In each period
two classes in three, drawn at random, have a lesson, each with a teacher drawn at
random from those not teaching then: about 0.4 * N lessons a period, so that
every teacher teaches in about 0.4 * P of the periods (busy in many, free in many)
and the absent teachers' lessons fall in nearly every one of the P periods, so
that well over 64 of them need cover.  The same teachers, periods and seed always
give the same day.

It offers what the pipelines of ``workload`` read (``teachers``, ``class_names``,
``lesson_count``, ``lessons(klass)``), so ``run_pipeline``,
``run_pipeline_plan_order`` and ``plan_inputs`` take it as they take a
``Workload``.
"""
from __future__ import annotations

import random
from array import array
from typing import NamedTuple

from workload import CLASS_RATIO, PERIOD_RANGE, SIZES, make_teachers, make_workload

TAUGHT_RATIO = 2 / 3  # of the classes, in each period


class WideWorkload(NamedTuple):
    """Class k's lessons are the entries ``class_starts[k]`` up to ``class_starts[k + 1]``
    of ``lesson_teachers`` (indexes into ``teachers``) and ``lesson_periods``, in period
    order."""
    size: int
    seed: int
    periods: int
    teachers: list
    class_names: list
    class_starts: array
    lesson_teachers: array
    lesson_periods: array

    @property
    def lesson_count(self) -> int:
        return len(self.lesson_teachers)

    def lessons(self, klass: int):
        """(teacher index, period) of the class's lessons, period by period."""
        first, last = self.class_starts[klass], self.class_starts[klass + 1]
        return zip(self.lesson_teachers[first:last], self.lesson_periods[first:last])


def make_wide_workload(size: int, periods: int, seed: int = 2024) -> WideWorkload:
    """The day of a school with `size` teachers over periods 1..`periods`."""
    if size < 2:
        raise ValueError("a workload needs at least two teachers")
    if not 1 <= periods <= PERIOD_RANGE[1]:
        raise ValueError("periods 1..%d are outside %d..%d" % (periods, *PERIOD_RANGE))
    rng = random.Random(seed)
    class_count = max(1, int(size * CLASS_RATIO))
    teachers = make_teachers(size, rng)

    taught = max(1, int(class_count * TAUGHT_RATIO))
    by_class = [(array("i"), array("h")) for _ in range(class_count)]
    for period in range(1, periods + 1):
        classes = rng.sample(range(class_count), taught)
        teaching = rng.sample(range(size), taught)
        for klass, teacher in zip(classes, teaching):
            class_teachers, class_periods = by_class[klass]
            class_teachers.append(teacher)
            class_periods.append(period)

    class_starts = array("i", [0])
    lesson_teachers = array("i")
    lesson_periods = array("h")
    for class_teachers, class_periods in by_class:
        lesson_teachers.extend(class_teachers)
        lesson_periods.extend(class_periods)
        class_starts.append(len(lesson_teachers))
    del by_class

    grades = ("6", "7", "8", "9", "10", "11", "12")
    class_names = ["%s%s-%05d" % (grades[k % len(grades)], "ABCD"[k % 4], k) for k in range(class_count)]
    return WideWorkload(size, seed, periods, teachers, class_names, class_starts, lesson_teachers, lesson_periods)


def chosen_workload(size: str, seed: int, period_offset: int = 0, teachers: int = 0, periods: int = 0):
    """The workload a bench.py worker is asked for: the wide one when `periods` is given
    (of `teachers` teachers, else of the size's), else the size's eight-period day."""
    if periods:
        if period_offset:
            raise ValueError("a wide day's periods are 1..%d, with no offset" % periods)
        return make_wide_workload(teachers or SIZES[size], periods, seed)
    return make_workload(teachers or SIZES[size], seed, period_offset)


if __name__ == "__main__":
    import argparse
    import time

    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--teachers", type=int, default=1000)
    parser.add_argument("--periods", type=int, default=80)
    parser.add_argument("--seed", type=int, default=2024)
    args = parser.parse_args()
    started = time.perf_counter()
    w = make_wide_workload(args.teachers, args.periods, args.seed)
    made = time.perf_counter() - started
    absent = {i for i, t in enumerate(w.teachers) if not t.present}
    absent_periods = {p for t, p in zip(w.lesson_teachers, w.lesson_periods) if t in absent}
    absent_lessons = sum(t in absent for t in w.lesson_teachers)
    print("teachers %d (absent %d), classes %d, periods %d, lessons %d (%.1f a teacher), "
          "absent lessons %d in %d distinct periods; made in %.2f s"
          % (len(w.teachers), len(absent), len(w.class_names), w.periods, w.lesson_count,
             w.lesson_count / len(w.teachers), absent_lessons, len(absent_periods), made))
