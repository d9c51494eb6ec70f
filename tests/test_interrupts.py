"""A signal handler that raises stops a long call, and the call changes nothing.

Each case runs in a child process: it installs a SIGALRM handler that raises, arms
ITIMER_REAL at a tenth of the time the call takes when left alone (measured on a twin,
or on a tenth of the input), and makes the call. The handler notes whether the call was
still running when it ran, by trying an object the call holds (refused while it is
borrowed) or, for the companion's plan(), from a profiler that sees the native call begin
and end. So the tests need no clock: a handler run only after the call had finished shows
up as such, and so do covers written or a class added despite the exception.
"""
import json
import subprocess
import sys
import textwrap

import pytest

PRELUDE = textwrap.dedent('''
    import json, signal, sys, time
    from lessoncover import Class, PanicException, School, Teacher, register_period

    SUBJECTS = ("Chemistry", "Physics", "Maths", "Computer", "English", "Biology", "P.E", "Sanskrit",
                "Urdu", "Geography")
    seen = {}

    class Alarm(Exception):
        """What the handler raises."""

    def timed(call):
        started = time.perf_counter()
        result = call()
        return result, time.perf_counter() - started

    def interrupt(call, alone, still_running):
        """Makes the call with SIGALRM due after a tenth of `alone`, the seconds it takes
        when left alone; the handler notes still_running(frame), then raises Alarm."""
        def handler(signum, frame):
            seen["handler ran during the call"] = still_running(frame)
            raise Alarm("from the handler")
        signal.signal(signal.SIGALRM, handler)
        signal.setitimer(signal.ITIMER_REAL, alone / 10)
        try:
            call()
            seen["raised"] = "nothing"
        except Alarm as error:
            seen["raised"] = type(error).__name__
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
            signal.signal(signal.SIGALRM, signal.SIG_DFL)

    def school_held(school, known):
        """True while a call holds `school`; otherwise changes nothing (`known` is filed)."""
        def still_running(frame):
            try:
                school.add_teacher(known)
            except RuntimeError:
                return True
            return False
        return still_running

    def class_held(klass):
        """True while a call holds `klass`; otherwise changes nothing (nobody is filed)."""
        def still_running(frame):
            try:
                register_period(Teacher("Probe", "maths", True), 1, School(), klass)
            except RuntimeError:
                return True
            except PanicException:
                return False
        return still_running

    def without_timing(report):
        return report.rsplit("\\n", 1)[0]

    def day_school(absent=4000, present=400, periods=150, lessons=600_000):
        """One hall where the absent teachers teach in turn over many periods (more than the
        64 planning keeps as bits): generation has much to do, and covers to write."""
        school = School()
        absentees = [Teacher(f"A{i}", "maths", False) for i in range(absent)]
        others = [Teacher(f"P{i}", ("maths", "physics")[i % 2], True) for i in range(present)]
        for teacher in absentees + others:
            school.add_teacher(teacher)
        hall = Class("Hall")
        for i in range(lessons):
            register_period(absentees[i % absent], (i // absent) % periods, school, hall)
        return school, hall, absentees[0]
''')

