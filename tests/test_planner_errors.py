"""Bad days are refused with the documented error, naming the position and the value at fault;
a refused or finished plan leaves nothing behind."""
import copy
from types import MappingProxyType

import pytest

import lessoncover_planner.planning
from lessoncover_planner import plan

TEACHERS = [("Asha", "maths"), ("Ben", "english"), ("Cleo", "history")]
LESSONS = [("Asha", 1, "10A"), ("Ben", 2, "10A"), ("Cleo", 1, "10B")]
ABSENCES = {"Asha": "Sick"}
CLEAN_REPORT = plan(TEACHERS, LESSONS, ABSENCES).report(timing=False)


def with_item(items, index, value):
    return [*items[:index], value, *items[index + 1:]]


# (teachers, lessons, absences, error, where, value): the message names where the fault is
# (the list and index, or the absence) and the value at fault.
BAD_DAYS = {
    "teacher not a pair": (with_item(TEACHERS, 2, ("Cleo",)), LESSONS, ABSENCES, TypeError, "teachers[2]", "Cleo"),
    "teacher of three": (with_item(TEACHERS, 1, ("Ben", "x", "y")), LESSONS, ABSENCES, TypeError, "teachers[1]", "y"),
    "teacher not a sequence": (with_item(TEACHERS, 1, 42), LESSONS, ABSENCES, TypeError, "teachers[1]", "42"),
    "name not str": (with_item(TEACHERS, 2, (b"Cleo", "history")), LESSONS, ABSENCES, TypeError, "teachers[2]", "Cleo"),
    "subject not str": (with_item(TEACHERS, 1, ("Ben", 7)), LESSONS, ABSENCES, TypeError, "teachers[1]", "7"),
    "lesson not a triple": (TEACHERS, with_item(LESSONS, 1, ("Ben", 2)), ABSENCES, TypeError, "lessons[1]", "Ben"),
    "lesson teacher not str": (TEACHERS, with_item(LESSONS, 2, (None, 1, "10B")), ABSENCES, TypeError, "lessons[2]",
                               "None"),
    "period text": (TEACHERS, with_item(LESSONS, 2, ("Cleo", "four", "10B")), ABSENCES, TypeError, "lessons[2]", "four"),
    "period float": (TEACHERS, with_item(LESSONS, 1, ("Ben", 2.0, "10A")), ABSENCES, TypeError, "lessons[1]", "2.0"),
    "class not str": (TEACHERS, with_item(LESSONS, 1, ("Ben", 2, 10)), ABSENCES, TypeError, "lessons[1]", "10"),
    "reason not str": (TEACHERS, LESSONS, {"Asha": 5}, TypeError, "absences", "5"),
    "absentee not str": (TEACHERS, LESSONS, {("Asha",): "Sick"}, TypeError, "absences", "Asha"),
    "unknown teacher": (TEACHERS, with_item(LESSONS, 2, ("Dora", 1, "10B")), ABSENCES, ValueError, "lessons[2]", "Dora"),
    "teacher twice": (with_item(TEACHERS, 2, ("Ben", "history")), LESSONS[:2], ABSENCES, ValueError, "teachers[2]",
                      "Ben"),
    "absentee unknown": (TEACHERS, LESSONS, {"Asha": "Sick", "Dora": "Sick"}, ValueError, "absences", "Dora"),
    "period too high": (TEACHERS, with_item(LESSONS, 1, ("Ben", 32768, "10A")), ABSENCES, ValueError, "lessons[1]",
                        "32768"),
    "period too low": (TEACHERS, with_item(LESSONS, 2, ("Cleo", -32769, "10B")), ABSENCES, ValueError, "lessons[2]",
                       "-32769"),
    "period far too high": (TEACHERS, with_item(LESSONS, 1, ("Ben", 2**70, "10A")), ABSENCES, ValueError, "lessons[1]",
                            str(2**70)),
    "empty subject": (with_item(TEACHERS, 1, ("Ben", "")), LESSONS, ABSENCES, ValueError, "teachers[1]", "''"),
    "blank subject": (with_item(TEACHERS, 2, ("Cleo", " \t")), LESSONS, ABSENCES, ValueError, "teachers[2]", "' \\t'"),
}


