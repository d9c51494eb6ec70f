"""Coverage-guided fuzzing of the whole Python surface of lessoncover.

Each input is read as a short program: a sequence of operations on a few teachers,
classes and schools (every constructor, method, property read, write and deletion,
register_period, str() and generate_substitutions()), with texts, ints and bools
that may be wrong-typed, out of range, non-encodable, subclassed or objects whose
__index__ raises, returns nonsense or re-enters the module. Texts run long and past
ASCII; periods cover -32768..32767, mostly near the last few used so that lessons
collide. Bulk operations staff a school with teachers and register lessons, many on a
few teachers. The same operations drive the plain model of its API, tests/model/module_api.py.
The programs make two harnesses (tools/fuzz_tests.sh runs both, on the same seeds):

`api`, the fast one (no flag): programs of up to 12 steps and one bulk operation of a
few dozen calls. After every step:

- only the designed exception types escaped, borrow errors say what was borrowed, a
  call with valid arguments was accepted and one with invalid arguments refused;
- every argument the program owns (the module's objects, __index__ objects, subclassed
  texts and ints, lists) has the reference count it had before the call;

and at the end, str() of every object whose text is short, read back, equals the
model's records; a generation result is checked against the model when it is made.

`api_deep` (--deep): programs of up to 48 steps and three bulk operations of up to a few
hundred teachers (so the planner's candidate bitsets span several words) or hundreds of
lessons (so a teacher holds dozens of periods). The same checks, and after every step
str() of every short object read back against the model (so a refused call that changed
something, or an object later dropped from the program's pools, is seen when it happens),
and at the end the long schools and classes too (a huge one not at all).

In both, a generation result has the header, the model's rows and missing covers, and
a last line with the timing.

A further operation plans a random day with lessoncover_planner.plan and builds the
same day as objects in the documented order (teachers added, lessons registered,
classes added in order of first appearance, one generation): both reports must be
the same, and the plan's records must agree with its report and with the rules.

fuzz/corpus/api holds small seed programs, picked for reaching covers, fallbacks,
missing covers, refusals, re-entrant calls, large schools and planned days.
tools/fuzz_tests.sh runs both against a build with libFuzzer coverage, ASan and UBSan,
so the fuzzer is guided by the C++ code's edges as well as by the decoder's; `api`
with Python's own allocator and two frames of each allocation's stack, `api_deep` with
PYTHONMALLOC=malloc (ASan sees the Python objects too) and full stacks.

Run:  python3 fuzz/fuzz_api.py [--deep] DIR -max_total_time=60
                                            (DIR: a copy of fuzz/corpus/api)
      python3 fuzz/fuzz_api.py [--deep] --replay FILE...   (no atheris needed)
"""
import contextlib
import csv
import functools
import io
import itertools
import os
import random
import sys
import warnings

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# A script run from anywhere: the root, for the tests package and its model of the rules.
sys.path.insert(0, ROOT)

# Reading texts back in Python costs many times the program that made them: the fast
# harness reads them once, at the end, and runs many times as many programs.
DEEP = "--deep" in sys.argv
if DEEP:
    sys.argv.remove("--deep")

FUZZING = __name__ == "__main__" and sys.argv[1:2] != ["--replay"]
if FUZZING:
    import atheris
# The branches of the harness's decoder and of the model (covers, fallbacks, missing covers)
# guide the fuzzer beside the modules' own edges, when they are built for it.
with atheris.instrument_imports() if FUZZING else contextlib.nullcontext():
    from tests.model import module_api as reference
from tests import debug_text_parser as dtp  # noqa: E402
import lessoncover  # noqa: E402
import lessoncover_planner  # noqa: E402
from lessoncover import Class, School, Teacher, register_period  # noqa: E402

# tools/fuzz_tests.sh names the folder of the instrumented build: fuzzing anything else
# would pass while testing nothing.
if os.environ.get("LESSONCOVER_FUZZ_SITE"):
    for _module in (lessoncover, lessoncover_planner._planner):
        assert _module.__file__.startswith(os.environ["LESSONCOVER_FUZZ_SITE"]), _module.__file__

PanicException = lessoncover.PanicException
# __index__ returning an int subclass is deprecated, not an error; keep the log quiet.
warnings.simplefilter("ignore", DeprecationWarning)