CASES = {
    "str(Class)": '''
        def entries(calls):
            school = School()
            teachers = [Teacher(f"T{i}", "maths", True) for i in range(1000)]
            for teacher in teachers:
                school.add_teacher(teacher)
            klass = Class("10A")
            for i in range(calls):
                register_period(teachers[i % 1000], 1, school, klass)  # two entries a call
            return klass
        # Printing a tenth of the entries takes a tenth of the time.
        tenth_of_them = entries(50_000)
        _, tenth = timed(lambda: str(tenth_of_them))
        del tenth_of_them
        klass = entries(500_000)
        interrupt(lambda: str(klass), 10 * tenth, class_held(klass))
        seen["unchanged"] = not class_held(klass)(None)  # the borrow was given back
    ''',
    "str(School)": '''
        def big_school(teachers):
            school = School()
            listed = [Teacher(f"T{i:05}", SUBJECTS[i % 10], i % 10 != 3) for i in range(teachers)]
            for teacher in listed:
                school.add_teacher(teacher)
            for c in range(teachers * 3 // 5):
                klass = Class(f"C{c}")
                for period in range(1, 9):
                    register_period(listed[(8 * c + 977 * period) % teachers], period, school, klass)
                school.add_class(klass)
            return school, listed[0]
        small, _ = big_school(2_000)
        _, tenth = timed(lambda: str(small))
        school, known = big_school(20_000)
        interrupt(lambda: str(school), 10 * tenth, school_held(school, known))
        seen["unchanged"] = not school_held(school, known)(None)
    ''',
    "generate_substitutions": '''
        school, hall, known = day_school()
        school.add_class(hall)
        twin, twin_hall, _ = day_school()
        twin.add_class(twin_hall)
        expected, alone = timed(twin.generate_substitutions)
        interrupt(school.generate_substitutions, alone, school_held(school, known))
        # No cover was written: generation plans as on the twin that never saw the call.
        seen["unchanged"] = without_timing(school.generate_substitutions()) == without_timing(expected)
    ''',
    "generate_substitutions, Ctrl-C": '''
        school, hall, known = day_school()
        school.add_class(hall)
        twin, twin_hall, _ = day_school()
        twin.add_class(twin_hall)
        expected, alone = timed(twin.generate_substitutions)
        # What Ctrl-C runs: the interpreter's own SIGINT handler, raising KeyboardInterrupt.
        # (No other thread could send the signal: none runs while the call holds the GIL.)
        signal.signal(signal.SIGALRM, signal.default_int_handler)
        signal.setitimer(signal.ITIMER_REAL, alone / 10)
        try:
            school.generate_substitutions()
            seen["raised"] = "nothing"
        except KeyboardInterrupt as error:
            seen["raised"] = type(error).__name__
        signal.setitimer(signal.ITIMER_REAL, 0)
        # This handler notes nothing; covers written after it ran would show below.
        seen["unchanged"] = without_timing(school.generate_substitutions()) == without_timing(expected)
    ''',
    "add_class": '''
        school, hall, known = day_school(absent=2000, present=0, periods=300)  # 1.2 million entries
        twin, twin_hall, _ = day_school(absent=2000, present=0, periods=300)
        before = str(school)
        _, alone = timed(lambda: twin.add_class(twin_hall))
        interrupt(lambda: school.add_class(hall), alone, school_held(school, known))
        # No lesson to plan, as before the call (asked first: printing the class would be long).
        nothing_to_plan = without_timing(School().generate_substitutions())
        seen["unchanged"] = (without_timing(school.generate_substitutions()) == nothing_to_plan
                             and str(school) == before)
        # Nothing of the class stayed behind: added now, it plans as on the twin.
        school.add_class(hall)
        seen["then as the twin"] = (without_timing(school.generate_substitutions())
                                    == without_timing(twin.generate_substitutions()))
    ''',
    "lessoncover_planner.plan": '''
        from lessoncover_planner import _planner, plan
        teachers = [(f"A{i}", "maths") for i in range(4000)]
        teachers += [(f"P{i}", ("maths", "physics")[i % 2]) for i in range(400)]
        lessons = [(f"A{i % 4000}", (i // 4000) % 150, "Hall") for i in range(600_000)]
        absences = dict.fromkeys((f"A{i}" for i in range(4000)), None)
        expected, alone = timed(lambda: plan(teachers, lessons, absences).report(timing=False))
        in_native_call = [False]
        def profile(frame, event, arg):
            if arg is _planner.plan_day:
                in_native_call[0] = event == "c_call"
        sys.setprofile(profile)
        # Run from the native call itself, not from Python code it calls back.
        interrupt(lambda: plan(teachers, lessons, absences), alone,
                  lambda frame: in_native_call[0] and frame.f_code.co_name == "plan")
        sys.setprofile(None)
        seen["unchanged"] = plan(teachers, lessons, absences).report(timing=False) == expected
    ''',
}


