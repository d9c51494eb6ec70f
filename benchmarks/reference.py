"""lessoncover's rules written plainly in Python: the yardstick for the extension module.

The API has the module's shape (``Teacher``, ``Class``, ``School``,
``register_period``), and ``generate_substitutions()`` returns the same text
as the module's, up to the time it reports on its last line.  Everything is
done the straightforward way: ``add_class`` sorts the whole teacher list, and
every absent lesson sorts its subject's candidates and scans their periods.

Records have identity: a school keeps its own deep copies of teachers, and two
copies are different records even when they carry the same name.
"""
from __future__ import annotations

import time
import unicodedata

__all__ = ["Teacher", "School", "Class", "register_period", "PanicException"]

SUBJECTS = {
    "chemistry": "Chemistry", "physics": "Physics", "maths": "Maths",
    "computer": "Computer", "english": "English", "biology": "Biology",
    "bio": "Biology", "p.e": "PhysicalEdu", "sanskrit": "Sanskrit",
    "urdu": "Urdu", "geography": "Geo", "accountancy": "Acc",
    "history": "History", "civics": "Civics", "business": "Business",
    "art": "Arts", "games": "Games", "economics": "Economics",
    "hindi": "Hindi", "bengali": "Bengali", "finfance": "Finance",
    "finance": "Finance",
}
HEADER = "Teacher,Period,Subject,Substitution,Classroom,Reason\n"
DEFAULT_REASON = "Planned Absense"
NOT_FOUND = "Teacher not found in existing list. Please add to 'teacher_list.csv'"

_ESCAPES = {"\\": "\\\\", '"': '\\"', "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}
_HEX_CATEGORIES = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs", "Mn", "Me"}


class PanicException(BaseException):
    """Raised by register_period for a teacher the school does not know."""


def quoted(text: str) -> str:
    """The quoted text form: double quotes around the text, with escapes.

    Grapheme_Extend is taken to be the categories Mn and Me, which covers
    every character but a few spacing marks, voicing marks and emoji modifiers.
    """
    out = ['"']
    for ch in text:
        if ch in _ESCAPES:
            out.append(_ESCAPES[ch])
        elif ch != " " and unicodedata.category(ch) in _HEX_CATEGORIES:
            out.append("\\u{%x}" % ord(ch))
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def csv_field(text: str) -> str:
    """One report field, quoted only when it holds a comma, a quote, CR or LF."""
    if any(ch in text for ch in ',"\r\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


def duration_text(nanoseconds: int) -> str:
    """1.5s, 12.034ms, 850µs, 420ns: the largest unit with a whole part of at least 1."""
    for size, digits, suffix in ((10**9, 9, "s"), (10**6, 6, "ms"), (10**3, 3, "µs")):
        if nanoseconds >= size:
            break
    else:
        size, digits, suffix = 1, 0, "ns"
    whole, fraction = divmod(nanoseconds, size)
    text = str(whole)
    if fraction:
        text += "." + ("%0*d" % (digits, fraction)).rstrip("0")
    return text + suffix


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
        table = self.subject_table()
        report = [HEADER]
        missing = []
        for klass in self.classes:
            handled = set()  # (teacher record, period) pairs done in this class
            for absent, period in klass.entries:
                if absent.present or (absent, period) in handled:
                    continue
                handled.add((absent, period))
                candidates = sorted(table.get(absent.get_sub(), []), key=lambda t: len(t.periods))
                substitute = next((t for t in candidates if t.is_free(period)), None)
                if substitute is None:
                    substitute = next(
                        (t for t in self.teachers if t.present and t.is_free(period)), None)
                if substitute is None:
                    missing.append("Couldnt find a substitution for %s at %d-%s\n"
                                   % (absent.name, period, quoted(klass.name)))
                    continue
                substitute.periods.add((period, klass.name))
                fields = (absent.name, str(period), absent.get_sub(),
                          substitute.name, klass.name, absent.reason_of_absentee)
                report.append(",".join(csv_field(f) for f in fields) + "\n")
        return "".join(report) + "\n" + quoted("".join(missing))


def register_period(teacher: Teacher, period: int, school: School, klass: Class) -> None:
    period = _check_period(period)
    record = school.by_name.get(teacher.name)
    if record is None:
        raise PanicException(NOT_FOUND)
    klass.entries.append((record, period))
    record.add_period(period, klass.name)
    klass.entries.append((record, period))