class QuietPanics:
    """sys.stderr without the diagnostic line that accompanies each PanicException."""

    def __init__(self, stream):
        self.stream = stream

    def write(self, text):
        if text.startswith("lessoncover: panic at "):
            return len(text)
        return self.stream.write(text)

    def __getattr__(self, name):
        return getattr(self.stream, name)


# The fast harness's programs are shorter and its bulk operations stay at their usual
# sizes (a few dozen teachers or lessons); the deep one also makes the hundreds that span
# several words of the planner's bitsets.
MAX_STEPS = 48 if DEEP else 12
MAX_OBJECTS = 8
SPELLINGS = reference.SUBJECTS
SPELLING_KEYS = sorted(SPELLINGS)
NAMES = ["Asha", "Ben", "Chen, D", 'Dev "D"', "Eve\nF", "Zo\u00eb", "\u0141ukasz Nowak", "\u674e\u96f7",
         "\u00d6z\u00e7elik", "O'Brien"]
GRADES = ["10A", "9B", 'R"1', "Lab\\2", "x\ry", "\u00dc1", "Lab,3"]
# A school or class whose text would be longer than this (as the model estimates it) is
# printed and read back only at the end of a program, with --deep, and one
# longer than the second limit never: its text grows with lessons times the texts of
# their teachers, and reading it back in Python costs far more than making it.
CHECK_TEXT_LIMIT = 4_000
FINAL_CHECK_TEXT_LIMIT = 150_000
VALID_SUBJECTS = ["maths", "Physics", "BIO"]
SUBJECT_TEXTS = ["maths", "MATHS", "Bio", "p.e", "finfance", "Finance", "Art", "sans\u212arit",
                 "Astronomy", "english ", "", "PhysicalEdu"]
# Characters whose escaping is the same in every Unicode version the model may run on:
# plain, each escape class (controls, format, surrogate-free private use, separators,
# combining marks) and multi-code-point lower-casing.
ALPHABET = list("aZ09 ,;'-_.") + ['"', "\\", "\t", "\r", "\n", "\0", "\x07", "\x7f", "\x85",
                                    "\u00a0", "\u200b", "\u2028", "\u2029", "\u0301", "\u20dd",
                                    "\ue000", "\U000e0001", "\u00e9", "\u03a3", "\u0130",
                                    "\u212a", "\U0001f600", "\uff21"]


class HostileError(Exception):
    """What a hostile __index__ raises; callers must let it through unchanged."""


class IntSub(int):
    def __index__(self):  # never consulted: an int is converted by its value
        raise AssertionError("__index__ of an int subclass was called")


class StrSub(str):
    def __str__(self):
        raise AssertionError("str() of a str argument was called")

    def __hash__(self):
        raise AssertionError("a str argument was hashed by Python")


class Index:
    """An object with __index__: returns a value, raises, or runs a nested operation."""

    def __init__(self, fuzzer, kind, value, nested):
        self.fuzzer, self.kind, self.value, self.nested = fuzzer, kind, value, nested

    def __index__(self):
        if self.kind == "raise":
            raise HostileError("hostile __index__")
        if self.kind == "type_error":
            raise TypeError("hostile __index__ TypeError")
        if self.kind == "reenter" and self.nested is not None:
            self.fuzzer.run(self.nested, depth=1)
        return self.value


DESIGNED = (TypeError, OverflowError, RuntimeError, AttributeError, UnicodeEncodeError,
            PanicException, HostileError)
BORROW_MESSAGES = {"Already borrowed", "Already mutably borrowed"}


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def byte(self):
        if self.pos >= len(self.data):
            return 0
        self.pos += 1
        return self.data[self.pos - 1]

    def pick(self, options):
        return options[self.byte() % len(options)]

    def more(self):
        return self.pos < len(self.data)


def is_text(value):
    if not isinstance(value, str):
        return False
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


