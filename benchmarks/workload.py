"""A deterministic school timetable for benchmarks, and the pipeline that loads it.

A workload of size N has N teachers spread over the twenty subjects, 0.6 * N
classes, and eight periods per class per day, every period taught.  A teacher
teaches at most one class per period and at most 7 of the 8 periods (4.8 on
average, since 0.6 * N teachers are needed in each period); one teacher in ten
is absent.  The same seed always gives the same workload.  Periods are 1..8,
or 1 + offset .. 8 + offset with a period offset: the same day with its periods
renumbered, for instance to 101..108, outside the 0..63 a teacher's busy bitmap
covers.

The pipelines run the workload against any implementation that offers the
module's API (``Teacher``, ``Class``, ``School``, ``register_period``): the
extension module itself or the plain model of its API, ``tests/model/module_api.py``.  ``run_pipeline`` adds each class
right after registering its lessons; ``run_pipeline_plan_order`` registers every
lesson first and then adds the classes, the order ``lessoncover_planner.plan()``
builds a school in.  ``plan_inputs`` gives the workload as plan()'s three lists.

``school_day`` is the 150-teacher, 8-period day the best plan's speed is judged on:
the same generator with 0.75 classes per teacher, so that a teacher teaches 6 of the
8 periods on average (at most 7) and is free in 2, as in a secondary school; 15 of the
150 are absent, leaving about 90 lessons to cover.
"""
from __future__ import annotations

import random
import time
from array import array
from dataclasses import dataclass, field
from typing import NamedTuple

SIZES = {"S": 300, "M": 2_000, "D": 20_000, "L": 50_000, "X": 100_000}
PERIODS_PER_DAY = 8
PERIOD_RANGE = (-32768, 32767)  # what register_period accepts
MAX_PERIODS_PER_TEACHER = 7
CLASS_RATIO = 0.6
ABSENT_RATIO = 0.1
SCHOOL_DAY_TEACHERS = 150
SCHOOL_DAY_CLASS_RATIO = 0.75  # 6 lessons a teacher of the 8 periods, on average

# One accepted spelling per subject, in the module's subject order.
SUBJECT_SPELLINGS = (
    "Chemistry", "Physics", "Maths", "Computer", "English", "Biology", "P.E",
    "Sanskrit", "Urdu", "Geography", "Accountancy", "History", "Civics",
    "Business", "Art", "Games", "Economics", "Hindi", "Bengali", "Finfance",
)
REASONS = ("Sick leave", "Training", "Family emergency", "Exam duty", "Planned Absense")
FIRST_NAMES = ("Asha", "Ravi", "Meera", "Imran", "Priya", "Arjun", "Sana", "Vikram",
               "Nisha", "Kabir", "Lata", "Rohan", "Zoya", "Dev", "Anita", "Farhan")
LAST_NAMES = ("Sharma", "Khan", "Iyer", "Das", "Patel", "Roy", "Singh", "Gupta",
              "Bose", "Mehta", "Nair", "Ali", "Sen", "Rao", "Kapoor", "Joshi")


class TeacherData(NamedTuple):
    name: str
    sub: str
    present: bool
    reason: str | None  # set on absent teachers only


class Workload(NamedTuple):
    """A timetable kept compact, so that it weighs little beside what it is loaded into.

    Class k has the lessons of periods 1..8 in that order; the teacher of period p is
    ``lesson_teachers[PERIODS_PER_DAY * k + p - 1]``, an index into ``teachers``.  The
    periods handed out are those plus ``period_offset``.
    """
    size: int
    seed: int
    teachers: list
    class_names: list
    lesson_teachers: array
    period_offset: int = 0

    @property
    def lesson_count(self) -> int:
        return len(self.lesson_teachers)

    def lessons(self, klass: int):
        """(teacher index, period) of the class's lessons, period by period."""
        first = PERIODS_PER_DAY * klass
        periods = range(1 + self.period_offset, PERIODS_PER_DAY + 1 + self.period_offset)
        return zip(self.lesson_teachers[first:first + PERIODS_PER_DAY], periods)


def make_teachers(size: int, rng: random.Random) -> list:
    """`size` teachers spread evenly over the subjects in a shuffled order, one in ten
    absent with a reason, drawn from `rng`."""
    subjects = [SUBJECT_SPELLINGS[i % len(SUBJECT_SPELLINGS)] for i in range(size)]
    rng.shuffle(subjects)
    absent = set(rng.sample(range(size), int(size * ABSENT_RATIO)))
    teachers = []
    for i in range(size):
        name = "%s %s %05d" % (rng.choice(FIRST_NAMES), rng.choice(LAST_NAMES), i)
        is_absent = i in absent
        teachers.append(TeacherData(name, subjects[i], not is_absent,
                                    rng.choice(REASONS) if is_absent else None))
    return teachers


