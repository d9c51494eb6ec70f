"""The extension module's API over the rules of cover: the yardstick for lessoncover.

The API has the module's shape (``Teacher``, ``Class``, ``School``,
``register_period``), and ``generate_substitutions()`` returns the same text
as the module's, up to the time it reports on its last line.  Everything is
done the straightforward way: ``add_class`` sorts the whole teacher list, and
generation takes the school's classes one by one, asking the rules (rules.py,
with no policy) about each absent lesson: they sort its subject's candidates
and scan their periods.

Records have identity: a school keeps its own deep copies of teachers, and two
copies are different records even when they carry the same name.  A teacher's
lessons and covers are its (period, class) pairs alike.
"""
from __future__ import annotations

import time

from .rules import Cover, answer_lessons, default_policy
from .texts import DEFAULT_REASON, HEADER, NOT_FOUND, SUBJECTS, duration_text, quoted, report

__all__ = ["Teacher", "School", "Class", "register_period", "PanicException",
           "HEADER", "NOT_FOUND", "SUBJECTS", "quoted"]


class PanicException(BaseException):
    """Raised by register_period for a teacher the school does not know."""


def _check_period(period) -> int:
    if not isinstance(period, int):
        raise TypeError("period must be an int")
    if not -32768 <= period <= 32767:
        raise OverflowError("value does not fit a signed 16-bit integer")
    return int(period)


class Teacher:
    """A teacher: name, subject, presence, reason of absence, (period, grade) pairs."""

    __slots__ = ("_name", "_subject", "_present", "_reason", "periods")

    def __init__(self, name: str, sub: str, present: bool):
        if not isinstance(name, str):
            raise TypeError("argument 'name': expected str")
        if not isinstance(sub, str):
            raise TypeError("argument 'sub': expected str")
        if not isinstance(present, bool):
            raise TypeError("argument 'present': expected bool")
        lowered = sub.lower()
        if lowered not in SUBJECTS:
            raise TypeError("Wrong subject " + lowered)
        self._name = name
        self._subject = SUBJECTS[lowered]
        self._present = present
        self._reason = DEFAULT_REASON
        self.periods: set[tuple[int, str]] = set()

    @property
    def name(self) -> str:
        return self._name

    @property
    def present(self) -> bool:
        return self._present

    @present.setter
    def present(self, value: bool) -> None:
        if not isinstance(value, bool):
            raise TypeError("argument 'value': expected bool")
        self._present = value

    @property
    def reason_of_absentee(self) -> str:
        return self._reason

    @reason_of_absentee.setter
    def reason_of_absentee(self, value: str) -> None:
        if not isinstance(value, str):
            raise TypeError("argument 'value': expected str")
        self._reason = value

    def get_sub(self) -> str:
        return self._subject

    def add_period(self, period: int, grade: str) -> None:
        period = _check_period(period)
        if not isinstance(grade, str):
            raise TypeError("argument 'grade': expected str")
        self.periods.add((period, grade))

    def copy(self) -> "Teacher":
        twin = Teacher.__new__(Teacher)
        twin._name, twin._subject = self._name, self._subject
        twin._present, twin._reason = self._present, self._reason
        twin.periods = set(self.periods)
        return twin

    def is_free(self, period: int) -> bool:
        return all(p != period for p, _grade in self.periods)


class Class:
    """A class: its name and its (teacher record, period) entries in registration order."""

    def __init__(self, name: str):
        if not isinstance(name, str):
            raise TypeError("argument 'name': expected str")
        self.name = name
        self.entries: list[tuple[Teacher, int]] = []


class School:
    def __init__(self):
        self.by_name: dict[str, Teacher] = {}  # name -> teacher record
        self.teachers: list[Teacher] = []       # re-sorted by add_class
        self.classes: list[Class] = []          # copies, in add_class order

    def add_teacher(self, teacher: Teacher) -> None:
        if teacher.name in self.by_name:
            return
        record = teacher.copy()
        self.teachers.append(record)
        self.by_name[teacher.name] = record

    def add_to_hashmap(self, name: str, teacher: Teacher) -> None:
        self.by_name[name] = teacher.copy()

    def add_class(self, klass: Class) -> None:
        copy = Class(klass.name)
        copy.entries = list(klass.entries)
        self.classes.append(copy)
        self.teachers.sort(key=lambda t: len(t.periods))  # list.sort is stable

    def teacher_names(self) -> list[str]:
        """The names in the teacher list, in its current order."""
        return [t.name for t in self.teachers]

    def subject_table(self) -> dict[str, list[Teacher]]:
        table: dict[str, list[Teacher]] = {}
        for teacher in self.teachers:
            table.setdefault(teacher.get_sub(), [])
            if teacher.present:
                table[teacher.get_sub()].append(teacher)
        return table

    def generate_substitutions(self) -> str:
        started = time.perf_counter_ns()
        head = self.result_without_timing()
        timing = "Time taken to generate subs: " + duration_text(time.perf_counter_ns() - started)
        return head + "\n" + quoted(timing)

    def result_without_timing(self) -> str:
        """A generation run's result up to its last line break: what generate_substitutions()
        returns, minus the line with the time taken.  The run's covers are recorded all the same."""
        lessons = []
        for klass in self.classes:
            handled = set()  # (teacher record, period) pairs done in this class
            for absent, period in klass.entries:
                if not absent.present and (absent, period) not in handled:
                    handled.add((absent, period))
                    lessons.append((absent, period, klass.name))
        rows, missing = [], []
        for (absent, period, class_name), answer in answer_lessons(lessons, Generation(self), default_policy()):
            if isinstance(answer, Cover):
                rows.append((absent.name, period, absent.get_sub(), answer.substitute.name, class_name,
                             absent.reason_of_absentee))
            else:
                missing.append((absent.name, period, class_name))
        return report(rows, missing)


class Generation:
    """One generation run's answers to the rules' questions, from the school's records."""

    def __init__(self, school: School):
        self.teachers = school.teachers
        self.table = school.subject_table()
        self.covering: set[tuple[Teacher, int]] = set()
        self.supply: tuple[Teacher, ...] = ()  # a school of the module has no supply staff

    def colleagues(self, absent: Teacher) -> list[Teacher]:
        return self.table.get(absent.get_sub(), [])

    def load(self, teacher: Teacher) -> int:
        return len(teacher.periods)

    def busy(self, teacher: Teacher, period: int) -> str | None:
        if not teacher.present:
            return "away"
        if teacher.is_free(period):
            return None
        return "covering" if (teacher, period) in self.covering else "teaching"

    def book(self, lesson: tuple[Teacher, int, str], cover: Cover) -> None:
        _absent, period, class_name = lesson
        cover.substitute.periods.add((period, class_name))
        self.covering.add((cover.substitute, period))


def register_period(teacher: Teacher, period: int, school: School, klass: Class) -> None:
    period = _check_period(period)
    record = school.by_name.get(teacher.name)
    if record is None:
        raise PanicException(NOT_FOUND)
    klass.entries.append((record, period))
    record.add_period(period, klass.name)
    klass.entries.append((record, period))
