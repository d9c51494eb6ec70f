"""Hostile input: huge, NUL-laden and unencodable texts, every escape class, str and int
subclasses, objects whose __index__ misbehaves or re-enters, and very large classes."""
import csv
import io
import warnings

import pytest

from tests.model import module_api as reference
from debug_text_parser import parse_class_text, parse_school_text
from lessoncover import Class, School, Teacher, register_period

HUGE = "Big, " + "\u00e9x" * (5 * 1024 * 1024)  # 10 MiB; the comma makes the report quote it


def objects(name="Asha", grade="10A", reason="Sick", class_name="10A"):
    """A school with an absent teacher, one registered lesson and a free colleague."""
    school, teacher, klass = School(), Teacher(name, "maths", False), Class(class_name)
    teacher.reason_of_absentee = reason
    teacher.add_period(9, grade)
    school.add_teacher(teacher)
    school.add_teacher(Teacher("Ben", "maths", True))
    register_period(teacher, 1, school, klass)
    school.add_class(klass)
    return teacher, school, klass


def quoted(text):  # the quoted form of texts whose only special characters are NULs
    return '"' + text.replace("\0", "\\0") + '"'


@pytest.mark.parametrize("field", ["name", "grade", "reason", "class_name"])
@pytest.mark.parametrize("text", [HUGE, "A\0B\0"], ids=["10MiB", "NUL"])
def test_huge_and_nul_texts_pass_through_whole(field, text):
    given = {"name": "Asha", "grade": "10A", "reason": "Sick", "class_name": "10A", field: text}
    teacher, school, klass = objects(**given)
    report = school.generate_substitutions().rsplit("\n", 2)[0]
    limit = csv.field_size_limit(2 * len(HUGE))
    try:
        rows = list(csv.reader(io.StringIO(report, newline="")))
    finally:
        csv.field_size_limit(limit)
    assert rows[1:] == [[given["name"], "1", "Maths", "Ben", given["class_name"], given["reason"]]]
    assert (teacher.name, teacher.reason_of_absentee) == (given["name"], given["reason"])
    assert str(klass).startswith(quoted(given["class_name"]) + " [")
    assert quoted("9:" + given["grade"]) in str(teacher) and quoted(text) in str(school)


def test_huge_subject_is_refused_with_its_whole_text():
    with pytest.raises(TypeError) as caught:
        Teacher("Asha", HUGE + "\0", True)
    assert str(caught.value) == "Wrong subject " + HUGE.lower() + "\0"


TEXT_CALLS = {
    "Teacher name": lambda t, s, c, x: Teacher(x, "maths", True),
    "Teacher sub": lambda t, s, c, x: Teacher("Asha", x, True),
    "add_period grade": lambda t, s, c, x: t.add_period(1, x),
    "reason": lambda t, s, c, x: setattr(t, "reason_of_absentee", x),
    "Class name": lambda t, s, c, x: Class(x),
    "add_to_hashmap name": lambda t, s, c, x: s.add_to_hashmap(x, t),
}


def observe(call, value):
    """Every text the objects show after the call; sets print in any order."""
    teacher, school, klass = objects()
    made = TEXT_CALLS[call](teacher, school, klass, value)
    texts = [str(teacher), str(school), str(klass), teacher.reason_of_absentee, str(made)]
    assert all(type(text) is str for text in texts)
    return [sorted(text.splitlines()) for text in texts]


class HostileStr(str):
    """A str whose Python-level methods must never be consulted."""

    def fail(self, *args):
        raise AssertionError("a str argument's method was called")

    __str__ = __hash__ = __eq__ = __len__ = __iter__ = __getitem__ = fail


@pytest.mark.parametrize("call", TEXT_CALLS)
def test_str_subclasses_are_read_by_value(call):
    value = "Maths" if call == "Teacher sub" else 'Zo\u00eb "Q"'
    assert observe(call, HostileStr(value)) == observe(call, value)