def make_workload(size: int, seed: int = 2024, period_offset: int = 0, *,
                  class_ratio: float = CLASS_RATIO) -> Workload:
    """The timetable of a school with `size` teachers, the same for the same seed.

    `period_offset` renumbers the periods and changes nothing else: the teachers,
    classes and who teaches which class when are those of the same seed without it.
    `class_ratio` classes a teacher make each period's lessons, so a teacher teaches
    8 * class_ratio periods on average.
    """
    if size < 2:
        raise ValueError("a workload needs at least two teachers")
    low, high = PERIOD_RANGE
    if not (low <= 1 + period_offset and PERIODS_PER_DAY + period_offset <= high):
        raise ValueError("periods %d..%d are outside %d..%d"
                         % (1 + period_offset, PERIODS_PER_DAY + period_offset, low, high))
    rng = random.Random(seed)
    class_count = max(1, int(size * class_ratio))
    teachers = make_teachers(size, rng)

    # Period by period, the classes take distinct teachers who still have room.
    load = bytearray(size)
    lesson_teachers = array("i", bytes(4 * PERIODS_PER_DAY * class_count))
    for period in range(PERIODS_PER_DAY):
        free = array("i", (t for t in range(size) if load[t] < MAX_PERIODS_PER_TEACHER))
        rng.shuffle(free)
        if len(free) < class_count:
            raise ValueError("too few teachers for the classes")
        for klass in range(class_count):
            teacher = free[klass]
            lesson_teachers[PERIODS_PER_DAY * klass + period] = teacher
            load[teacher] += 1
        del free

    grades = ("6", "7", "8", "9", "10", "11", "12")
    class_names = ["%s%s-%04d" % (grades[k % len(grades)], "ABCD"[k % 4], k) for k in range(class_count)]
    return Workload(size, seed, teachers, class_names, lesson_teachers, period_offset)


def school_day(seed: int = 2024) -> Workload:
    """The 150-teacher, 8-period day: 112 classes, 896 lessons, 15 teachers absent."""
    return make_workload(SCHOOL_DAY_TEACHERS, seed, class_ratio=SCHOOL_DAY_CLASS_RATIO)


def plan_inputs(workload: Workload) -> tuple[list, list, dict]:
    """The workload as plan() takes it: (name, subject) per teacher, (teacher name, period,
    class name) per lesson, class by class as the pipelines register them, and the
    absentees' reasons by name."""
    names = [data.name for data in workload.teachers]
    teachers = [(data.name, data.sub) for data in workload.teachers]
    lessons = [(names[index], period, class_name)
               for k, class_name in enumerate(workload.class_names)
               for index, period in workload.lessons(k)]
    absences = {data.name: data.reason for data in workload.teachers if not data.present}
    return teachers, lessons, absences


@dataclass
class PipelineTimes:
    """Seconds spent in each phase of one pipeline run."""
    create_teachers: float = 0.0
    add_teacher: float = 0.0
    register_period: float = 0.0
    add_class: float = 0.0
    generate: float = 0.0
    total: float = 0.0
    result: str = field(default="", repr=False)

    PHASES = ("create_teachers", "add_teacher", "register_period", "add_class",
              "generate", "total")


def _teachers_added(api, workload: Workload, times: PipelineTimes):
    """Creates the teachers (absentees marked absent, with their reason) and adds each to a
    new school; fills in the first two phases. Gives the school, the teacher objects and
    the clock readings when the first phase began and when the second ended."""
    Teacher = api.Teacher
    clock = time.perf_counter
    started = clock()
    objects = []
    for data in workload.teachers:
        teacher = Teacher(data.name, data.sub, data.present)
        if data.reason is not None:
            teacher.reason_of_absentee = data.reason
        objects.append(teacher)
    after_create = clock()

    school = api.School()
    add_teacher = school.add_teacher
    for teacher in objects:
        add_teacher(teacher)
    after_add = clock()
    times.create_teachers = after_create - started
    times.add_teacher = after_add - after_create
    return school, objects, started, after_add


def run_pipeline(api, workload: Workload) -> PipelineTimes:
    """Loads the workload into a new school of `api` and plans its cover once.

    Teachers are created and added, then class by class every lesson is
    registered and the class added; generate_substitutions() runs last.
    """
    Class, register_period = api.Class, api.register_period
    clock = time.perf_counter
    times = PipelineTimes()
    school, objects, started, _ = _teachers_added(api, workload, times)

    add_class = school.add_class
    registering = 0.0
    adding = 0.0
    for k, class_name in enumerate(workload.class_names):
        t0 = clock()
        klass = Class(class_name)
        for teacher_index, period in workload.lessons(k):
            register_period(objects[teacher_index], period, school, klass)
        t1 = clock()
        add_class(klass)
        t2 = clock()
        registering += t1 - t0
        adding += t2 - t1
    after_classes = clock()

    result = school.generate_substitutions()
    finished = clock()

    times.register_period = registering
    times.add_class = adding
    times.generate = finished - after_classes
    times.total = finished - started
    times.result = result
    return times


def run_pipeline_plan_order(api, workload: Workload) -> PipelineTimes:
    """The same school built in plan()'s order: every lesson registered, a class made when
    it first appears, then the classes added in that order; generate_substitutions() last."""
    Class, register_period = api.Class, api.register_period
    clock = time.perf_counter
    times = PipelineTimes()
    school, objects, started, after_add = _teachers_added(api, workload, times)

    classes: dict = {}  # name -> Class, in order of first appearance
    for k, class_name in enumerate(workload.class_names):
        klass = classes.get(class_name)
        if klass is None:
            klass = classes[class_name] = Class(class_name)
        for teacher_index, period in workload.lessons(k):
            register_period(objects[teacher_index], period, school, klass)
    after_register = clock()

    add_class = school.add_class
    for klass in classes.values():
        add_class(klass)
    after_classes = clock()

    result = school.generate_substitutions()
    finished = clock()

    times.register_period = after_register - after_add
    times.add_class = after_classes - after_register
    times.generate = finished - after_classes
    times.total = finished - started
    times.result = result
    return times


if __name__ == "__main__":
    import argparse

    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", choices=sorted(SIZES), default="S")
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("--period-offset", type=int, default=0)
    args = parser.parse_args()
    w = make_workload(SIZES[args.size], args.seed, args.period_offset)
    absent = sum(not t.present for t in w.teachers)
    print("teachers %d (absent %d), classes %d, lessons %d"
          % (len(w.teachers), absent, len(w.class_names), w.lesson_count))
