"""Eight threads share teachers, classes and a school and call every member at once.

Nothing crashes or hangs, only the designed exceptions escape, and afterwards the
school's own records hold exactly the registered lessons and the covers handed out.

A call may find an object borrowed ("Already borrowed") only while another thread's call
runs Python code of the caller's (here an __index__ that yields): the module's own work
never lets another thread run while it holds a borrow. The tests count the calls with
such an __index__ in flight and take any other refusal as a fault.
"""
import collections
import contextlib
import csv
import gc
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


BORROWED = ("Already borrowed", "Already mutably borrowed")


class InFlight:
    """Counts the calls given a Yielding argument, from before the call to after it returns,
    so the whole time such a call can hold borrows while other threads run."""

    def __init__(self):
        self.lock = threading.Lock()
        self.running = 0
        self.started = 0
        self.started_by = collections.Counter()  # by thread ident

    @contextlib.contextmanager
    def call(self):
        with self.lock:
            self.running += 1
            self.started += 1
            self.started_by[threading.get_ident()] += 1
        try:
            yield
        finally:
            with self.lock:
                self.running -= 1

    def snapshot(self):
        """Taken by a thread outside any call: the calls of other threads running now, and
        how many calls other threads have started so far."""
        with self.lock:
            return self.running, self.started - self.started_by[threading.get_ident()]

    def quiet_since(self, snapshot):
        """Whether no other thread's Yielding call ran at any moment since `snapshot`: a
        refusal seen in that time cannot have been caused by Python code."""
        running, started_by_others = snapshot
        return running == 0 and self.snapshot()[1] == started_by_others


def refusal_fault(error, in_flight, before):
    """The fault a RuntimeError seen since `before` shows, or None."""
    if str(error) not in BORROWED:
        return repr(error)
    if in_flight.quiet_since(before):
        return f"{error!r} while no call with Python code of the caller's was in flight"
    return None


@pytest.fixture
def no_collection_in_calls():
    """A collection may start in any allocation, also inside a call, and run finalizers of
    the test's garbage there: Python code no call of the test asked for. Off while threads
    count refusals."""
    enabled = gc.isenabled()
    gc.collect()
    gc.disable()
    yield
    if enabled:
        gc.enable()


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
        self.in_flight = InFlight()


def call_something(shared, rng, number, registered, covers):
    """One call of a randomly chosen member; records what the final check needs."""
    # Names by index: reading teacher.name may be refused while another thread holds it.
    t, k, period = rng.randrange(len(shared.teachers)), rng.randrange(len(shared.classes)), rng.randrange(4)
    teacher, klass = shared.teachers[t], shared.classes[k]
    choice = rng.choice("RRRGPAAPNSTHCOXY")
    if choice == "R":
        if rng.random() < 0.3:
            with shared.in_flight.call():
                register_period(teacher, Yielding(period), shared.school, klass)
        else:
            register_period(teacher, period, shared.school, klass)
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
        with shared.in_flight.call():
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
        before = shared.in_flight.snapshot()
        try:
            call_something(shared, rng, seed * CALLS + number, registered, covers)
        except DESIGNED as error:
            fault = refusal_fault(error, shared.in_flight, before) if isinstance(error, RuntimeError) else None
            if fault is not None:
                shared.failures.append(fault)
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


def test_threads_share_every_object(fast_switching, no_collection_in_calls, capfd):
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


class HandingOverStderr:
    """A sys.stderr whose every write lets other threads run until the main thread has
    made one more call: a write to a file or a pipe may let other threads run, this one
    surely does."""

    def __init__(self, calls_made, stop):
        self.calls_made, self.stop = calls_made, stop
        self.lines = []

    def write(self, text):
        seen = self.calls_made()
        while self.calls_made() == seen and not self.stop.is_set():
            time.sleep(0)
        self.lines.append(text)
        return len(text)

    def flush(self):
        pass


NOT_FOUND = "Teacher not found in existing list. Please add to 'teacher_list.csv'"
# Each handing-over write meets a call of the main thread; a write to a file descriptor
# only now and then.
PANICS = {"handing over": 300, "file descriptor": 3000}


@pytest.mark.parametrize("stderr", ["file descriptor", "handing over"])
def test_a_panic_refuses_no_other_thread(fast_switching, no_collection_in_calls, capfd, monkeypatch, stderr):
    """One thread keeps meeting an unknown teacher, whose diagnostic goes to sys.stderr;
    the main thread keeps using the objects that call borrows, with plain arguments only;
    a third thread holds one of them in a yielding __index__. Only the third may cause
    refusals."""
    school, in_flight = School(), InFlight()
    known, busy, unknown = Teacher("K", "maths", True), Teacher("B", "physics", True), Teacher("U", "art", False)
    for teacher in (known, busy):
        school.add_teacher(teacher)
    panicking_class, own_class = Class("P"), Class("M")
    stop, panics, faults, made = threading.Event(), [], [], [0]
    writer = HandingOverStderr(lambda: made[0], stop)
    if stderr == "handing over":
        monkeypatch.setattr(sys, "stderr", writer)

    def panicking():
        while not stop.is_set():
            before = in_flight.snapshot()
            try:
                register_period(unknown, 1, school, panicking_class)
            except PanicException as error:
                panics.append(str(error))
            except RuntimeError as error:
                if (fault := refusal_fault(error, in_flight, before)) is not None:
                    faults.append(fault)

    def yielding():
        period = 0
        while not stop.wait(0.001):  # now and then, so that most calls have nothing to excuse them
            period = (period + 1) % 8
            try:
                with in_flight.call():
                    busy.add_period(Yielding(period), "Y")  # `busy` held exclusively meanwhile
            except RuntimeError as error:
                if str(error) not in BORROWED:
                    faults.append(repr(error))

    calls = [
        lambda: school.add_teacher(known),                    # the school, exclusively
        lambda: str(panicking_class),                          # the class, shared
        lambda: setattr(unknown, "reason_of_absentee", "x"),  # the teacher, exclusively
        lambda: register_period(busy, 2, school, own_class),  # may meet the yielding thread
    ]
    threads = [threading.Thread(target=target, daemon=True) for target in (panicking, yielding)]
    for thread in threads:
        thread.start()
    try:
        # Until the other thread has panicked often enough; bounded if it hardly runs.
        while len(panics) < PANICS[stderr] and made[0] < 500_000:
            before = in_flight.snapshot()
            try:
                calls[made[0] % len(calls)]()
            except RuntimeError as error:
                if (fault := refusal_fault(error, in_flight, before)) is not None:
                    faults.append(fault)
            made[0] += 1
    finally:
        stop.set()
        for thread in threads:
            thread.join(timeout=60)  # only to detect a deadlock
    assert not any(thread.is_alive() for thread in threads), "deadlock"
    assert panics and set(panics) == {NOT_FOUND}
    assert not faults, f"{len(faults)} faults in {made[0]} calls, the first: {faults[:2]}"
    written = "".join(writer.lines) if stderr == "handing over" else capfd.readouterr().err
    lines = written.splitlines()
    assert len(lines) == len(panics)
    assert all(line.startswith("lessoncover: panic at src/school/") and line.endswith(": " + NOT_FOUND)
               for line in lines)