@pytest.mark.parametrize("case", CASES)
def test_a_raising_signal_handler_stops_a_long_call_that_changes_nothing(case):
    code = PRELUDE + textwrap.dedent(CASES[case]) + "\nprint(json.dumps(seen))\n"
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=900)
    assert run.returncode == 0, run.stderr[-3000:]
    seen = json.loads(run.stdout.splitlines()[-1])
    expected = "KeyboardInterrupt" if "Ctrl-C" in case else "Alarm"
    assert seen["raised"] == expected, "the handler's exception did not come from the call"
    assert seen.get("handler ran during the call", True), "the handler ran only once the call had finished"
    assert seen["unchanged"], "the call changed its objects"
    assert seen.get("then as the twin", True), "part of the stopped call stayed behind"


# plan() reads its lists into the native day before planning it. A signal due while it reads
# runs its handler then, from the native call, not once the reading is done. The reading
# keeps every name it has read in a dict of its own, one reference more than before the call:
# the handler counts, from that, how many of the names the call had read when it ran, and
# notes whether the native call was under way (seen by a profiler, as above). Its signal is
# armed when the day's only subject is resolved, the first thing read, and falls due after a
# millisecond of the process's time, early in a reading that takes far longer.
READING = textwrap.dedent('''
    import bisect, json, signal, sys
    from lessoncover_planner import _planner, plan, planning

    class Alarm(Exception):
        """What the handler raises."""

    teachers, lessons, absences, names = DAY
    teachers_before, lessons_before = list(teachers), list(lessons)
    expected = plan(teachers, lessons, absences).report(timing=False)

    def references(index):
        return sys.getrefcount(names[index])

    unread = references(len(names) - 1)
    seen = {}

    in_native_call = [False]
    def profile(frame, event, arg):
        if arg is _planner.plan_day:
            in_native_call[0] = event == "c_call"

    def handler(signum, frame):
        # Run from the native call itself, not from Python code it calls back, nor from
        # the profiler as the call returns.
        seen["in native call"] = in_native_call[0] and frame.f_code.co_name == "plan"
        seen["read"] = bisect.bisect_left(range(len(names)), True, key=lambda i: references(i) == unread)
        seen["of"] = len(names)
        raise Alarm

    resolve = planning.resolve_subject
    def arming_resolve(text):
        signal.setitimer(signal.ITIMER_PROF, 0.001)
        return resolve(text)

    signal.signal(signal.SIGPROF, handler)
    planning.resolve_subject = arming_resolve
    sys.setprofile(profile)
    try:
        plan(teachers, lessons, absences)
        seen["raised"] = "nothing"
    except Alarm:
        seen["raised"] = "Alarm"
    sys.setprofile(None)
    signal.setitimer(signal.ITIMER_PROF, 0)
    planning.resolve_subject = resolve
    seen["unchanged"] = (teachers == teachers_before and lessons == lessons_before
                         and plan(teachers, lessons, absences).report(timing=False) == expected)
    print(json.dumps(seen))
''')

READING_DAYS = {
    # Many teachers, one lesson: the names read are the teachers'.
    "teachers": '''
        teachers = [(f"T{i}", "maths") for i in range(400_000)]
        lessons = [("T0", 1, "10A")]
        DAY = teachers, lessons, {"T0": None}, [name for name, _ in teachers]
    ''',
    # Two teachers, a class a lesson: the names read are the classes'.
    "lessons": '''
        lessons = [("A", i % 8, f"C{i}") for i in range(1_000_000)]
        DAY = [("A", "maths"), ("B", "maths")], lessons, {"A": None}, [name for _, _, name in lessons]
    ''',
}


@pytest.mark.parametrize("reading", READING_DAYS)
def test_a_signal_while_plan_reads_its_lists_runs_its_handler_then(reading):
    code = textwrap.dedent(READING_DAYS[reading]) + READING
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=900)
    assert run.returncode == 0, run.stderr[-3000:]
    seen = json.loads(run.stdout.splitlines()[-1])
    assert seen["raised"] == "Alarm", "the handler's exception did not come from the call"
    assert seen["in native call"], "the handler ran once the native call had finished"
    assert 0 < seen["read"] < seen["of"], f"the handler ran with {seen['read']} of {seen['of']} names read"
    assert seen["unchanged"], "the call changed its lists"