class Fuzzer:
    def __init__(self, data):
        self.r = Reader(data)
        self.teachers = []  # (Teacher, reference.Teacher)
        self.classes = []   # (Class, reference.Class)
        self.schools = []   # (School, reference.School)
        self.bulk_teachers = []  # teachers made in bulk, (Teacher, reference.Teacher)
        self.recent_periods = []
        self.bulk_ops = 0

    # -- values ---------------------------------------------------------------------
    def text(self):
        r = self.r
        kind = r.byte() % 9
        if kind == 0:
            return r.pick(NAMES)
        if kind == 1:
            return r.pick(SUBJECT_TEXTS)
        if kind == 2:
            length = r.byte() % 12 if r.byte() % 4 else r.byte() * 2
            return "".join(r.pick(ALPHABET) for _ in range(length))
        if kind == 3:
            return r.pick(GRADES)
        if kind == 4:
            return r.pick(NAMES) + "\ud800"
        if kind == 5:
            return StrSub(r.pick(NAMES + GRADES + SUBJECT_TEXTS))
        if kind == 6:
            return r.pick(NAMES + GRADES) * (1 + r.byte() * 4)
        if kind == 7:
            return ""
        return self.wrong()

    def integer(self, depth):
        r = self.r
        kind = r.byte() % 9
        if kind == 0:
            return self.period()
        if kind == 1:
            return r.pick([-32768, 32767, 0])
        if kind == 2:
            return r.pick([32768, -32769, 2 ** 64, -(2 ** 100)])
        if kind == 3:
            return r.pick([True, False])
        if kind == 4:
            return IntSub(r.byte() % 6)
        if kind == 5:
            value = r.pick([0, 1, 2, 40000, IntSub(3), "x", 1.5, None])
            return Index(self, "value", value, None)
        if kind == 6:
            return Index(self, r.pick(["raise", "type_error"]), 0, None)
        if kind == 7:
            nested = self.decode_op(nested=True) if depth == 0 else None
            return Index(self, "reenter", r.byte() % 6 - 1, nested)
        return self.wrong()

    def period(self, rng=None):
        """A period in -32768..32767: mostly one used lately or next to it, else a small
        one, an edge or anything in the range. With rng, the choice comes from it."""
        draw = rng.randrange(256) if rng else self.r.byte()
        more = (lambda n: rng.randrange(n)) if rng else (lambda n: self.r.byte() % n)
        recent = self.recent_periods
        kind = draw % 8
        if kind < 3 and recent:
            value = recent[more(len(recent))]
        elif kind < 5:
            value = (recent[-1] if recent else 0) + more(9) - 4
        elif kind == 5:
            value = more(10) - 1
        elif kind == 6:
            value = [-32768, -32767, 32767, 32766, 255, 256, -1][more(7)]
        else:
            value = (more(256) << 8 | more(256)) - 32768
        value = max(-32768, min(32767, value))
        if len(recent) < 12:
            recent.append(value)
        else:
            recent[more(12)] = value
        return value

    def count(self, small, large):
        """Mostly up to small, now and then up to large."""
        b = self.r.byte()
        if b < 0xE0 or not DEEP:
            return b % (small + 1)
        return small + (b - 0xE0) * (large - small) // 31

    def boolean(self):
        kind = self.r.byte() % 8
        if kind < 6:
            return kind % 2 == 0
        return self.r.pick([1, 0, None, "yes", self.wrong()])

    def subject(self):
        return self.r.pick(VALID_SUBJECTS) if self.r.byte() % 4 else self.text()

    def wrong(self):
        """A value of another type: module objects come as (object, model) pairs."""
        return self.r.pick([None, 1.5, b"bytes", [], object(), 7]
                           + self.teachers + self.classes + self.schools)

    def target(self, kind):
        pool = getattr(self, kind)
        if not pool:
            self.create(kind)
        return self.r.pick(pool) if pool else None

    def create(self, kind):
        if kind == "teachers":
            name, sub, present = self.r.pick(NAMES), self.r.pick(VALID_SUBJECTS), self.r.byte() % 2 == 0
            if self.r.byte() % 4 == 0:
                name += str(self.r.byte())
            pair = (Teacher(name, sub, present), reference.Teacher(name, sub, present))
        elif kind == "classes":
            pair = (Class("10A"), reference.Class("10A"))
        else:
            pair = (School(), reference.School())
        getattr(self, kind).append(pair)

    # -- operations -------------------------------------------------------------------
    OPS = ["Teacher", "add_period", "get_sub", "read", "write", "delete", "teacher_str",
           "Class", "class_str", "School", "add_teacher", "add_class", "add_to_hashmap",
           "generate", "school_str", "register_period"]
    # Many calls each, with valid arguments: never from inside another call.
    BULK_OPS = ["staff", "timetable", "plan_day"]
    MAX_BULK_OPS = 3 if DEEP else 1  # the fast harness's programs are a few ms each

    def decode_op(self, nested=False):
        r = self.r
        if nested or self.bulk_ops >= self.MAX_BULK_OPS:
            op = r.pick(self.OPS)
        else:
            op = r.pick(self.OPS + self.BULK_OPS)
        if op in self.BULK_OPS:
            self.bulk_ops += 1
            return op, []
        if op == "Teacher":
            return op, [self.text(), self.subject(), self.boolean()]
        if op == "add_period":
            return op, [self.target("teachers"), self.integer(0), self.text()]
        if op in ("get_sub", "teacher_str"):
            return op, [self.target("teachers")]
        if op in ("read", "write", "delete"):
            prop = r.pick(["name", "present", "reason_of_absentee"])
            value = self.boolean() if prop == "present" else self.text()
            return op, [self.target("teachers"), prop, value]
        if op == "Class":
            return op, [self.text()]
        if op == "class_str":
            return op, [self.target("classes")]
        if op == "School":
            return op, []
        if op in ("add_teacher", "add_class", "generate", "school_str"):
            school = self.target("schools")
            arg = {"add_teacher": "teachers", "add_class": "classes"}.get(op)
            value = self.target(arg) if arg and r.byte() % 6 else self.wrong()
            return op, [school, value]
        if op == "add_to_hashmap":
            value = self.target("teachers") if r.byte() % 6 else self.wrong()
            return op, [self.target("schools"), self.text(), value]
        teacher = self.target("teachers") if r.byte() % 8 else self.wrong()
        school = self.target("schools") if r.byte() % 8 else self.wrong()
        klass = self.target("classes") if r.byte() % 8 else self.wrong()
        return op, [teacher, self.integer(0), school, klass]

    def arguments(self, names, values):
        """Passes arguments by position, keyword or a mix, or as a bad argument list.

        Returns (positional, keywords, well_formed)."""
        mode = self.r.byte() % 10
        split = self.r.byte() % (len(names) + 1)
        keywords = dict(zip(names[split:], values[split:]))
        if mode < 5:
            return list(values), {}, True
        if mode < 8:
            return list(values[:split]), keywords, True
        if mode == 8:
            return list(values) + [None], {}, False
        return list(values[:split]), dict(keywords, bogus=1), False

    def run(self, step, depth):
        """Runs one operation on the module and, when it succeeds, on the model.

        At the top level nothing is borrowed, so a call with valid arguments must
        succeed and one with invalid arguments must fail; in a nested call (from an
        __index__) any designed refusal is fine."""
        op, args = step
        if op in self.BULK_OPS:
            getattr(self, op)()
            return
        function, names, values, ok, commit = self.plan(op, args)
        positional, keywords, well_formed = self.arguments(names, values)
        # The module's objects keep their records in C++, never a reference to an argument:
        # every argument's count is where it was once the call is over, accepted or
        # refused. A re-entrant __index__ may drop objects from the pools, so not then.
        counts = None if depth or any(is_reentrant(v) for v in values) else reference_counts(values)
        refused = False
        try:
            result = function(*positional, **keywords)
        except DESIGNED as error:
            if isinstance(error, RuntimeError):
                assert str(error) in BORROW_MESSAGES, error
            if isinstance(error, PanicException):
                assert str(error) == reference.NOT_FOUND, error
                assert op == "register_period" and args[0][1].name not in args[2][1].by_name
            elif depth == 0:
                assert not (ok and well_formed), f"{op}{tuple(values)!r} raised {error!r}"
            refused = True
        except BaseException as error:
            raise AssertionError(f"{op} raised {type(error).__name__}: {error!r}") from error
        # Checked once the exception, whose traceback holds the arguments, is gone.
        assert counts is None or reference_counts(values) == counts, (op, values, counts)
        if refused:
            return
        assert ok and well_formed, f"{op}{tuple(values)!r} was accepted"
        commit(result)

    def plan(self, op, args):
        """(function, parameter names, argument values, valid?, model update)."""
        real = [a[0] if isinstance(a, tuple) else a for a in args]
        nothing = lambda result: None  # noqa: E731
        if op == "Teacher":
            name, sub, present = real
            subject = SPELLINGS.get(str.lower(sub)) if is_text(sub) else None
            ok = is_text(name) and subject is not None and type(present) is bool

            def commit(obj):
                model = reference.Teacher(plain(name), plain(sub), present)
                self.remember(self.teachers, (obj, model))
            return Teacher, ["name", "sub", "present"], real, ok, commit
        if op == "Class":
            commit = lambda obj: self.remember(  # noqa: E731
                self.classes, (obj, reference.Class(plain(real[0]))))
            return Class, ["name"], real, is_text(real[0]), commit
        if op == "School":
            commit = lambda obj: self.remember(self.schools, (obj, reference.School()))  # noqa: E731
            return School, [], [], True, commit
        if op == "add_period":
            (teacher, model), period, grade = args[0], real[1], real[2]
            value = converted(period)
            commit = lambda _: model.add_period(value, plain(grade))  # noqa: E731
            ok = value is not None and is_text(grade)
            return teacher.add_period, ["period", "grade"], real[1:], ok, commit
        if op == "get_sub":
            teacher, model = args[0]
            return teacher.get_sub, [], [], True, lambda sub: check_equal(sub, model.get_sub())
        if op == "teacher_str":
            return (lambda: check_teacher(*args[0])), [], [], True, nothing
        if op == "class_str":
            return (lambda: check_class(*args[0], limit=CHECK_TEXT_LIMIT)), [], [], True, nothing
        if op in ("read", "write", "delete"):
            return self.property(op, args[0], real[1], real[2])
        if op == "register_period":
            teacher, period, school, klass = args
            number = converted(real[1])
            ok = (number is not None and isinstance(real[0], Teacher)
                  and isinstance(real[2], School) and isinstance(real[3], Class))

            def commit(_):
                # Found by name after any nested call made while converting.
                assert teacher[1].name in school[1].by_name, "unknown teacher registered"
                reference.register_period(teacher[1], number, school[1], klass[1])
            return register_period, ["teacher", "period", "school", "class"], real, ok, commit
        (school, model), value = args[0], args[-1]
        if op == "generate":
            return (school.generate_substitutions, [], [], True,
                    lambda result: check_generation(result, model))
        if op == "school_str":
            return (lambda: check_school(school, model, limit=CHECK_TEXT_LIMIT)), [], [], True, nothing
        if op == "add_to_hashmap":
            ok = is_text(real[1]) and isinstance(real[2], Teacher)
            commit = lambda _: model.add_to_hashmap(plain(real[1]), value[1])  # noqa: E731
            return school.add_to_hashmap, ["name", "teacher"], real[1:], ok, commit
        expected, name = (Teacher, "teacher") if op == "add_teacher" else (Class, "class")
        commit = lambda _: getattr(model, op)(value[1])  # noqa: E731
        return getattr(school, op), [name], real[1:], isinstance(real[1], expected), commit

    def property(self, op, pair, prop, value):
        teacher, model = pair
        if op == "read":
            return (lambda: getattr(teacher, prop)), [], [], True, (
                lambda got: check_equal(got, getattr(model, prop)))
        if op == "delete":
            return (lambda: delattr(teacher, prop)), [], [], False, None
        ok = type(value) is bool if prop == "present" else prop != "name" and is_text(value)
        stored = value if prop == "present" else plain(value) if ok else None
        return ((lambda: setattr(teacher, prop, value)), [], [], ok,
                lambda _: setattr(model, prop, stored))

    def remember(self, pool, pair):
        if len(pool) < MAX_OBJECTS:
            pool.append(pair)
        else:
            pool[self.r.byte() % MAX_OBJECTS] = pair

    # -- bulk operations --------------------------------------------------------------
    def rng(self):
        """Details of a bulk operation come from a generator seeded by the input, its
        shape (counts, spreads, rates) from the input itself."""
        return random.Random(self.r.byte() << 8 | self.r.byte())

    def staff_names(self, count, rng):
        style = self.r.byte() % 5
        stem = ["T", "\u0141ukasz ", 'Smith, "J" ', "x" * 300, rng.choice(NAMES)][style]
        return [f"{stem}{i}" for i in range(count)]

    def staff(self):
        """Up to a few hundred new teachers, each added to one school."""
        school, model = self.target("schools")
        count = 1 + self.count(40, 300)
        absent_rate = self.r.byte() / 512
        rng = self.rng()
        for name in self.staff_names(count, rng):
            key = rng.choice(SPELLING_KEYS)
            spelling = key.upper() if rng.random() < 0.2 else key
            present = rng.random() >= absent_rate
            pair = (Teacher(name, spelling, present), reference.Teacher(name, spelling, present))
            if not present and rng.random() < 0.5:
                reason = rng.choice(["Course, off site", 'Sick "flu"', "Kr\u00e4nk", "line\nbreak"])
                pair[0].reason_of_absentee = reason
                pair[1].reason_of_absentee = reason
            school.add_teacher(pair[0])
            model.add_teacher(pair[1])
            self.bulk_teachers.append(pair)
        del self.bulk_teachers[:-600]

    def timetable(self):
        """Hundreds of lessons of one class, many of them on a few teachers, then mostly
        the class added and sometimes a generation."""
        school_pair = self.target("schools")
        class_pair = self.target("classes") if self.r.byte() % 2 else (Class("10A"), reference.Class("10A"))
        count = self.count(40, 400)
        focus = 1 + self.r.byte() % 8
        spread = self.r.byte() % 12
        add = self.r.byte() % 4 != 0
        generate = self.r.byte() % 3 == 0
        rng = self.rng()
        known = [pair for pair in self.bulk_teachers + self.teachers if pair[1].name in school_pair[1].by_name]
        if known:
            focused = [rng.choice(known) for _ in range(focus)]
            base = self.period(rng)
            for _ in range(count):
                teacher = rng.choice(focused) if rng.random() < 0.7 else rng.choice(known)
                if rng.random() < 0.8:
                    period = max(-32768, min(32767, base + rng.randint(-spread, spread)))
                else:
                    period = self.period(rng)
                register_period(teacher[0], period, school_pair[0], class_pair[0])
                reference.register_period(teacher[1], period, school_pair[1], class_pair[1])
        if add:
            school_pair[0].add_class(class_pair[0])
            school_pair[1].add_class(class_pair[1])
        if generate:
            check_generation(school_pair[0].generate_substitutions(), school_pair[1])

    def plan_day(self):
        """A random day planned by lessoncover_planner.plan and built as objects."""
        r = self.r
        teacher_count = 1 + self.count(12, 200)
        lesson_count = self.count(30, 600)
        class_count = 1 + r.byte() % 24
        absent_rate = r.byte() / 400
        focus = 1 + r.byte() % 8
        spread = r.byte() % 12
        rng = self.rng()
        names = self.staff_names(teacher_count, rng)
        keys = [rng.choice(SPELLING_KEYS) for _ in names]
        classes = [rng.choice(GRADES) + str(i) for i in range(class_count)]
        lessons = []
        if names:
            focused = [rng.randrange(teacher_count) for _ in range(focus)]
            base = self.period(rng)
            for _ in range(lesson_count):
                teacher = rng.choice(focused) if rng.random() < 0.6 else rng.randrange(teacher_count)
                if rng.random() < 0.8:
                    period = max(-32768, min(32767, base + rng.randint(-spread, spread)))
                else:
                    period = self.period(rng)
                lessons.append((names[teacher], period, rng.choice(classes)))
        absences = {name: rng.choice([None, "", "Course, off site", 'Sick "flu"', "\u00e9t\u00e9"])
                    for name in names if rng.random() < absent_rate}

        planned = lessoncover_planner.plan(
            [(name, planner_subject(key, rng)) for name, key in zip(names, keys)], lessons, absences)
        assert planned.report(timing=False) == lessoncover_planner.plan(
            [(name, key) for name, key in zip(names, keys)], lessons, absences).report(timing=False)

        # The same day as a lessoncover script builds it.
        school = School()
        teachers = {}
        for name, key in zip(names, keys):
            teacher = Teacher(name, key, name not in absences)
            if absences.get(name):
                teacher.reason_of_absentee = absences[name]
            school.add_teacher(teacher)
            teachers[name] = teacher
        class_objects = {}
        for name, period, class_name in lessons:
            if class_name not in class_objects:
                class_objects[class_name] = Class(class_name)
            register_period(teachers[name], period, school, class_objects[class_name])
        for class_object in class_objects.values():
            school.add_class(class_object)
        result = school.generate_substitutions()
        head, timing = result.rsplit("\n", 1)
        assert timing.startswith('"Time taken to generate subs: '), timing
        assert planned.report(timing=False) == head, (planned.report(timing=False), head)
        check_plan_records(planned, head, dict(zip(names, keys)), absences)

    # -- invariants -------------------------------------------------------------------
    def check_all(self):
        for pair in self.teachers:
            check_teacher(*pair)
        for pair in self.classes:
            check_class(*pair, limit=CHECK_TEXT_LIMIT)
        for pair in self.schools:
            check_school(*pair, limit=CHECK_TEXT_LIMIT)

    def check_large(self):
        for pair in self.classes:
            check_class(*pair, limit=FINAL_CHECK_TEXT_LIMIT, over=CHECK_TEXT_LIMIT)
        for pair in self.schools:
            check_school(*pair, limit=FINAL_CHECK_TEXT_LIMIT, over=CHECK_TEXT_LIMIT)

    def go(self):
        steps = 0
        while self.r.more() and steps < MAX_STEPS:
            self.run(self.decode_op(), depth=0)
            if DEEP:
                self.check_all()
            steps += 1
        if DEEP:
            self.check_large()
        else:
            self.check_all()