@pytest.mark.parametrize("call", TEXT_CALLS)
def test_lone_surrogate_is_refused_and_changes_nothing(call):
    teacher, school, klass = objects()
    before = [str(teacher), str(school), str(klass), teacher.reason_of_absentee]
    with pytest.raises(UnicodeEncodeError):
        TEXT_CALLS[call](teacher, school, klass, "a\ud800b")
    assert [str(teacher), str(school), str(klass), teacher.reason_of_absentee] == before


ESCAPES = [  # every class of character the quoted form escapes, and a few it keeps
    ("\\", "\\\\"), ('"', '\\"'), ("\t", "\\t"), ("\r", "\\r"), ("\n", "\\n"), ("\0", "\\0"),
    ("\x07", "\\u{7}"), ("\x85", "\\u{85}"), ("\u00ad", "\\u{ad}"), ("\U000e0001", "\\u{e0001}"),
    ("\ue000", "\\u{e000}"), ("\U0010fffd", "\\u{10fffd}"), ("\u0378", "\\u{378}"),
    ("\U0010ffff", "\\u{10ffff}"), ("\u2028", "\\u{2028}"), ("\u2029", "\\u{2029}"),
    ("\u00a0", "\\u{a0}"), ("\u3000", "\\u{3000}"), ("\u0301", "\\u{301}"), ("\u20dd", "\\u{20dd}"),
    ("\u09be", "\\u{9be}"), ("\uff9e", "\\u{ff9e}"),  # Grapheme_Extend, but Mc and Lm
    (" ", " "), ("'", "'"), ("\u00e9", "\u00e9"), ("\U0001f600", "\U0001f600"),
]


@pytest.mark.parametrize("char, escaped", ESCAPES, ids=[f"U+{ord(c):04X}" for c, _ in ESCAPES])
def test_every_escape_class(char, escaped):
    assert str(Class(f"a{char}b")) == f'"a{escaped}b" []'
    teacher = Teacher(f"n{char}", "maths", True)
    teacher.add_period(1, char)
    assert str(teacher).startswith(f"Teacher:\n    {{\n        name:n{char} ")
    assert f'"1:{escaped}"' in str(teacher)


class IntSub(int):
    def __index__(self):
        raise AssertionError("an int is converted by its value")


class Index:
    def __init__(self, action):
        self.action = action

    def __index__(self):
        return self.action()


class Hostile(Exception):
    pass


def raise_(error):
    raise error


PERIODS = [  # (period, what the call raises, or the period stored)
    (True, 1), (IntSub(3), 3), (Index(lambda: IntSub(4)), 4), (Index(lambda: -32768), -32768),
    (Index(lambda: raise_(Hostile())), Hostile), (Index(lambda: raise_(KeyboardInterrupt)), KeyboardInterrupt),
    (Index(lambda: 1.5), TypeError), (Index(lambda: "3"), TypeError),
    (Index(lambda: 2 ** 40), OverflowError), (Index(lambda: -32769), OverflowError),
]


def period_call(call, teacher, school, klass):
    if call == "add_period":
        return lambda period: teacher.add_period(period, "7Z")
    return lambda period: register_period(teacher, period, school, klass)


@pytest.mark.parametrize("call", ["add_period", "register_period"])
@pytest.mark.parametrize("period, outcome", PERIODS, ids=[
    "True", "int subclass", "index gives int subclass", "index gives minimum", "index raises",
    "index interrupts", "index gives float", "index gives str", "index gives huge", "index below"])
def test_int_subclasses_and_index_objects(call, period, outcome):
    teacher, school, klass = objects()
    before = [str(teacher), str(school), str(klass)]
    if isinstance(outcome, type):
        with pytest.raises(outcome) as caught:
            period_call(call, teacher, school, klass)(period)
        assert outcome is not TypeError or str(caught.value).startswith("argument 'period': ")
        assert [str(teacher), str(school), str(klass)] == before
        return
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # __index__ returning an int subclass
        period_call(call, teacher, school, klass)(period)
    if call == "add_period":
        assert f'"{outcome}:7Z"' in str(teacher)
    else:
        assert parse_class_text(str(klass))[1][-1][1] == outcome


