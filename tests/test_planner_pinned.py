"""Pinned covers: Policy(pinned=...) fixes covers before the rules run.

Each day here is small and worked by hand; the model of the rules (tests/model) must agree
with plan() on every one, and the random days of test_planner_policy_properties draw pins
too.
"""
import gc
import sys

import pytest

from lessoncover_planner import Policy, plan
from tests.model.day import plan_day as model_policy_plan
from tests.model.rules import default_policy
from tests.test_planner_policy_properties import check_promises, rows_of

MATHS = [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "maths"), ("Dev", "english")]


def cover(absent, period, substitute, class_name, rule, subject="Maths", reason="Sick"):
    return (absent, period, subject, substitute, class_name, reason, rule)


def uncovered(absent, period, class_name, counts, subject="Maths", reason="Sick"):
    return (absent, period, subject, class_name, reason, *counts)


def planned(teachers, lessons, absences, **options):
    """plan()'s rows, checked against the model and the promises every plan keeps."""
    day = plan(teachers, lessons, absences, policy=Policy(**options))
    rows = rows_of(day)
    model = default_policy()
    for name, value in options.items():
        setattr(model, name, value)
    assert rows == model_policy_plan(teachers, lessons, absences, model)[1:]
    check_promises(teachers, lessons, absences, options, *rows)
    return rows


# Pins count as covers: towards the substitute's load and the cap, and the substitute is busy
# in that period from the start.

def test_a_pin_adds_to_the_load_the_subject_rule_ranks_by():
    # Ben and Cleo hold one lesson each; Ben comes first in the school's order.
    lessons = [("Asha", 1, "10A"), ("Asha", 2, "10B"), ("Ben", 3, "10C"), ("Cleo", 4, "10D")]
    absences = {"Asha": "Sick"}
    assert planned(MATHS, lessons, absences)[0] == [
        cover("Asha", 1, "Ben", "10A", "subject"), cover("Asha", 2, "Cleo", "10B", "subject")]
    # Pinned to 10B in period 2, Ben holds two lessons when period 1 is decided: Cleo takes it.
    assert planned(MATHS, lessons, absences, pinned=[("Asha", 2, "10B", "Ben")])[0] == [
        cover("Asha", 1, "Cleo", "10A", "subject"), cover("Asha", 2, "Ben", "10B", "pinned")]


@pytest.mark.parametrize("cap, expected_covers, expected_uncovered", [
    (None, [cover("Asha", 1, "Ben", "10A", "subject"), cover("Asha", 2, "Ben", "10B", "pinned")], []),
    # The pin is Ben's one cover: in period 1 he is at the cap, and Dev teaches.
    (1, [cover("Asha", 2, "Ben", "10B", "pinned")], [uncovered("Asha", 1, "10A", (2, 1, 0, 0, 1))]),
])
def test_a_pin_counts_towards_the_cap(cap, expected_covers, expected_uncovered):
    teachers = [("Asha", "maths"), ("Ben", "maths"), ("Dev", "english")]
    lessons = [("Asha", 1, "10A"), ("Asha", 2, "10B"), ("Dev", 1, "10C")]
    rows = planned(teachers, lessons, {"Asha": "Sick"}, max_covers=cap, pinned=[("Asha", 2, "10B", "Ben")])
    assert rows == (expected_covers, expected_uncovered, [])


@pytest.mark.parametrize("pinned_class, other_class, other_substitute, other_rule", [
    ("10B", "10A", "Cleo", "subject"),  # Ben, the subject rule's first choice, is taken
    ("10A", "10B", "Cleo", "subject"),  # the pin is later in the report, still first
])
def test_a_pinned_substitute_is_not_chosen_again_in_that_period(pinned_class, other_class, other_substitute,
                                                                other_rule):
    lessons = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Cleo", 2, "10C"), ("Dev", 1, "10D")]
    covers, missing, _ = planned(MATHS, lessons, {"Asha": "Sick"}, pinned=[("Asha", 1, pinned_class, "Ben")])
    assert missing == []
    assert sorted(covers) == sorted([cover("Asha", 1, "Ben", pinned_class, "pinned"),
                                     cover("Asha", 1, other_substitute, other_class, other_rule)])


# A pin may go where the rules never would; the counts of an uncovered lesson still put
# each present teacher in exactly one group, the pinned substitute among those covering.