def is_reentrant(value):
    return isinstance(value, Index) and value.kind == "reenter" and value.nested is not None


# Objects only the program holds: the counts of shared constants, small ints and interned
# texts move with the interpreter's own work.
OWNED_TYPES = (Teacher, Class, School, Index, IntSub, StrSub, list)


def reference_counts(values):
    return [sys.getrefcount(value) for value in values
            if isinstance(value, OWNED_TYPES) or type(value) is object]


def plain(text):
    """The exact str of a text argument, without calling a subclass's __str__."""
    return str.__str__(text)


def check_equal(got, expected):
    assert got == expected and type(got) is type(expected), (got, expected)


def converted(period):
    """What the module stores for a period argument, or None when it must refuse it."""
    if isinstance(period, Index):
        if period.kind in ("raise", "type_error"):
            return None
        period = period.value
    if not isinstance(period, int):
        return None
    value = int.__index__(period)
    return value if -32768 <= value <= 32767 else None


def expected_record(record):
    return dtp.teacher(record.name, record.periods, record.get_sub(), record.present,
                       record.reason_of_absentee)


def check_teacher(teacher, model):
    assert teacher.name == model.name
    assert teacher.get_sub() == model.get_sub()
    assert teacher.present is model.present
    assert teacher.reason_of_absentee == model.reason_of_absentee
    text = str(teacher)
    head = "Teacher:\n    {\n        name:" + model.name + " \n        periods: "
    tail = (" \n        subject: " + model.get_sub() + "\n        present: "
            + ("true" if model.present else "false") + "\n    }\n")
    assert text.startswith(head) and text.endswith(tail), text
    items = dtp.parse_compact(text[len(head):len(text) - len(tail)])
    assert sorted(items) == sorted(f"{p}:{g}" for p, g in model.periods), items


