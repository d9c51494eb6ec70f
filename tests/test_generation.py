"""School.generate_substitutions(): the cover report, the missing covers and the timing line.

The result is the report text, a line break, the missing-cover text in quoted
form, a line break and the timing text in quoted form.  Report rows are CSV
(fields quoted only when they need it).  Within one class each absent
(teacher record, period) lesson is handled exactly once: a free subject
colleague with the fewest periods, else the first free present teacher of
the school, else one missing-cover line.
"""
import csv
import io
import re
import sys

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from tests.model import module_api as reference
from tests.model.texts import HEADER, NOT_FOUND, quoted
from lessoncover import Class, School, Teacher, register_period

HEADER_FIELDS = ["Teacher", "Period", "Subject", "Substitution", "Classroom", "Reason"]
TIMING = re.compile(
    r'"Time taken to generate subs: (?:'
    r"(?:0|[1-9]\d{0,2})ns"
    r"|[1-9]\d{0,2}(?:\.\d{0,2}[1-9])?µs"
    r"|[1-9]\d{0,2}(?:\.\d{0,5}[1-9])?ms"
    r'|[1-9]\d*(?:\.\d{0,8}[1-9])?s)"'
)
_ESCAPE = re.compile(r"\\(?:u\{([0-9a-f]+)\}|(.))", re.S)
_SIMPLE = {"\\": "\\", '"': '"', "n": "\n", "t": "\t", "r": "\r", "0": "\0"}


def unquote(text):
    assert len(text) >= 2 and text[0] == '"' and text[-1] == '"', text
    body = _ESCAPE.sub(lambda m: chr(int(m[1], 16)) if m[1] else _SIMPLE[m[2]], text[1:-1])
    assert quoted(body) == text, "not in the quoted text form: %r" % text
    return body


def split(result):
    """(report text, missing-cover text, quoted timing line) of a result."""
    assert isinstance(result, str)
    report, missing, timing = result.rsplit("\n", 2)
    assert report.startswith(HEADER) and report.endswith("\n")
    assert TIMING.fullmatch(timing), timing
    return report, unquote(missing), timing


def run(school):
    report, missing, _timing = split(school.generate_substitutions())
    return report, missing


def teacher(name, sub="maths", present=True, reason=None, periods=()):
    t = Teacher(name, sub, present)
    if reason is not None:
        t.reason_of_absentee = reason
    for period, grade in periods:
        t.add_period(period, grade)
    return t


def school_of(*teachers):
    school = School()
    for t in teachers:
        school.add_teacher(t)
    return school


def lessons(school, klass, t, *periods):
    for period in periods:
        register_period(t, period, school, klass)


def one_class(school, name, *plan):
    """Register (teacher, period) pairs in a new class and add it to the school."""
    klass = Class(name)
    for t, period in plan:
        register_period(t, period, school, klass)
    school.add_class(klass)
    return klass


def missing_line(name, period, class_name):
    return "Couldnt find a substitution for %s at %d-%s\n" % (name, period, quoted(class_name))


# --- nothing to cover ---------------------------------------------------------

def _empty():
    return School()


def _all_present():
    mo, nia = teacher("Mo"), teacher("Nia", "english")
    s = school_of(mo, nia)
    one_class(s, "10A", (mo, 1), (nia, 2))
    return s


def _absent_without_classes():
    return school_of(teacher("Asha", present=False), teacher("Mo"))


def _empty_class():
    s = school_of(teacher("Asha", present=False), teacher("Mo"))
    s.add_class(Class("10A"))
    return s


def _class_not_handed_over():
    asha = teacher("Asha", present=False)
    s = school_of(asha, teacher("Mo"))
    lessons(s, Class("10A"), asha, 1, 2)
    return s


def _absent_without_lessons():
    mo = teacher("Mo")
    s = school_of(teacher("Asha", present=False), mo)
    one_class(s, "10A", (mo, 1))
    return s


@pytest.mark.parametrize("build", [_empty, _all_present, _absent_without_classes, _empty_class,
                                   _class_not_handed_over, _absent_without_lessons])
def test_nothing_to_cover_gives_four_lines(build):
    result = build().generate_substitutions()
    lines = result.split("\n")
    assert len(lines) == 4 and not result.endswith("\n")
    assert lines[0] == HEADER.rstrip("\n")
    assert lines[1] == ""
    assert lines[2] == '""'
    assert TIMING.fullmatch(lines[3])


