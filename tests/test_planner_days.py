"""Small days worked out by hand: who covers by which rule, what the uncovered lessons count,
and how subjects outside lessoncover's twenty and their aliases are planned and shown."""
import csv
import io

import pytest

from lessoncover_planner import Cover, Uncovered, plan

SICK = "Sick"


def cover(absent, period, subject, substitute, class_name, rule, reason=SICK):
    return Cover(absent, period, subject, substitute, class_name, reason, rule)


def missing(absent, period, subject, class_name, present, teaching, covering, reason=SICK):
    return Uncovered(absent, period, subject, class_name, reason, present, teaching, covering)


DAYS = {
    # Dev and Ben teach in period 3; Cleo takes Asha's 10A, so nobody is left for 10B.
    "two teach, one covers": (
        [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "history"), ("Dev", "english")],
        [("Ben", 3, "9A"), ("Dev", 3, "9B"), ("Asha", 3, "10A"), ("Asha", 3, "10B")],
        {"Asha": SICK},
        [cover("Asha", 3, "Maths", "Cleo", "10A", "any")],
        [missing("Asha", 3, "Maths", "10B", 3, 2, 1)],
        "all 3 present teachers are busy in period 3: 2 teach, 1 covers",
    ),
    "nobody present": (
        [("Asha", "english"), ("Ben", "maths")],
        [("Asha", 1, "10A"), ("Ben", 1, "10A"), ("Ben", 2, "10A")],
        {"Asha": SICK, "Ben": SICK},
        [],
        [missing("Asha", 1, "English", "10A", 0, 0, 0), missing("Ben", 1, "Maths", "10A", 0, 0, 0),
         missing("Ben", 2, "Maths", "10A", 0, 0, 0)],
        "no teacher is present",
    ),
    "the only present teacher teaches": (
        [("Asha", "english"), ("Ben", "maths")],
        [("Asha", 2, "10A"), ("Ben", 2, "10B")],
        {"Asha": SICK},
        [],
        [missing("Asha", 2, "English", "10A", 1, 1, 0)],
        "the only present teacher is busy in period 2: teaches",
    ),
    "the only present teacher covers": (
        [("Asha", "maths"), ("Ben", "maths")],
        [("Asha", 5, "10A"), ("Asha", 5, "10B")],
        {"Asha": SICK},
        [cover("Asha", 5, "Maths", "Ben", "10A", "subject")],
        [missing("Asha", 5, "Maths", "10B", 1, 0, 1)],
        "the only present teacher is busy in period 5: covers",
    ),
    # Cleo has fewer lessons than Ben; Dev, free and first in the school, is no colleague.
    "the colleague with fewest lessons": (
        [("Dev", "english"), ("Ben", "maths"), ("Cleo", "maths"), ("Asha", "maths")],
        [("Ben", 2, "9A"), ("Ben", 3, "9A"), ("Cleo", 2, "9B"), ("Asha", 1, "10A"), ("Asha", 1, "10A")],
        {"Asha": None},
        [cover("Asha", 1, "Maths", "Cleo", "10A", "subject", "Planned Absense")],
        [],
        None,
    ),
}


@pytest.mark.parametrize("teachers, lessons, absences, covers, uncovered, why", DAYS.values(), ids=DAYS.keys())
def test_records_of_small_days(teachers, lessons, absences, covers, uncovered, why):
    day = plan(teachers, lessons, absences)
    assert list(day.covers) == covers
    assert list(day.uncovered) == uncovered
    assert {lesson.why for lesson in day.uncovered} == ({why} if why else set())


@pytest.mark.parametrize("first, second, shown", [
    ("French", "french", "French"),
    (" FRENCH ", "French", "FRENCH"),
    ("french\t", " FRENCH ", "french"),
])
def test_other_subjects_match_in_any_case_and_show_as_first_written(first, second, shown):
    # Ben is free and first in the school, but Cleo teaches the subject.
    day = plan([("Anne", first), ("Ben", "maths"), ("Cleo", second)],
               [("Anne", 1, "7A"), ("Cleo", 2, "7B")], {"Anne": "Course"})
    assert day.covers == (cover("Anne", 1, shown, "Cleo", "7A", "subject", "Course"),)
    assert day.report(timing=False).splitlines()[1] == f"Anne,1,{shown},Cleo,7A,Course"


def test_subject_texts_that_differ_are_different_subjects():
    day = plan([("Anne", "French"), ("Ben", "maths"), ("Cleo", "Frenchh")], [("Anne", 1, "7A")], {"Anne": ""})
    assert day.covers == (cover("Anne", 1, "French", "Ben", "7A", "any", "Planned Absense"),)


@pytest.mark.parametrize("absent_subject, colleague_subject, shown", [
    ("Mathematics", "maths", "Maths"), ("maths", "MATH", "Maths"), ("PE", "p.e", "PhysicalEdu"),
    ("ICT", "Computer Science", "Computer"), ("geo", "Geography", "Geo"),
])
def test_aliases_are_the_known_subject(absent_subject, colleague_subject, shown):
    # Dev, free and without lessons, would come first by the rule "any".
    day = plan([("Asha", absent_subject), ("Dev", "english"), ("Ben", colleague_subject)],
               [("Asha", 1, "10A"), ("Ben", 2, "10B")], {"Asha": SICK})
    assert day.covers == (cover("Asha", 1, shown, "Ben", "10A", "subject"),)
    assert day.report(timing=False).splitlines()[1] == f"Asha,1,{shown},Ben,10A,Sick"


def test_subject_with_a_comma_is_quoted_in_the_report():
    day = plan([("Anne", "Drama, Theatre"), ("Ben", "drama, THEATRE")], [("Anne", 4, "8C")], {"Anne": 'Ill, "flu"'})
    row = day.report(timing=False).splitlines()[1]
    assert row == 'Anne,4,"Drama, Theatre",Ben,8C,"Ill, ""flu"""'
    assert next(csv.reader(io.StringIO(row))) == ["Anne", "4", "Drama, Theatre", "Ben", "8C", 'Ill, "flu"']