FORCED_DAY = (
    [("Asha", "maths"), ("Ben", "maths"), ("Dev", "english")],
    [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Ben", 1, "10C"), ("Dev", 1, "10D")],
)


@pytest.mark.parametrize("options, counts", [
    # Ben teaches 10C then: he covers 10A instead, as far as the counts go.
    ({}, (2, 1, 1, 0, 0)),
    ({"unavailable": {"Ben": [1]}}, (2, 1, 1, 0, 0)),
    # Everyone at the cap from the start; the pin is given all the same.
    ({"max_covers": 0}, (2, 1, 1, 0, 0)),
], ids=["teaching", "teaching and unavailable", "at the cap"])
def test_a_forced_pin_on_a_teaching_substitute_counts_as_covering(options, counts):
    teachers, lessons = FORCED_DAY
    rows = planned(teachers, lessons, {"Asha": "Sick"}, pinned=[("Asha", 1, "10A", "Ben")], **options)
    assert rows == ([cover("Asha", 1, "Ben", "10A", "pinned")], [uncovered("Asha", 1, "10B", counts)], [])


@pytest.mark.parametrize("options, counts", [
    ({"unavailable": {"Ben": [1]}}, (2, 1, 1, 0, 0)),
    # Ben free but at the cap of 0: not at the cap in period 1 any more, covering.
    ({"max_covers": 0}, (2, 1, 1, 0, 0)),
    # The pin is Ben's second cover over a cap of 1 (10E in period 2 is his first).
    ({"max_covers": 1, "pinned": [("Asha", 2, "10E", "Ben"), ("Asha", 1, "10A", "Ben")]}, (2, 1, 1, 0, 0)),
], ids=["unavailable", "cap of 0", "over the cap"])
def test_a_forced_pin_on_a_free_substitute_counts_as_covering(options, counts):
    teachers = [("Asha", "maths"), ("Ben", "maths"), ("Dev", "english")]
    lessons = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 2, "10E"), ("Dev", 1, "10D"), ("Dev", 2, "10F")]
    options.setdefault("pinned", [("Asha", 1, "10A", "Ben")])
    covers, missing, _ = planned(teachers, lessons, {"Asha": "Sick"}, **options)
    assert cover("Asha", 1, "Ben", "10A", "pinned") in covers
    assert missing[0] == uncovered("Asha", 1, "10B", counts)


def test_forced_pins_in_periods_without_a_code():
    # Seventy periods of absent lessons: the last ones have no code, and are counted apart.
    teachers = [("Asha", "maths"), ("Ben", "maths"), ("Dev", "english")]
    lessons = [("Asha", p, "10A") for p in range(1, 71)] + [("Asha", 70, "10B"), ("Ben", 70, "10C"),
                                                             ("Dev", 70, "10D"), ("Dev", 69, "10D")]
    for options in ({}, {"unavailable": {"Ben": [70]}}, {"max_covers": 0}, {"max_covers": 3}):
        covers, missing, _ = planned(teachers, lessons, {"Asha": "Sick"},
                                     pinned=[("Asha", 70, "10A", "Ben"), ("Asha", 69, "10A", "Ben")], **options)
        assert cover("Asha", 70, "Ben", "10A", "pinned") in covers
        assert uncovered("Asha", 70, "10B", (2, 1, 1, 0, 0)) in missing


# Combined sets: lessons of one absent teacher in one period.

COMBINED = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 1, "10C"), ("Asha", 2, "10D"), ("Ben", 2, "10E")]


@pytest.mark.parametrize("pins, expected", [
    # A pinned first lesson leads its set.
    ([("Asha", 1, "10A", "Dev")],
     [cover("Asha", 1, "Dev", "10A", "pinned"), cover("Asha", 1, "Dev", "10B", "combined"),
      cover("Asha", 1, "Dev", "10C", "combined"), cover("Asha", 2, "Cleo", "10D", "subject")]),
    # A set pinned whole, to one substitute, is not two pins in one period.
    ([("Asha", 1, "10C", "Dev"), ("Asha", 1, "10A", "Dev"), ("Asha", 1, "10B", "Dev")],
     [cover("Asha", 1, "Dev", "10A", "pinned"), cover("Asha", 1, "Dev", "10B", "pinned"),
      cover("Asha", 1, "Dev", "10C", "pinned"), cover("Asha", 2, "Cleo", "10D", "subject")]),
    # A pinned later lesson keeps its pin; the others follow the first, decided by the rules
    # (Cleo, who holds no lesson; Ben teaches in period 2).
    ([("Asha", 1, "10B", "Dev")],
     [cover("Asha", 1, "Cleo", "10A", "subject"), cover("Asha", 1, "Dev", "10B", "pinned"),
      cover("Asha", 1, "Cleo", "10C", "combined"), cover("Asha", 2, "Cleo", "10D", "subject")]),
], ids=["first pinned", "set pinned whole", "later one pinned"])
def test_pins_in_combined_sets(pins, expected):
    rows = planned(MATHS, COMBINED, {"Asha": "Sick"}, combined_lessons=True, max_covers=2, pinned=pins)
    assert rows == (expected, [], [])


