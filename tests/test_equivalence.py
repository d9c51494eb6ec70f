"""The module against the plain Python model of its API, tests/model/module_api.py.

Random scripts drive both with the same calls: teachers made, changed and given
periods, schools taking teachers and aliases, classes registered (before and
after they are added, against one school or another, in period 0 and negative
periods too) and cover generated, repeatedly.  After every generation the
reports must agree to the byte (the timing line aside), and the school's
teacher list must stand in the same order, with the same periods for every
teacher, as str(school) shows it.
"""
import re

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import lessoncover
from benchmarks import workload
from tests.model import module_api as reference

# Texts with the characters that CSV quoting and the quoted text form treat specially,
# and a few non-ASCII ones whose escaping does not depend on the Unicode version.
ALPHABET = ["a", "b", "B", " ", ",", '"', "\\", "\n", "\r", "\t", "\u00e9", "\u0301", "\u200b"]
TEXTS = st.text(alphabet=st.sampled_from(ALPHABET), max_size=4)
SPELLINGS = ["maths", "Maths", "physics", "BIO", "biology", "art", "finfance", "p.e", "hindi", "urdu"]
PERIODS = st.one_of(
    st.integers(min_value=-2, max_value=9),
    st.sampled_from([-32768, -65, -64, -1, 62, 63, 64, 65, 1000, 32767]),
)
OPERATIONS = (
    ["teacher"] * 4 + ["add_teacher"] * 4 + ["alias"] + ["class"] * 2 + ["register"] * 10
    + ["add_class"] * 3 + ["generate"] + ["change_teacher"] + ["add_period"]
)


def without_timing(result):
    return result.rsplit("\n", 1)[0]


_PAIR = re.compile(r" {20}(-?\d+),\n {20}(\".*\"),\n {16}\),?\n")


def listed_teachers(school):
    """(quoted name, set of (period, quoted grade)) of each teacher, in list order."""
    text = str(school)
    assert text.startswith("List of teachers: ")
    section = text[len("List of teachers: "):text.index("\nList of classes:")]
    teachers = []
    for block in section.split("\n    Mutex {\n")[1:] if section != "[]" else []:
        name = re.search(r"^ {12}name: (\".*\"),$", block, re.M).group(1)
        periods = {(int(p), g) for p, g in _PAIR.findall(block)}
        teachers.append((name, periods))
    return teachers


def reference_teachers(school):
    return [(reference.quoted(t.name), {(p, reference.quoted(g)) for p, g in t.periods})
            for t in school.teachers]


def assert_same(ours, theirs):
    assert without_timing(ours.generate_substitutions()) == without_timing(theirs.generate_substitutions())
    assert listed_teachers(ours) == reference_teachers(theirs)


def pick(data, items):
    return items[data.draw(st.integers(min_value=0, max_value=len(items) - 1))]


def add_teacher_pair(ours, theirs, name, sub, present):
    """A teacher of each implementation, added to its school; gives the pair."""
    pair = (lessoncover.Teacher(name, sub, present), reference.Teacher(name, sub, present))
    ours.add_teacher(pair[0])
    theirs.add_teacher(pair[1])
    return pair


def add_class_pair(ours, theirs, name, lessons):
    """A class of each implementation with `lessons`, (teacher pair, period) in order,
    registered and the class added to its school."""
    c_ours, c_theirs = lessoncover.Class(name), reference.Class(name)
    for (t_ours, t_theirs), period in lessons:
        lessoncover.register_period(t_ours, period, ours, c_ours)
        reference.register_period(t_theirs, period, theirs, c_theirs)
    ours.add_class(c_ours)
    theirs.add_class(c_theirs)