# --- choosing among subject colleagues ------------------------------------------

def test_colleague_with_fewest_periods_covers():
    asha = teacher("Asha", present=False)
    s = school_of(asha, teacher("Mo", periods=[(5, "9B"), (6, "9B")]),
                  teacher("Nia", periods=[(6, "9C")]), teacher("Eli", "english"))
    one_class(s, "10A", (asha, 1))
    assert run(s) == (HEADER + "Asha,1,Maths,Nia,10A,Planned Absense\n", "")


@pytest.mark.parametrize("first, second", [("Pat", "Quin"), ("Quin", "Pat")])
def test_equal_counts_go_to_the_earlier_teacher(first, second):
    asha = teacher("Asha", present=False, reason="Sick")
    s = school_of(teacher(first), teacher(second), asha)
    one_class(s, "10A", (asha, 1))
    assert run(s) == (HEADER + "Asha,1,Maths,%s,10A,Sick\n" % first, "")


def test_equal_counts_follow_the_sorted_teacher_list():
    pat, quin = teacher("Pat", periods=[(7, "X")]), teacher("Quin")
    asha = teacher("Asha", present=False)
    s = school_of(pat, quin, asha)
    one_class(s, "10A", (asha, 1))          # the sort puts Quin (0 periods) before Pat (1)
    lessons(s, Class("9B"), quin, 6)        # now both have one period
    assert run(s) == (HEADER + "Asha,1,Maths,Quin,10A,Planned Absense\n", "")


def test_covers_made_earlier_in_the_run_count_within_a_class():
    asha = teacher("Asha", present=False)
    s = school_of(teacher("Mo"), teacher("Nia"), asha)
    one_class(s, "10A", (asha, 1), (asha, 2))
    assert run(s) == (HEADER + "Asha,1,Maths,Mo,10A,Planned Absense\n"
                      "Asha,2,Maths,Nia,10A,Planned Absense\n", "")


def test_covers_made_earlier_in_the_run_count_across_classes():
    asha, ben = teacher("Asha", present=False), teacher("Ben", present=False)
    s = school_of(teacher("Mo"), teacher("Nia"), asha, ben)
    one_class(s, "10A", (asha, 1))
    one_class(s, "10B", (ben, 2))
    assert run(s) == (HEADER + "Asha,1,Maths,Mo,10A,Planned Absense\n"
                      "Ben,2,Maths,Nia,10B,Planned Absense\n", "")


def test_colleague_teaching_the_period_in_another_grade_is_busy():
    asha = teacher("Asha", present=False)
    s = school_of(asha, teacher("Mo", periods=[(3, "9B")]),
                  teacher("Nia", periods=[(1, "9C"), (2, "9C")]))
    one_class(s, "10A", (asha, 3))
    assert run(s) == (HEADER + "Asha,3,Maths,Nia,10A,Planned Absense\n", "")


def test_teaching_another_period_of_the_same_class_is_not_busy():
    asha, mo = teacher("Asha", present=False), teacher("Mo")
    s = school_of(asha, mo, teacher("Nia", periods=[(1, "9C"), (4, "9C")]))
    one_class(s, "10A", (mo, 2), (asha, 3))
    assert run(s) == (HEADER + "Asha,3,Maths,Mo,10A,Planned Absense\n", "")


@pytest.mark.parametrize("extra, second_row, missing", [
    (lambda: teacher("Nia", periods=[(5, "X")]), "Ben,2,Maths,Nia,10B,Planned Absense\n", ""),
    (lambda: teacher("Eli", "english"), "Ben,2,Maths,Eli,10B,Planned Absense\n", ""),
    (lambda: teacher("Eli", "english", periods=[(2, "9C")]), "", missing_line("Ben", 2, "10B")),
], ids=["next-colleague", "any-subject", "nobody"])
def test_two_absentees_compete_for_one_colleague(extra, second_row, missing):
    asha, ben = teacher("Asha", present=False), teacher("Ben", present=False)
    s = school_of(asha, ben, teacher("Mo"), extra())
    k1, k2 = Class("10A"), Class("10B")
    lessons(s, k2, ben, 2)                  # registered first, but its class comes second
    lessons(s, k1, asha, 2)
    s.add_class(k1)
    s.add_class(k2)
    assert run(s) == (HEADER + "Asha,2,Maths,Mo,10A,Planned Absense\n" + second_row, missing)


