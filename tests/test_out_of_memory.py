"""Running out of memory raises MemoryError, and the call leaves its objects as they were.

Each case runs in a child process under an address-space limit (RLIMIT_AS) that leaves
too little room for what one call must allocate: a copy of a long text, the texts of a
class's absent lessons, or the report a generation writes. After the MemoryError the
limit is lifted, and the objects must print as those of a twin that never saw the call
and generate the same report.
"""
import os
import subprocess
import sys
import textwrap

import pytest

resource = pytest.importorskip("resource")

pytestmark = [
    pytest.mark.slow,
    pytest.mark.skipif(bool(os.environ.get("LESSONCOVER_SANITIZED")),
                       reason="ASan's allocator aborts instead of throwing when memory runs out"),
]

CHILD = textwrap.dedent('''
    import resource, sys
    import lessoncover as lc

    MB = 2 ** 20
    LONG = 48 * MB

    def address_space():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmSize:"):
                    return int(line.split()[1]) * 1024
        raise RuntimeError("no VmSize")

    def under_limit(call, room):
        soft, hard = resource.getrlimit(resource.RLIMIT_AS)
        resource.setrlimit(resource.RLIMIT_AS, (address_space() + room, hard))
        try:
            call()
        except MemoryError:
            return "MemoryError"
        finally:
            resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
        return "no error"

    def school_of(teachers, lessons, absent, class_name_of):
        """A school: teachers (name, subject), lessons (teacher, period, class key), classes added."""
        school, made, classes = lc.School(), {}, {}
        for name, subject in teachers:
            made[name] = lc.Teacher(name, subject, name not in absent)
            school.add_teacher(made[name])
        for teacher, period, key in lessons:
            klass = classes.setdefault(key, lc.Class(class_name_of(key)))
            lc.register_period(made[teacher], period, school, klass)
        for klass in classes.values():
            school.add_class(klass)
        return school, made, classes

    def small_day(class_name_of=str):
        teachers = [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "english"), ("Dev", "history"),
                    ("Emil", "maths"), ("Fay", "english"), ("Gus", "history")]
        lessons = [("Asha", p, "10A") for p in range(1, 7)] + [("Ben", 1, "10B"), ("Cleo", 2, "10B"),
                   ("Dev", 3, "10C")]
        return school_of(teachers, lessons, {"Asha"}, class_name_of)

    def state(*objects):
        """What the objects print, then the report of a generation, timing line aside."""
        printed = [str(o) for o in objects]
        report = [o.generate_substitutions().rsplit("\\n", 1)[0] for o in objects if isinstance(o, lc.School)]
        return printed + report

    case = sys.argv[1]
    long_text = "x" * LONG
    room = 16 * MB
    if case == "Teacher()":
        outcome = under_limit(lambda: lc.Teacher(long_text, "maths", True), room)
        after, twin = [str(lc.Teacher("Asha", "maths", True))], [str(lc.Teacher("Asha", "maths", True))]
    elif case == "Class()":
        outcome = under_limit(lambda: lc.Class(long_text), room)
        after, twin = [str(lc.Class("10A"))], [str(lc.Class("10A"))]
    elif case == "add_period":
        def teacher():
            t = lc.Teacher("Asha", "maths", True)
            for period in range(1, 20):  # a set past its direct-search size keeps an index
                t.add_period(period, "10A")
            return t
        subject = teacher()
        outcome = under_limit(lambda: subject.add_period(-200, long_text), room)
        after, twin = state(subject), state(teacher())
    elif case == "reason_of_absentee":
        subject = lc.Teacher("Asha", "maths", False)
        subject.reason_of_absentee = "Sick"
        def assign():
            subject.reason_of_absentee = long_text
        outcome = under_limit(assign, room)
        after, twin = [subject.reason_of_absentee, str(subject)], ["Sick", str(lc.Teacher("Asha", "maths", False))]
    elif case == "add_teacher":
        school = small_day()[0]
        newcomer = lc.Teacher(long_text, "maths", True)
        outcome = under_limit(lambda: school.add_teacher(newcomer), room)
        after, twin = state(school), state(small_day()[0])
    elif case == "add_to_hashmap":
        school = small_day()[0]
        outcome = under_limit(lambda: school.add_to_hashmap(long_text, lc.Teacher("Zed", "maths", True)), room)
        after, twin = state(school), state(small_day()[0])
    elif case == "register_period":
        school, made, classes = small_day()
        long_class = lc.Class(long_text)
        outcome = under_limit(lambda: lc.register_period(made["Ben"], 5, school, long_class), room)
        # the class holds no entry, the teacher's copy no pair
        after = state(school) + [str(long_class) == lc.Class(long_text).__str__()]
        twin = state(small_day()[0]) + [True]
    elif case == "add_class":
        # Each absent lesson keeps its class name twice (the name, and in its report row):
        # six of them take far more than the room left, the class's copy far less.
        school, made, classes = small_day()
        long_class = lc.Class(("y" * 4 * MB))
        for period in range(1, 7):
            lc.register_period(made["Asha"], period + 10, school, long_class)
        outcome = under_limit(lambda: school.add_class(long_class), 24 * MB)
        twin_school, twin_made, _ = small_day()
        for period in range(1, 7):
            lc.register_period(twin_made["Asha"], period + 10, twin_school, lc.Class("y" * 4 * MB))
        after, twin = state(school), state(twin_school)
    elif case == "generate_substitutions":
        # The report, which repeats the long class names, does not fit: nothing is
        # covered. (The covers themselves take a few bytes each: they reach the
        # substitutes' records only when something reads them, as str() does below.)
        def day():
            return small_day(lambda key: key * (2 * MB))[0]
        size = len(day().generate_substitutions())
        school = day()
        outcome = under_limit(lambda: school.generate_substitutions(), size // 2)
        after, twin = state(school), state(day())
    elif case == "str(School)":
        school = small_day(lambda key: key * (4 * MB))[0]
        outcome = under_limit(lambda: str(school), room)
        after, twin = state(school), state(small_day(lambda key: key * (4 * MB))[0])
    else:
        raise SystemExit("unknown case " + case)
    print(outcome)
    print("same" if after == twin else "differs")
''')

CASES = ["Teacher()", "Class()", "add_period", "reason_of_absentee", "add_teacher", "add_to_hashmap",
         "register_period", "add_class", "generate_substitutions", "str(School)"]


@pytest.mark.parametrize("case", CASES)
def test_out_of_memory_raises_and_changes_nothing(case):
    # Large blocks come from mmap and go back to the system when freed, so the limit
    # measures what is in use.
    env = dict(os.environ, MALLOC_MMAP_THRESHOLD_="131072")
    shown = subprocess.run([sys.executable, "-c", CHILD, case], capture_output=True, text=True, env=env,
                           timeout=300)
    assert shown.returncode == 0, f"child ended with {shown.returncode}: {shown.stderr[-2000:]}"
    assert shown.stdout.split() == ["MemoryError", "same"], shown.stdout + shown.stderr[-2000:]
