"""Repeating any call, successful or refused, leaks neither memory nor references."""
import gc
import os
import sys

import pytest

from lessoncover import Class, PanicException, School, Teacher, register_period

SANITIZED = bool(os.environ.get("LESSONCOVER_SANITIZED"))
# Under ASan freed memory sits in quarantine, so RSS says nothing there; the
# reference counts are still checked, on fewer rounds.
ROUNDS = 2_000 if SANITIZED else 30_000
RSS_BOUND = 1 << 20  # 1 MiB over 30,000 rounds: about 35 bytes a call


def fresh(text):
    """A str object of its own (not interned), so its reference count means something."""
    return "".join(list(text))


class Hostile:
    """An __index__ that raises, re-enters the module or returns something wrong."""

    def __init__(self, action):
        self.action = action

    def __index__(self):
        return self.action()


def world():
    school, absent, present = School(), Teacher(fresh("Asha"), "maths", False), Teacher(fresh("Ben"), "maths", True)
    school.add_teacher(absent)
    school.add_teacher(present)
    other = School()
    grade, stray = Class(fresh("10A")), Class(fresh("9B"))
    register_period(absent, 1, school, grade)
    register_period(absent, 2, school, stray)
    school.add_class(grade)
    other.add_teacher(Teacher("Cy", "physics", True))
    other.add_class(stray)  # registered against another school: its subject is unknown here
    return dict(school=school, other=other, absent=absent, present=present, grade=grade,
                name=fresh("Dev"), grade_name=fresh("11C"), bad_sub=fresh("astronomy"),
                surrogate=fresh("x\ud800"), period=12345, big=2 ** 70)


def refuse_borrow(w):
    t = w["present"]
    return t.add_period(Hostile(lambda: t.get_sub()), w["grade_name"])


OPERATIONS = {
    "Teacher": (None, lambda w: Teacher(w["name"], "Maths", True)),
    "Teacher unknown subject": (TypeError, lambda w: Teacher(w["name"], w["bad_sub"], True)),
    "Teacher wrong type": (TypeError, lambda w: Teacher(w["name"], "maths", 1)),
    "Teacher surrogate": (UnicodeEncodeError, lambda w: Teacher(w["surrogate"], "maths", True)),
    "Teacher missing argument": (TypeError, lambda w: Teacher(w["name"], "maths")),
    "Teacher bad keyword": (TypeError, lambda w: Teacher(w["name"], "maths", True, bogus=1)),
    "add_period": (None, lambda w: w["present"].add_period(w["period"], w["grade_name"])),
    "add_period overflow": (OverflowError, lambda w: w["present"].add_period(w["big"], w["grade_name"])),
    "add_period wrong type": (TypeError, lambda w: w["present"].add_period(w["name"], w["grade_name"])),
    "add_period index raises": (ZeroDivisionError,
                                lambda w: w["present"].add_period(Hostile(lambda: 1 // 0), "g")),
    "add_period index not int": (TypeError, lambda w: w["present"].add_period(Hostile(lambda: 1.5), "g")),
    "borrow refused": (RuntimeError, refuse_borrow),
    "get_sub": (None, lambda w: w["present"].get_sub()),
    "read properties": (None, lambda w: (w["absent"].name, w["absent"].present,
                                         w["absent"].reason_of_absentee)),
    "write properties": (None, lambda w: (setattr(w["absent"], "present", False),
                                          setattr(w["absent"], "reason_of_absentee", w["name"]))),
    "write wrong type": (TypeError, lambda w: setattr(w["absent"], "reason_of_absentee", 5)),
    "delete property": (AttributeError, lambda w: delattr(w["absent"], "present")),
    "str": (None, lambda w: (str(w["absent"]), str(w["grade"]), str(w["school"]))),
    "Class": (None, lambda w: Class(w["name"])),
    "School and add_class": (None, lambda w: School().add_class(w["grade"])),
    "add_teacher": (None, lambda w: (w["school"].add_teacher(w["present"]), School().add_teacher(w["present"]))),
    "add_teacher wrong type": (TypeError, lambda w: w["school"].add_teacher(w["grade"])),
    "add_to_hashmap replaces": (None, lambda w: w["school"].add_to_hashmap(w["name"], w["present"])),
    "register_period": (None, lambda w: register_period(w["absent"], 3, w["school"], Class(w["name"]))),
    "register_period unknown teacher": (PanicException,
                                        lambda w: register_period(w["present"], 3, School(), w["grade"])),
    "generate": (None, lambda w: w["school"].generate_substitutions()),
    "generate unknown subject": (None, lambda w: w["other"].generate_substitutions()),
}


def rss():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def repeat(expected, action, w, rounds):
    for _ in range(rounds):
        try:
            action(w)
        except BaseException as error:  # PanicException is not an Exception
            if expected is None or not isinstance(error, expected):
                raise
        else:
            assert expected is None, f"no {expected.__name__} raised"


@pytest.mark.parametrize("name", OPERATIONS)
def test_repeating_a_call_leaks_nothing(name, capfd):
    expected, action = OPERATIONS[name]
    w = world()
    repeat(expected, action, w, 200)  # warm up: caches, covers already made, first allocations
    gc.collect()
    # A leaked instance holds its type; a str handed out again may be one kept by the module.
    watched = [*w.values(), Teacher, Class, School, w["absent"].name, w["absent"].get_sub()]
    counts = [sys.getrefcount(value) for value in watched]
    before = rss()
    repeat(expected, action, w, ROUNDS)
    gc.collect()
    grown = rss() - before
    assert [sys.getrefcount(value) for value in watched] == counts
    if not SANITIZED:
        assert grown < RSS_BOUND, f"RSS grew by {grown} bytes over {ROUNDS} calls"
    capfd.readouterr()  # the diagnostics of PanicException