@pytest.mark.parametrize("busy_colleague", [False, True])
def test_subject_without_free_colleague_falls_back_to_first_free_teacher(busy_colleague):
    xan = teacher("Xan", "physics", present=False, reason="Sick")
    staff = [teacher("Gia", "history", periods=[(4, "9B")]), teacher("Ola", "english", False),
             teacher("Hal", "english"), teacher("Ivy", "maths"), xan]
    if busy_colleague:
        staff.append(teacher("Pia", "physics", periods=[(4, "9C")]))
    s = school_of(*staff)
    one_class(s, "10A", (xan, 4))
    assert run(s) == (HEADER + "Xan,4,Physics,Hal,10A,Sick\n", "")


def test_registration_after_add_class_only_makes_the_teacher_busy():
    asha, mo = teacher("Asha", present=False), teacher("Mo")
    s = school_of(asha, mo, teacher("Nia", periods=[(9, "X")]))
    klass = one_class(s, "10A", (asha, 1))
    lessons(s, klass, asha, 2)
    lessons(s, Class("9B"), mo, 1)
    assert run(s) == (HEADER + "Asha,1,Maths,Nia,10A,Planned Absense\n", "")


# --- missing covers -------------------------------------------------------------

def test_missing_cover_line_escapes_the_class_name_twice():
    asha = teacher("Asha", present=False)
    s = school_of(asha, teacher("Mo", periods=[(3, "9B")]))
    one_class(s, 'R"1\\2', (asha, 3))
    result = s.generate_substitutions()
    assert result.split("\n")[:3] == [HEADER.rstrip("\n"), "",
                                      r'"Couldnt find a substitution for Asha at 3-\"R\\\"1\\\\2\"\n"']
    assert split(result)[1] == 'Couldnt find a substitution for Asha at 3-"R\\"1\\\\2"\n'


def test_missing_cover_line_writes_the_name_plain_and_negative_periods():
    dev = teacher('Dev "D", Jr\\', present=False)
    s = school_of(dev)
    one_class(s, "10A", (dev, -1))
    result = s.generate_substitutions()
    assert result.split("\n")[2] == r'"Couldnt find a substitution for Dev \"D\", Jr\\ at -1-\"10A\"\n"'
    assert run(s)[1] == 'Couldnt find a substitution for Dev "D", Jr\\ at -1-"10A"\n'


# --- each absent lesson of a class is handled once ------------------------------

@pytest.mark.parametrize("with_fallback", [True, False])
def test_covered_teacher_still_gets_a_cover_for_a_later_lesson(with_fallback):
    asha = teacher("Asha", present=False)
    staff = [asha, teacher("Mo", periods=[(2, "9B")])]
    if with_fallback:
        staff.append(teacher("Eli", "english"))
    s = school_of(*staff)
    one_class(s, "10A", (asha, 1), (asha, 2))
    first = "Asha,1,Maths,Mo,10A,Planned Absense\n"
    if with_fallback:
        assert run(s) == (HEADER + first + "Asha,2,Maths,Eli,10A,Planned Absense\n", "")
    else:
        assert run(s) == (HEADER + first, missing_line("Asha", 2, "10A"))


def test_period_zero_goes_to_subject_colleagues_first():
    asha = teacher("Asha", present=False)
    s = school_of(teacher("Eli", "english"), teacher("Mo"), asha)
    one_class(s, "10A", (asha, 0))
    assert run(s) == (HEADER + "Asha,0,Maths,Mo,10A,Planned Absense\n", "")


@pytest.mark.parametrize("period", [3, 0])
@pytest.mark.parametrize("registrations", [1, 2])
def test_uncovered_lesson_is_reported_once(period, registrations):
    asha = teacher("Asha", present=False)
    s = school_of(asha, teacher("Mo", periods=[(period, "9B")]))
    one_class(s, "10A", *[(asha, period)] * registrations)
    assert run(s) == (HEADER, missing_line("Asha", period, "10A"))


def test_each_class_handles_its_lessons_afresh():
    asha = teacher("Asha", present=False)
    s = school_of(asha, teacher("Mo"))
    one_class(s, "10A", (asha, 3))
    one_class(s, "10B", (asha, 3))
    assert run(s) == (HEADER + "Asha,3,Maths,Mo,10A,Planned Absense\n",
                      missing_line("Asha", 3, "10B"))