@pytest.mark.parametrize("teachers, lessons, absences, error, where, value", BAD_DAYS.values(), ids=BAD_DAYS.keys())
def test_bad_day_is_refused_naming_the_culprit(teachers, lessons, absences, error, where, value):
    given = copy.deepcopy((teachers, lessons, absences))
    with pytest.raises(error) as caught:
        plan(teachers, lessons, absences)
    message = str(caught.value)
    assert where in message and value in message, message
    assert (teachers, lessons, absences) == given
    assert plan(TEACHERS, LESSONS, ABSENCES).report(timing=False) == CLEAN_REPORT


@pytest.mark.parametrize("period", [-32768, 32767])
def test_period_limits_are_accepted(period):
    day = plan(TEACHERS, [("Asha", period, "10A")], ABSENCES)
    assert [(c.period, c.substitute) for c in day.covers] == [(period, "Ben")]


@pytest.mark.parametrize("arguments, words", [
    ((5, LESSONS), "teachers must be an iterable of (name, subject) pairs, not int"),
    (("Asha", LESSONS), "teachers must be an iterable of (name, subject) pairs, not str"),
    ((TEACHERS, None), "lessons must be an iterable of (teacher, period, class) rows, not NoneType"),
    ((TEACHERS, LESSONS, [("Asha", "Sick")]), "absences must be a mapping of name to reason, not list"),
])
def test_wrong_containers_are_named(arguments, words):
    with pytest.raises(TypeError) as caught:
        plan(*arguments)
    assert str(caught.value) == words


def test_any_iterables_and_mappings_will_do():
    day = plan((list(t) for t in TEACHERS), iter(LESSONS), MappingProxyType(ABSENCES))
    assert day.report(timing=False) == CLEAN_REPORT
    assert plan(TEACHERS, LESSONS).covers == plan(TEACHERS, LESSONS, {}).covers == ()


def test_planning_twice_gives_the_same_plan():
    # A lessoncover school would see its first covers in a second generation; plan starts afresh.
    first, second = plan(TEACHERS, LESSONS * 2, ABSENCES), plan(TEACHERS, LESSONS * 2, ABSENCES)
    assert [c.substitute for c in first.covers] == ["Ben"]
    assert first.report(timing=False) == second.report(timing=False)
    assert first.covers == second.covers and first.uncovered == second.uncovered


def test_subjects_are_resolved_once_per_text(monkeypatch):
    asked = []
    real = lessoncover_planner.planning.resolve_subject
    monkeypatch.setattr(lessoncover_planner.planning, "resolve_subject", lambda text: asked.append(text) or real(text))
    teachers = [("A", "French"), ("B", "maths"), ("C", "French"), ("D", "french"), ("E", "maths")]
    plan(teachers, [("A", 1, "7A")], {"A": None})
    assert sorted(asked) == ["French", "french", "maths"]


class Refused(Exception):
    pass


def refuse(text):
    raise Refused(text)


@pytest.mark.parametrize("resolver, error", [
    (refuse, Refused),
    (lambda text: 20, ValueError),
    (lambda text: -1, ValueError),
    (lambda text: 2**64, ValueError),
    (lambda text: True, TypeError),
    (lambda text: 1.0, TypeError),
    (lambda text: b"maths", TypeError),
], ids=["raises", "index 20", "index -1", "huge int", "bool", "float", "bytes"])
def test_a_resolver_error_or_bad_answer_stops_the_plan(monkeypatch, resolver, error):
    monkeypatch.setattr(lessoncover_planner.planning, "resolve_subject", resolver)
    with pytest.raises(error):
        plan(TEACHERS, LESSONS, ABSENCES)
    monkeypatch.undo()
    assert plan(TEACHERS, LESSONS, ABSENCES).report(timing=False) == CLEAN_REPORT