def test_a_set_pinned_whole_counts_once_towards_the_cap():
    teachers = [("Asha", "maths"), ("Dev", "english")]
    pins = [("Asha", 1, "10A", "Dev"), ("Asha", 1, "10B", "Dev")]
    lessons = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 2, "10D")]
    covers, missing, _ = planned(teachers, lessons, {"Asha": "Sick"}, combined_lessons=True, max_covers=2, pinned=pins)
    assert (covers[-1], missing) == (cover("Asha", 2, "Dev", "10D", "any"), [])
    covers, missing, _ = planned(teachers, lessons, {"Asha": "Sick"}, combined_lessons=True, max_covers=1, pinned=pins)
    assert missing == [uncovered("Asha", 2, "10D", (1, 0, 0, 0, 1))]


@pytest.mark.parametrize("absence, pin_period, accepted", [
    (("Dentist", [1]), 1, False),
    (("Dentist", [1]), 2, True),
    ("Course", 2, False),
])
def test_a_substitute_absent_part_of_the_day_is_pinned_only_when_there(absence, pin_period, accepted):
    lessons = [("Asha", 1, "10A"), ("Asha", 2, "10B")]
    pin = ("Asha", pin_period, "10A" if pin_period == 1 else "10B", "Ben")
    absences = {"Asha": "Sick", "Ben": absence}
    if accepted:
        assert cover("Asha", pin_period, "Ben", pin[2], "pinned") in planned(MATHS, lessons, absences, pinned=[pin])[0]
    else:
        with pytest.raises(ValueError, match=rf"^pinned\[0\] .*: the substitute is absent in period {pin_period}$"):
            plan(MATHS, lessons, absences, policy=Policy(pinned=[pin]))


# Refused pins: plan() names the pin and says why.

ERROR_DAY = (
    [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "maths"), ("Dev", "english"), ("Eve", "art")],
    [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 2, "10C"), ("Ben", 2, "10C"), ("Asha", 3, "10D"),
     ("Cleo", 1, "10E"), ("Cleo", 4, "10E")],
    {"Asha": "Sick", "Eve": "Course", "Cleo": ("Dentist", [1])},
)


@pytest.mark.parametrize("pins, options, reason", [
    ([("Asha", 5, "10A", "Dev")], {}, "no such lesson: the teacher has none in that class in period 5"),
    ([("Asha", 1, "10C", "Dev")], {}, "no such lesson: the teacher has none in that class in period 1"),
    ([("Asha", 1, "9Z", "Dev")], {}, "no such lesson: no lesson of the day is in that class"),
    ([("Zed", 1, "10A", "Dev")], {}, "no such lesson: the absent teacher is not a teacher of the day"),
    ([("Ben", 2, "10C", "Dev")], {}, "the lesson needs no cover: its teacher is not absent in period 2"),
    ([("Cleo", 4, "10E", "Dev")], {}, "the lesson needs no cover: its teacher is not absent in period 4"),
    ([("Asha", 3, "10D", "Dev")], {"away_classes": ["10D"]}, "the lesson needs no cover: its class is away"),
    ([("Asha", 2, "10C", "Dev")], {"co_taught_no_cover": True},
     "the lesson needs no cover: a teacher present then teaches the class too"),
    ([("Asha", 1, "10A", "Zed")], {}, "the substitute is not a teacher of the day"),
    ([("Asha", 1, "10A", "Eve")], {}, "the substitute is absent in period 1"),
    ([("Asha", 1, "10A", "Cleo")], {}, "the substitute is absent in period 1"),
    ([("Asha", 1, "10A", "Asha")], {}, "the substitute is absent in period 1"),
    ([("Asha", 3, "10D", "Dev"), ("Asha", 1, "10A", "Dev"), ("Asha", 1, "10A", "Ben")], {},
     "the lesson is pinned already, by pinned[1]"),
    ([("Asha", 1, "10A", "Dev"), ("Asha", 1, "10B", "Dev")], {}, "the substitute has another pin in period 1, pinned[0]"),
    ([("Asha", 1, "10A", "Dev"), ("Asha", 3, "10D", "Dev"), ("Asha", 1, "10B", "Dev")], {"keep_doubles": True},
     "the substitute has another pin in period 1, pinned[0]"),
], ids=lambda value: None if isinstance(value, (list, dict)) else value.split(":")[0])
def test_refused_pins_are_named(pins, options, reason):
    refused = len(pins) - 1
    with pytest.raises(ValueError) as raised:
        plan(*ERROR_DAY, policy=Policy(pinned=pins, **options))
    assert str(raised.value) == f"pinned[{refused}] {pins[refused]!r}: {reason}"