def test_an_alias_record_is_a_different_teacher_even_with_the_same_name():
    xan = teacher("Xan", present=False)
    s = school_of(xan, teacher("Mo"), teacher("Nia"))
    klass = Class("10A")
    lessons(s, klass, xan, 2)                                       # the add_teacher copy
    s.add_to_hashmap("Xan", teacher("Xan", present=False, reason="Sick"))
    lessons(s, klass, xan, 2)                                       # now the alias record
    s.add_class(klass)
    assert run(s) == (HEADER + "Xan,2,Maths,Mo,10A,Planned Absense\n"
                      "Xan,2,Maths,Nia,10A,Sick\n", "")


@pytest.mark.parametrize("mo_busy", [False, True])
def test_alias_whose_subject_nobody_teaches_falls_back(mo_busy):
    s = school_of(teacher("Mo", periods=[(1, "9B")] if mo_busy else []))
    s.add_to_hashmap("Cover", teacher("Zed", "history", present=False, reason="Course"))
    s.add_to_hashmap("Here", teacher("Yan", "history", present=True))
    one_class(s, "10A", (teacher("Cover"), 1), (teacher("Here"), 2))
    if mo_busy:
        assert run(s) == (HEADER, missing_line("Zed", 1, "10A"))
    else:
        assert run(s) == (HEADER + "Zed,1,History,Mo,10A,Course\n", "")


def test_class_registered_against_another_school():
    zed, ula = teacher("Zed", "history", False), teacher("Ula", "maths", False)
    other = school_of(zed, ula)
    klass = Class("10A")
    lessons(other, klass, zed, 1)
    lessons(other, klass, ula, 2)
    s = school_of(teacher("Eli", "english"), teacher("Mo"))
    s.add_class(klass)
    assert run(s) == (HEADER + "Zed,1,History,Eli,10A,Planned Absense\n"
                      "Ula,2,Maths,Mo,10A,Planned Absense\n", "")
    assert run(other) == (HEADER, "")


# --- CSV rows ---------------------------------------------------------------------

def test_report_fields_are_quoted_only_when_needed():
    smith = teacher("Smith, J", present=False, reason="Exam duty, off site")
    ab = teacher("a\nb", "english", False, reason="x\ry")
    s = school_of(smith, ab, teacher('He said "no"'), teacher("Eve", "english"))
    one_class(s, "Room 1, East", (smith, 1), (ab, 2))
    report, missing = run(s)
    assert missing == ""
    assert report == (HEADER + '"Smith, J",1,Maths,"He said ""no""","Room 1, East","Exam duty, off site"\n'
                      '"a\nb",2,English,Eve,"Room 1, East","x\ry"\n')
    rows = list(csv.reader(io.StringIO(report, newline="")))
    assert rows == [HEADER_FIELDS,
                    ["Smith, J", "1", "Maths", 'He said "no"', "Room 1, East", "Exam duty, off site"],
                    ["a\nb", "2", "English", "Eve", "Room 1, East", "x\ry"]]


def test_plain_fields_stay_unquoted():
    kim = teacher("Kim O'Neil", "p.e", False, reason=" away; back 'soon' ")
    s = school_of(kim, teacher("Li\\Wu", "P.E"))
    one_class(s, "Year 7 (blue)", (kim, -2))
    assert run(s)[0] == HEADER + "Kim O'Neil,-2,PhysicalEdu,Li\\Wu,Year 7 (blue), away; back 'soon' \n"


@pytest.mark.parametrize("where", [None, "substitute", "absent", "class", "reason", "missing"])
@pytest.mark.parametrize("lessons_count", [1, 3000, 30000])  # the last takes milliseconds
def test_report_text_is_a_sound_str(where, lessons_count):
    """One non-ASCII character anywhere in the report gives the same text, and the str
    knows whether it is ASCII."""
    def text(plain, kind):
        return plain + "\u00e9" if where == kind else plain
    absent = teacher(text("Asha", "absent"), present=False, reason=text("Sick", "reason"))
    mo = teacher(text("Mo", "substitute"))
    staff = [mo] + [teacher("Sub%d" % i) for i in range(min(lessons_count, 100))]
    nia = teacher(text("Nia", "missing"), "english", False)
    s = school_of(absent, *staff, nia)
    one_class(s, "Staff room", *[(t, -5) for t in staff])   # nobody is free in period -5
    class_name = text("10A", "class")
    one_class(s, class_name, *[(absent, period) for period in range(lessons_count)], (nia, -5))
    result = s.generate_substitutions()
    assert result.isascii() == all(ord(c) < 128 for c in result)
    assert result.encode("utf-8").decode("utf-8") == result
    report, missing, _timing = split(result)
    rows = list(csv.reader(io.StringIO(report, newline="")))[1:]
    assert len(rows) == lessons_count
    assert rows[0] == [absent.name, "0", "Maths", mo.name, class_name, absent.reason_of_absentee]
    assert missing == missing_line(nia.name, -5, class_name)