def bounded_sum(sizes, limit):
    """The sum of `sizes`, or a partial sum past `limit` once one passes it: a large
    object's size is known to be too large after a few of its parts, not all of them
    (summing them all, for every object after every step, was most of a run's time)."""
    total = 0
    for size in sizes:
        total += size
        if total > limit:
            break
    return total


def teacher_text_size(model, limit):
    """About how long the teacher's record is in a debug text, from the model; past
    `limit` whenever that is."""
    return 120 + len(model.name) + len(model.reason_of_absentee) + bounded_sum(
        (12 + len(grade) for _period, grade in model.periods), limit)


def class_text_size(model, limit):
    # Each entry prints the whole record of its teacher.
    return 60 + len(model.name) + bounded_sum(
        (60 + teacher_text_size(t, limit) for t, _period in model.entries), limit)


def school_text_size(model, limit):
    return 100 + bounded_sum(
        itertools.chain((2 * teacher_text_size(t, limit) for t in model.teachers),
                        (class_text_size(k, limit) for k in model.classes)), limit)


# Every object is checked after every step, and most steps leave most objects as they
# were: the text of each is read back once, and compared with the model every time.
parsed_class_text = functools.lru_cache(maxsize=256)(dtp.parse_class_text)
parsed_school_text = functools.lru_cache(maxsize=256)(dtp.parse_school_text)