REENTRY = {  # what __index__ does, and the refusal that inner call meets
    ("add_period", "same teacher changed"): (lambda t, s, c: t.add_period(6, "x"), "Already borrowed"),
    ("add_period", "same teacher read"): (lambda t, s, c: str(t), "Already mutably borrowed"),
    ("add_period", "school copies it"): (lambda t, s, c: s.add_teacher(t), "Already mutably borrowed"),
    ("register_period", "registers too"): (lambda t, s, c: register_period(t, 6, s, c), None),
    ("register_period", "teacher changed"): (lambda t, s, c: t.add_period(6, "x"), "Already borrowed"),
    ("register_period", "school generates"): (lambda t, s, c: s.generate_substitutions(), None),
    ("register_period", "school takes the class"): (lambda t, s, c: s.add_class(c), None),
}


@pytest.mark.parametrize("call, case", REENTRY)
def test_reentrant_index_meets_the_borrow_rules(call, case):
    action, refusal = REENTRY[call, case]
    teacher, school, klass = objects()
    met = []

    def reenter():
        try:
            action(teacher, school, klass)
            met.append(None)
        except RuntimeError as error:
            met.append(str(error))
        return 5

    period_call(call, teacher, school, klass)(Index(reenter))
    assert met == [refusal] and '"6:x"' not in str(teacher)
    entries = 2 + 2 * (call == "register_period") + 2 * (case == "registers too")
    assert len(parse_class_text(str(klass))[1]) == entries


SUBJECTS = {"maths": "Maths", "physics": "Physics", "bio": "Biology", "art": "Arts", "games": "Games"}


def test_hundred_thousand_lessons_in_one_class():
    school, klass, spellings = School(), Class("Hall"), list(SUBJECTS)
    teachers = [Teacher(f"T{i}", spellings[i % 5], i % 4 != 0) for i in range(25_000)]
    for teacher in teachers:
        school.add_teacher(teacher)
    lessons = {(i, (i + p) % 8) for i in range(25_000) for p in range(4)}
    for i, period in sorted(lessons):
        register_period(teachers[i], period, school, klass)
    assert len(lessons) == 100_000 and str(klass).count("Mutex {") == 200_000
    school.add_class(klass)

    report, missing, _timing = school.generate_substitutions().rsplit("\n", 2)
    covered, booked = set(), set()
    for name, period, subject, substitute, grade, _ in list(csv.reader(io.StringIO(report)))[1:]:
        i, s, period = int(name[1:]), int(substitute[1:]), int(period)
        assert subject == SUBJECTS[spellings[i % 5]] and grade == "Hall" and s % 4 != 0
        assert (s, period) not in lessons and (s, period) not in booked  # free, and booked once
        booked.add((s, period))
        covered.add((i, period))
    absent = {(i, period) for i, period in lessons if i % 4 == 0}
    assert covered <= absent and len(covered) + missing.count("Couldnt find") == len(absent)


@pytest.mark.parametrize("others", [[], [("Cy", "physics", True)], [("T0", "maths", True)],
                                    [("T0", "maths", False), ("Ben", "maths", True)]],
                         ids=["empty", "other subject", "same name present", "same names"])
def test_generation_on_a_school_whose_class_was_registered_elsewhere(others):
    _absent, home, klass = objects(name="T0")
    away, model = School(), reference.School()
    for name, sub, present in others:
        away.add_teacher(Teacher(name, sub, present))
        model.add_teacher(reference.Teacher(name, sub, present))
    away.add_class(klass)
    home_before = str(home)
    model_absent = reference.Teacher("T0", "maths", False)
    model_absent.reason_of_absentee = "Sick"
    model.classes = [reference.Class("10A")]
    model.classes[0].entries = [(model_absent, 1)] * 2
    assert away.generate_substitutions().rsplit("\n", 1)[0] == model.result_without_timing()
    assert str(home) == home_before  # the other school's records are not this one's to change
    parse_school_text(str(away))