def test_reports_around_a_millisecond_are_sound_strs():
    """Runs on either side of a millisecond (about 7,000 lessons here) write their timing
    line in ms or in µs, which alone makes an ASCII report Latin-1: the text is sound and
    the str knows whether it is ASCII either way."""
    absent = teacher("Asha", present=False)
    staff = [teacher("Sub%d" % i) for i in range(100)]
    for lessons_count in range(5000, 9001, 250):
        s = school_of(absent, *staff)
        one_class(s, "Staff room", *[(t, -5) for t in staff])
        one_class(s, "10A", *[(absent, period) for period in range(lessons_count)])
        result = s.generate_substitutions()
        assert result.isascii() == all(ord(c) < 128 for c in result)
        report, missing, _timing = split(result)
        assert report.count("\n") == lessons_count + 1 and missing == ""


@pytest.mark.parametrize("substitute, widest_of_rows", [
    ("Mo", 0x7F), ("Zo\u00eb", 0xFF), ("\u00c5sa \u0100", 0x100), ("Li \U0001F600", 0x1F600)])
@pytest.mark.parametrize("lessons_count", [1, 30000])  # a timing line in µs, then in ms
def test_report_str_is_of_the_narrowest_kind(substitute, widest_of_rows, lessons_count):
    """The report's str is the kind its widest character needs: an ASCII report with its
    timing in µs is a Latin-1 str, as the same text decoded afresh is."""
    absent = teacher("Asha", present=False)
    mo = teacher(substitute)
    s = school_of(absent, mo)
    one_class(s, "10A", *[(absent, period) for period in range(lessons_count)])
    result = s.generate_substitutions()
    _report, _missing, timing = split(result)
    def kind(code_point):  # the bytes a character a str of it takes, ASCII apart
        return 0 if code_point < 0x80 else 1 if code_point < 0x100 else 2 if code_point < 0x10000 else 4
    widest = max(map(ord, result))
    assert kind(widest) == max(kind(widest_of_rows), kind(max(map(ord, timing))))
    assert result.isascii() == (widest < 0x80)
    fresh = result.encode("utf-8").decode("utf-8")
    assert result == fresh and hash(result) == hash(fresh)
    assert sys.getsizeof(result) == sys.getsizeof(fresh)  # the same kind of str


# --- state kept between runs ----------------------------------------------------

def test_a_second_call_sees_the_covers_of_the_first():
    asha = teacher("Asha", present=False)
    s = school_of(teacher("Mo"), teacher("Nia"), teacher("Eli", "english"), asha)
    one_class(s, "10A", (asha, 1))
    row = "Asha,1,Maths,%s,10A,Planned Absense\n"
    assert run(s) == (HEADER + row % "Mo", "")
    assert run(s) == (HEADER + row % "Nia", "")
    assert run(s) == (HEADER + row % "Eli", "")
    assert run(s) == (HEADER, missing_line("Asha", 1, "10A"))


def test_later_calls_build_on_earlier_covers():
    asha, ben = teacher("Asha", present=False), teacher("Ben", present=False)
    s = school_of(teacher("Mo", periods=[(8, "X")]), teacher("Nia", periods=[(1, "X")]),
                  teacher("Eli", "english"), asha, ben)
    one_class(s, "10A", (asha, 1))
    assert run(s) == (HEADER + "Asha,1,Maths,Mo,10A,Planned Absense\n", "")
    one_class(s, "10B", (ben, 2))               # Mo now has two periods, Nia one
    assert run(s) == (HEADER + "Asha,1,Maths,Eli,10A,Planned Absense\n"
                      "Ben,2,Maths,Nia,10B,Planned Absense\n", "")


# --- timing line --------------------------------------------------------------------

def test_timing_line_shape():
    big = School()
    staff = [teacher("T%d" % i, ["maths", "english", "bio"][i % 3], i % 4 != 0) for i in range(60)]
    for t in staff:
        big.add_teacher(t)
    for c in range(20):
        one_class(big, "C%d" % c, *[(staff[(c * 7 + i) % 60], i % 8) for i in range(16)])
    for school in (School(), big):
        result = school.generate_substitutions()
        timing = result.rsplit("\n", 1)[1]
        assert TIMING.fullmatch(timing), timing
        assert unquote(timing).startswith("Time taken to generate subs: ")