def check_class(klass, model, limit=None, over=0):
    """Reads str(klass) back and compares it with the model; with a limit, only when the
    text's estimated size is above `over` and not above `limit`."""
    if limit is not None and not over < class_text_size(model, limit) <= limit:
        return
    name, entries = parsed_class_text(str(klass))
    assert name == model.name
    assert entries == [(dtp.mutex(expected_record(t)), p) for t, p in model.entries]


def check_school(school, model, limit=None, over=0):
    if limit is not None and not over < school_text_size(model, limit) <= limit:
        return
    teachers, classes, table = parsed_school_text(str(school))
    assert teachers == [dtp.mutex(expected_record(t)) for t in model.teachers]
    assert classes == [
        dtp.mutex(dtp.klass(k.name, [(dtp.mutex(expected_record(t)), p) for t, p in k.entries]))
        for k in model.classes]
    assert table == {s: [dtp.mutex(expected_record(t)) for t in members]
                     for s, members in model.subject_table().items()}


def check_generation(result, model):
    assert result.startswith(reference.HEADER), result
    head, timing = result.rsplit("\n", 1)
    assert timing.startswith('"Time taken to generate subs: ') and timing.endswith('"'), timing
    assert head == model.result_without_timing(), (head, model.result_without_timing())


# Subject texts the planner reads as the lessoncover subject `key` names.
PLANNER_SPELLINGS = {}
for _alias, _display in lessoncover_planner.SUBJECT_ALIASES.items():
    PLANNER_SPELLINGS.setdefault(_display, []).append(_alias)