def test_one_combined_set_may_share_a_substitute_but_two_sets_may_not():
    teachers = [("Asha", "maths"), ("Ben", "maths"), ("Dev", "english")]
    lessons = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Ben", 1, "10C")]
    pins = [("Asha", 1, "10A", "Dev"), ("Asha", 1, "10B", "Dev"), ("Ben", 1, "10C", "Dev")]
    with pytest.raises(ValueError, match=r"^pinned\[2\] .*another pin in period 1, pinned\[0\]$"):
        plan(teachers, lessons, {"Asha": "Sick", "Ben": "Sick"}, policy=Policy(combined_lessons=True, pinned=pins))


@pytest.mark.parametrize("pinned, error, message", [
    ("Asha", TypeError, "pinned must be an iterable"),
    (5, TypeError, "pinned must be an iterable"),
    ([("Asha", 1, "10A")], TypeError, r"pinned\[0\]: expected an \(absent, period, class_name, substitute\) tuple"),
    ([["Asha", 1, "10A", "Ben"]], TypeError, r"pinned\[0\]: expected"),
    ([("Asha", "1", "10A", "Ben")], TypeError, r"pinned\[0\] .*: a period must be an int"),
    ([("Asha", True, "10A", "Ben")], TypeError, r"pinned\[0\] .*: a period must be an int"),
    ([("Asha", 1, "10A", "Ben"), ("Asha", 40000, "10A", "Ben")], ValueError,
     r"pinned\[1\] .*: period 40000 is outside -32768\.\.32767"),
    ([(None, 1, "10A", "Ben")], TypeError, r"pinned\[0\] .*: absent must be a str"),
    ([("Asha", 1, 10, "Ben")], TypeError, r"pinned\[0\] .*: class_name must be a str"),
    ([("Asha", 1, "10A", b"Ben")], TypeError, r"pinned\[0\] .*: substitute must be a str"),
])
def test_policy_refuses_malformed_pins(pinned, error, message):
    with pytest.raises(error, match=message):
        Policy(pinned=pinned)


def test_pins_are_kept_as_a_tuple_in_order():
    given = [("Asha", 2, "10B", "Ben"), ("Asha", 1, "10A", "Cleo")]
    policy = Policy(pinned=iter(given))
    assert policy.pinned == tuple(given)
    assert policy == Policy(pinned=given) and hash(policy) == hash(Policy(pinned=tuple(given)))
    assert policy != Policy(pinned=given[::-1])
    assert not policy.is_default()
    assert Policy(pinned=[]).is_default() and Policy(pinned=()) == Policy()


# Refusals leak nothing: the pin's objects and the policy are held no longer than the call.

def test_refused_pins_leak_nothing():
    teachers, lessons, absences = ERROR_DAY
    names = ["".join(["Asha"]), "".join(["Z", "ed"]), "".join(["10", "A"])]
    policies = [Policy(pinned=[(names[0], 1, names[2], names[1])]),
                Policy(pinned=[(names[1], 1, names[2], "Dev")]),
                Policy(pinned=[(names[0], 1, names[2], "Dev"), (names[0], 1, names[2], "Ben")])]

    def refuse_all(rounds):
        for _ in range(rounds):
            for policy in policies:
                with pytest.raises(ValueError):
                    plan(teachers, lessons, absences, policy=policy)

    refuse_all(100)
    gc.collect()
    watched = [*names, *policies]
    counts = [sys.getrefcount(value) for value in watched]
    blocks = sys.getallocatedblocks()
    refuse_all(2_000)
    gc.collect()
    assert [sys.getrefcount(value) for value in watched] == counts
    assert sys.getallocatedblocks() - blocks < 100