# --- the module against a plain model -----------------------------------------------

NAME_POOL = ["Asha", "Ben", "Chen, D", 'Dev "D"', "Eve\nF", "Gus\\", "Ana\u0301", "Zo\u200be"]
CLASS_POOL = ["10A", "9B", 'R"1', "Lab\\2", "Room 1, East", "x\ry", "Se\u0301"]
REASON_POOL = [None, "Sick", "Exam duty, off site", 'He said "no"', "a\nb", ""]
SPELLING_POOL = ["maths", "PHYSICS", "Bio", "p.e", "finfance", "Art", "geography"]
PERIODS = st.integers(-2, 4)
MOSTLY = st.sampled_from([True, True, True, False])
OPS = ["register"] * 6 + ["add_teacher"] * 2 + ["add_class"] * 2 + ["alias", "flip", "generate"]


def expect_panic(call):
    with pytest.raises(BaseException) as caught:
        call()
    assert type(caught.value).__name__ == "PanicException"
    assert not isinstance(caught.value, Exception)
    assert str(caught.value) == NOT_FOUND


def check_same_result(real, model):
    result = real.generate_substitutions()
    head, timing = result.rsplit("\n", 1)
    assert TIMING.fullmatch(timing), timing
    assert head == model.result_without_timing()


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.data())
def test_generation_matches_the_model(data):
    draw = data.draw
    subjects = draw(st.lists(st.sampled_from(SPELLING_POOL), min_size=1, max_size=3, unique=True))
    real, model = School(), reference.School()
    teachers = []
    for _ in range(draw(st.integers(1, 6))):
        name, sub = draw(st.sampled_from(NAME_POOL)), draw(st.sampled_from(subjects))
        present = draw(st.booleans())
        pair = (Teacher(name, sub, present), reference.Teacher(name, sub, present))
        reason = draw(st.sampled_from(REASON_POOL))
        if reason is not None:
            pair[0].reason_of_absentee = pair[1].reason_of_absentee = reason
        for period, grade in draw(st.lists(st.tuples(PERIODS, st.sampled_from(CLASS_POOL)), max_size=2)):
            pair[0].add_period(period, grade)
            pair[1].add_period(period, grade)
        teachers.append(pair)
        if draw(MOSTLY):
            real.add_teacher(pair[0])
            model.add_teacher(pair[1])
    classes = [(Class(n), reference.Class(n))
               for n in draw(st.lists(st.sampled_from(CLASS_POOL), min_size=1, max_size=3))]
    if draw(st.integers(0, 9)) == 0:
        classes = []
    generated = 0
    for _ in range(draw(st.integers(0, 25))):
        op = draw(st.sampled_from(OPS))
        if op == "register" and classes:
            name = draw(st.sampled_from(sorted(model.by_name) * 4 + ["Nobody"]))
            (real_class, model_class), period = draw(st.sampled_from(classes)), draw(PERIODS)
            bearer = Teacher(name, "maths", True)   # only the name is read
            if name in model.by_name:
                register_period(bearer, period, real, real_class)
                reference.register_period(reference.Teacher(name, "maths", True), period, model,
                                          model_class)
            else:
                expect_panic(lambda: register_period(bearer, period, real, real_class))
        elif op == "add_teacher":
            real_t, model_t = draw(st.sampled_from(teachers))
            real.add_teacher(real_t)
            model.add_teacher(model_t)
        elif op == "add_class" and classes:
            real_class, model_class = draw(st.sampled_from(classes))
            real.add_class(real_class)
            model.add_class(model_class)
        elif op == "alias":
            key = draw(st.sampled_from(NAME_POOL + ["Cover"]))
            real_t, model_t = draw(st.sampled_from(teachers))
            real.add_to_hashmap(key, real_t)
            model.add_to_hashmap(key, model_t)
        elif op == "flip":
            real_t, model_t = draw(st.sampled_from(teachers))
            real_t.present = model_t.present = draw(st.booleans())
        elif op == "generate" and generated == 0:
            check_same_result(real, model)
            generated += 1
    for real_class, model_class in classes:
        if draw(MOSTLY):
            real.add_class(real_class)
            model.add_class(model_class)
    check_same_result(real, model)