@settings(max_examples=400, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.data())
def test_random_scripts_agree_with_the_reference(data):
    schools = [(lessoncover.School(), reference.School())
               for _ in range(data.draw(st.integers(min_value=1, max_value=2)))]
    teachers = []
    classes = []
    for _ in range(data.draw(st.integers(min_value=1, max_value=80))):
        operation = data.draw(st.sampled_from(OPERATIONS))
        if operation == "teacher":
            name, sub = data.draw(TEXTS), data.draw(st.sampled_from(SPELLINGS))
            present = data.draw(st.booleans(), label="present")
            pair = (lessoncover.Teacher(name, sub, present), reference.Teacher(name, sub, present))
            if not present and data.draw(st.booleans()):
                reason = data.draw(TEXTS)
                for t in pair:
                    t.reason_of_absentee = reason
            teachers.append(pair)
        elif operation == "add_teacher" and teachers:
            ours, theirs = pick(data, schools)
            t_ours, t_theirs = pick(data, teachers)
            ours.add_teacher(t_ours)
            theirs.add_teacher(t_theirs)
        elif operation == "alias" and teachers:
            ours, theirs = pick(data, schools)
            t_ours, t_theirs = pick(data, teachers)
            name = t_ours.name if data.draw(st.booleans()) else data.draw(TEXTS)
            ours.add_to_hashmap(name, t_ours)
            theirs.add_to_hashmap(name, t_theirs)
        elif operation == "class":
            name = data.draw(TEXTS)
            classes.append((lessoncover.Class(name), reference.Class(name)))
        elif operation == "register" and teachers and classes:
            ours, theirs = pick(data, schools)
            t_ours, t_theirs = pick(data, teachers)
            c_ours, c_theirs = pick(data, classes)
            period = data.draw(PERIODS)
            outcome = []
            for call, exception in ((lambda: lessoncover.register_period(t_ours, period, ours, c_ours),
                                     lessoncover.PanicException),
                                    (lambda: reference.register_period(t_theirs, period, theirs, c_theirs),
                                     reference.PanicException)):
                try:
                    call()
                    outcome.append("registered")
                except exception:
                    outcome.append("not found")
            assert outcome[0] == outcome[1]
        elif operation == "add_class" and classes:
            ours, theirs = pick(data, schools)
            c_ours, c_theirs = pick(data, classes)
            ours.add_class(c_ours)
            theirs.add_class(c_theirs)
        elif operation == "generate":
            assert_same(*pick(data, schools))
        elif operation == "change_teacher" and teachers:
            t_ours, t_theirs = pick(data, teachers)
            present = data.draw(st.booleans())
            reason = data.draw(TEXTS)
            for t in (t_ours, t_theirs):
                t.present = present
                t.reason_of_absentee = reason
        elif operation == "add_period" and teachers:
            t_ours, t_theirs = pick(data, teachers)
            period, grade = data.draw(PERIODS), data.draw(TEXTS)
            t_ours.add_period(period, grade)
            t_theirs.add_period(period, grade)
    for ours, theirs in schools:
        assert listed_teachers(ours) == reference_teachers(theirs)
        assert_same(ours, theirs)
        assert_same(ours, theirs)  # covers of the first run shape the second


