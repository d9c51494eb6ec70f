"""A deterministic school day over many distinct periods, for planning past the 64th.

A wide workload of N teachers and P periods has the teachers of ``make_teachers``
(one in ten absent), N classes and periods numbered 1..P.  Every teacher is busy:
in each period a random tenth of the teachers is free and each of the others
teaches one class (9 in 10 classes have a lesson then), so a teacher teaches in
about 0.9 * P periods and the absent teachers' lessons fall in every one of the
P periods: with P over 64, periods past the first 64 need cover too.  Cover is scarce: nine in ten of a subject's teachers
are teaching in any period, so most of those free are taken, and searching a
subject for a free colleague is long.  The same teachers, periods and seed always
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

from benchmarks.workload import PERIOD_RANGE, SIZES, make_teachers, make_workload

BUSY_RATIO = 0.9  # of the teachers teach in each period


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


def make_wide_workload(size: int, periods: int, seed: int = 2024, busy: float = BUSY_RATIO) -> WideWorkload:
    """The day of a school with `size` teachers over periods 1..`periods`."""
    if size < 2:
        raise ValueError("a workload needs at least two teachers")
    if not 1 <= periods <= PERIOD_RANGE[1]:
        raise ValueError("periods 1..%d are outside %d..%d" % (periods, *PERIOD_RANGE))
    rng = random.Random(seed)
    class_count = size
    teachers = make_teachers(size, rng)

    # Each period leaves a random tenth (at BUSY_RATIO 0.9) of the teachers free and gives
    # every other teacher the class its own number shifted by the period's random offset, so
    # that no class has two teachers at once and a class meets a new teacher each period.
    free_count = size - max(1, int(size * busy))
    offsets = [rng.randrange(size) for _ in range(periods)]
    free_in = [set(rng.sample(range(size), free_count)) for _ in range(periods)]
    numbered = list(zip(range(1, periods + 1), offsets, free_in))
    class_starts = array("i", [0])
    lesson_teachers = array("i")
    lesson_periods = array("h")
    for klass in range(class_count):
        lessons = [(teacher, period) for period, offset, free in numbered
                   if (teacher := (klass - offset) % size) not in free]
        lesson_teachers.extend(teacher for teacher, _ in lessons)
        lesson_periods.extend(period for _, period in lessons)
        class_starts.append(len(lesson_teachers))
    del free_in, numbered

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
