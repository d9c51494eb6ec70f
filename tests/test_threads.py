"""Eight threads share teachers, classes and a school and call every member at once.

Nothing crashes or hangs, only the designed exceptions escape, and afterwards the
school's own records hold exactly the registered lessons and the covers handed out.
"""
import collections
import csv
import random
import sys
import threading
import time

import pytest

from debug_text_parser import parse_school_text
from lessoncover import Class, PanicException, School, Teacher, register_period

THREADS = 8
CALLS = 2_000  # per thread: a few seconds in all
DESIGNED = (TypeError, OverflowError, RuntimeError, AttributeError, UnicodeEncodeError,
            PanicException)


class Yielding:
    """An __index__ that lets other threads run while the call holds its borrows."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)
        return self.value


class Shared:
    def __init__(self):
        self.teachers = [Teacher(f"T{i}", ("maths", "physics")[i % 2], i % 3 != 0) for i in range(6)]
        self.classes = [Class(f"C{k}") for k in range(12)]
        self.school = School()
        for teacher in self.teachers:
            self.school.add_teacher(teacher)
        self.registered = collections.Counter()  # (teacher, period, class) -> successful calls
        self.covers = set()                       # (substitute, period, class) from the reports
        self.failures = []
        self.lock = threading.Lock()


def call_something(shared, rng, number, registered, covers):
    """One call of a randomly chosen member; records what the final check needs."""
    # Names by index: reading teacher.name may be refused while another thread holds it.
    t, k, period = rng.randrange(len(shared.teachers)), rng.randrange(len(shared.classes)), rng.randrange(4)
    teacher, klass = shared.teachers[t], shared.classes[k]
    choice = rng.choice("RRRGPAAPNSTHCOXY")
    if choice == "R":
        register_period(teacher, Yielding(period) if rng.random() < 0.3 else period, shared.school, klass)
        registered[(f"T{t}", period, f"C{k}")] += 1
    elif choice == "G":
        result = shared.school.generate_substitutions()
        report = result.rsplit("\n", 2)[0].splitlines()
        assert report[0] == "Teacher,Period,Subject,Substitution,Classroom,Reason"
        assert result.splitlines()[-1].startswith('"Time taken to generate subs: ')
        covers.update((row[3], int(row[1]), row[4]) for row in csv.reader(report[1:]))
    elif choice == "P":
        register_period(Teacher("Nobody", "art", True), period, shared.school, klass)
    elif choice == "A":
        teacher.add_period(Yielding(period), f"G{period}")
    elif choice == "N":
        teacher.present = not teacher.present
        teacher.reason_of_absentee = f"reason {number}"
        assert teacher.get_sub() in ("Maths", "Physics") and teacher.name.startswith("T")
    elif choice == "S":
        str(teacher), str(klass)
    elif choice == "T":
        shared.school.add_teacher(rng.choice([teacher, Teacher(f"W{number % 7}", "maths", True)]))
    elif choice == "H":
        shared.school.add_to_hashmap(f"alias{number % 5}", teacher)
    elif choice == "C":
        # Copies of the shared classes make generation busy; a few keep it quick.
        shared.school.add_class(klass if number % 150 == 0 else Class(f"E{number}"))
    elif choice == "O":
        Class(f"X{number}"), School(), Teacher(f"Y{number}", "bio", False)
    elif number % 60 == 0:
        parse_school_text(str(shared.school))


def worker(shared, seed):
    rng, registered, covers = random.Random(seed), collections.Counter(), set()
    for number in range(CALLS):
        try:
            call_something(shared, rng, seed * CALLS + number, registered, covers)
        except DESIGNED as error:
            if isinstance(error, RuntimeError) and str(error) not in (
                    "Already borrowed", "Already mutably borrowed"):
                shared.failures.append(repr(error))
        except BaseException as error:  # noqa: BLE001 - every other escape is a failure
            shared.failures.append(repr(error))
    with shared.lock:
        shared.registered.update(registered)
        shared.covers |= covers


@pytest.fixture
def fast_switching():
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


def test_threads_share_every_object(fast_switching, capfd):
    shared = Shared()
    # Daemons: a deadlocked thread must fail this test, not hang the interpreter's exit.
    threads = [threading.Thread(target=worker, args=(shared, seed), daemon=True) for seed in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=300)  # only to detect a deadlock
    assert not any(thread.is_alive() for thread in threads), "deadlock"
    capfd.readouterr()  # the diagnostics of PanicException
    assert shared.failures == []
    assert shared.registered, "no registration succeeded"

    for teacher in shared.teachers:  # no borrow outlived its call
        teacher.present, _ = teacher.present, str(teacher)
    for klass in shared.classes:  # the final entries of each class, into the school
        shared.school.add_class(klass)
    teachers, classes, _table = parse_school_text(str(shared.school))  # repeated pairs fail here
    periods = {}
    for handle in teachers:
        record = handle["data"]
        assert record["name"] not in periods, "a teacher listed twice"
        periods[record["name"]] = {(period, grade) for period, grade in record["periods"]}
    expected = collections.defaultdict(set)
    for name, period, grade in [*shared.registered, *shared.covers]:
        expected[name].add((period, grade))
    assert {name: pairs for name, pairs in periods.items() if pairs} == dict(expected)

    for klass in classes[-len(shared.classes):]:
        entries = collections.Counter(
            (entry[0]["data"]["name"], entry[1]) for entry in klass["data"]["list_of_periods"])
        name = klass["data"]["class_name"]
        assert entries == {(t, p): 2 * n for (t, p, g), n in shared.registered.items() if g == name}