def planner_subject(key, rng):
    display = SPELLINGS[key]
    choice = rng.randrange(6)
    if choice == 0:
        return f"  {key.upper()}\t"
    if choice == 1:
        return display
    if choice == 2 and display in PLANNER_SPELLINGS:
        return rng.choice(PLANNER_SPELLINGS[display]).title()
    return key


def check_plan_records(planned, head, subject_keys, absences):
    """The plan's records say what its report says, and follow the rules."""
    # The block of missing covers is one line: its line breaks are escaped.
    body, missing = head.rsplit("\n", 1)
    assert body.startswith(reference.HEADER) and body.endswith("\n"), repr(head)
    rows = list(csv.reader(io.StringIO(body[len(reference.HEADER):-1], newline="")))
    covers = planned.covers
    assert [(c.absent, str(c.period), c.subject, c.substitute, c.class_name, c.reason) for c in covers] == \
        [tuple(row) for row in rows], (covers, rows)
    present = sum(1 for name in subject_keys if name not in absences)
    for cover in covers:
        same_subject = SPELLINGS[subject_keys[cover.substitute]] == SPELLINGS[subject_keys[cover.absent]]
        assert cover.rule == ("subject" if same_subject else "any"), cover
        assert cover.substitute not in absences and cover.absent in absences, cover
    assert len(planned.uncovered) == missing.count("Couldnt find a substitution for "), missing
    for lesson in planned.uncovered:
        assert lesson.present_teachers == present, lesson
        assert lesson.busy_teaching + lesson.busy_covering == present, lesson


def test_one_input(data):
    Fuzzer(data).go()


def main():
    if FUZZING:
        # The decoder's branches guide the fuzzer, with the model's; the checks' own would
        # only say that they passed, and instrumenting them halved the programs run.
        for owner in (Fuzzer,):
            for name, value in list(vars(owner).items()):
                if callable(value) and getattr(value, "__module__", None) == __name__:
                    if not isinstance(value, type):
                        setattr(owner, name, atheris.instrument_func(value))
    sys.stderr = QuietPanics(sys.stderr)
    if sys.argv[1:2] == ["--replay"]:
        for path in sys.argv[2:]:
            with open(path, "rb") as f:
                test_one_input(f.read())
            print("ok", path)
        return
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