@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.data())
def test_many_teachers_of_one_subject_agree(data):
    """Long runs of equal counts move teachers far in their subject's order."""
    ours, theirs = lessoncover.School(), reference.School()
    size = data.draw(st.integers(min_value=1, max_value=400))
    absent = data.draw(st.sets(st.integers(min_value=0, max_value=size - 1), max_size=size // 2 + 1))
    pairs = [add_teacher_pair(ours, theirs, "T%d" % i, "maths", i not in absent) for i in range(size)]
    for k in range(data.draw(st.integers(min_value=1, max_value=30))):
        lessons = [(pick(data, pairs), data.draw(st.sampled_from([0, 1, 2, 3, 70, -5])))
                   for _ in range(data.draw(st.integers(min_value=0, max_value=12)))]
        add_class_pair(ours, theirs, "C%d" % k, lessons)
        assert listed_teachers(ours) == reference_teachers(theirs)
    assert_same(ours, theirs)
    assert_same(ours, theirs)


@pytest.mark.parametrize("periods", [8, 12, 40])
def test_pools_of_several_words_agree(periods):
    """Subject pools of more than one word of members, ending part way through a word, with
    lessons in up to 8 periods (busy periods gathered a byte a member) and in more."""
    import random

    draw = random.Random(periods)
    ours, theirs = lessoncover.School(), reference.School()
    pairs = [add_teacher_pair(ours, theirs, "T%d" % i, "maths" if i % 3 else "art", i % 4 != 0) for i in range(230)]
    for k in range(80):
        add_class_pair(ours, theirs, "C%d" % k, [(pair, draw.randrange(periods)) for pair in draw.sample(pairs, 20)])
    assert_same(ours, theirs)
    assert_same(ours, theirs)  # with the first run's covers


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.data())
def test_many_distinct_counts_agree(data):
    """Teachers spread over more counts than the list walks side by side at once, added
    and given lessons in a drawn order, some after they were last sorted."""
    ours, theirs = lessoncover.School(), reference.School()
    size = data.draw(st.integers(min_value=20, max_value=70))
    pairs = []
    for i in range(size):
        present = data.draw(st.booleans()) or i % 5 != 0
        subject = ["maths", "art", "hindi"][i % 3]
        pairs.append((lessoncover.Teacher("T%d" % i, subject, present),
                      reference.Teacher("T%d" % i, subject, present)))
    lessons = [(i, period) for i in range(size) for period in range(data.draw(st.integers(0, 45)))]
    lessons = data.draw(st.permutations(lessons))
    added = 0
    for k, start in enumerate(range(0, len(lessons), 40)):
        # Teachers join between classes, so some are sorted in late with their counts.
        target = min(size, added + data.draw(st.integers(min_value=1, max_value=size)))
        for t_ours, t_theirs in pairs[added:target]:
            ours.add_teacher(t_ours)
            theirs.add_teacher(t_theirs)
        added = target
        registered = [(pairs[i], period) for i, period in lessons[start:start + 40] if i < added]
        add_class_pair(ours, theirs, "C%d" % k, registered)
    for t_ours, t_theirs in pairs[added:]:
        ours.add_teacher(t_ours)
        theirs.add_teacher(t_theirs)
    assert listed_teachers(ours) == reference_teachers(theirs)
    assert_same(ours, theirs)
    assert_same(ours, theirs)


@pytest.mark.parametrize("seed", range(6))
def test_benchmark_workload_agrees(seed):
    plan = workload.make_workload(120, seed)
    ours = workload.run_pipeline(lessoncover, plan)
    theirs = workload.run_pipeline(reference, plan)
    assert without_timing(ours.result) == without_timing(theirs.result)


@pytest.mark.parametrize("long_name", [
    "x" * 10,                  # short names, kept in the list's entries
    "x" * 21,                  # names of 24 and 25 bytes, on either side of those kept in the list
    "x" * 70,                  # a long name, read from the store
    'A "quoted", long name ' * 8,
    "Zoë Ångström " * 6,       # not ASCII, and long
    "Zoë",                     # not ASCII, short
])
def test_reports_agree_whatever_the_longest_name(long_name):
    """However long the longest name of the list, every report row gets its name whole."""
    ours, theirs = lessoncover.School(), reference.School()
    names = ["Asha", "Ben, Jr.", long_name + ",", 'Dev "D"', "Émile"]
    pairs = [add_teacher_pair(ours, theirs, "%s %d" % (name, i), "maths", i % 4 != 0)
             for i, name in enumerate(names * 3)]
    for k in range(4):
        add_class_pair(ours, theirs, "C%d" % k, [(pair, k + 1) for i, pair in enumerate(pairs) if (i + k) % 3 == 0])
    assert_same(ours, theirs)
