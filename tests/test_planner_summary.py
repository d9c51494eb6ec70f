"""Policy.strategy and Policy.supply as the package takes them, and CoverPlan.summary: the
PlanSummary record and its figures on days worked out by hand."""
import dataclasses

import pytest

import lessoncover_planner
from lessoncover_planner import PlanSummary, Policy, plan

TEACHERS = [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "art"), ("Dev", "english"), ("Sam", "maths")]
# Ben holds three lessons, so the school's list (fewest lessons first) reads Dev, Sam, Cleo, Ben
# while teachers.csv reads Ben, Cleo, Dev, Sam. Dev teaches 10A, Asha's class, in period 3.
LESSONS = [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 3, "10B"), ("Ben", 4, "10B"), ("Ben", 5, "10B"),
           ("Cleo", 1, "10C"), ("Cleo", 2, "10C"), ("Dev", 3, "10A"), ("Sam", 3, "10C")]
ABSENT = {"Asha": "Sick"}
FIELDS = ["covered", "subject", "supply", "doubles_kept", "largest_load", "sum_of_squares", "knows_class"]


def planned(**options):
    day = plan(TEACHERS, LESSONS, ABSENT, policy=Policy(**options))
    return [(cover.period, cover.substitute, cover.rule) for cover in day.covers], day.summary


# --- PlanSummary ---------------------------------------------------------------------------------

def test_plan_summary_is_a_frozen_slotted_record_of_seven_counts():
    assert lessoncover_planner.PlanSummary is PlanSummary and "PlanSummary" in lessoncover_planner.__all__
    assert [field.name for field in dataclasses.fields(PlanSummary)] == FIELDS
    figures = PlanSummary(*range(7))
    assert dataclasses.astuple(figures) == tuple(range(7)) and not hasattr(figures, "__dict__")
    with pytest.raises(dataclasses.FrozenInstanceError):
        figures.covered = 9  # type: ignore[misc]
    assert figures == PlanSummary(*range(7)) and hash(figures) == hash(PlanSummary(*range(7)))


def test_the_summary_is_made_once_and_counts_the_covers():
    day = plan(TEACHERS, LESSONS, ABSENT)
    assert day.summary is day.summary
    assert isinstance(day.summary, PlanSummary) and day.summary.covered == len(day.covers) == 2
    assert all(type(value) is int for value in dataclasses.astuple(day.summary))


def test_nobody_absent_gives_zero_figures_but_the_loads_carried_in():
    assert plan(TEACHERS, LESSONS).summary == PlanSummary(0, 0, 0, 0, 0, 0, 0)
    # prior covers are load: squared over the present teachers, but no largest load without a cover today
    assert plan(TEACHERS, LESSONS, policy=Policy(prior_covers={"Ben": 2, "Dev": 1})).summary == (
        PlanSummary(0, 0, 0, 0, 0, 5, 0))


# Worked by hand from the definitions: subject counts covers by non-supply colleagues of maths,
# a double is one substitute for Asha's 10A in periods 1 and 2, the squares run over Ben, Cleo,
# Dev and Sam, and only Dev teaches 10A.
@pytest.mark.parametrize("options, covers, figures", [
    ({}, [(1, "Sam", "subject"), (2, "Sam", "subject")], (2, 2, 0, 1, 2, 4, 0)),
    ({"supply": ["Sam"]}, [(1, "Ben", "subject"), (2, "Ben", "subject")], (2, 2, 0, 1, 2, 4, 0)),
    # nobody of the school is free: the first supply teacher of teachers.csv, not of the list
    ({"supply": ["Ben", "Dev", "Sam"]}, [(1, "Ben", "supply"), (2, "Ben", "supply")], (2, 0, 2, 1, 2, 4, 0)),
    ({"strategy": "best"}, None, (2, 2, 0, 0, 1, 2, 0)),
    ({"strategy": "best", "supply": ["Sam"]}, [(1, "Ben", "subject"), (2, "Ben", "subject")],
     (2, 2, 0, 1, 2, 4, 0)),
    # two supply covers cannot be helped; spread over two, one of them Dev, who knows 10A
    ({"strategy": "best", "supply": ["Ben", "Dev", "Sam"]}, None, (2, 0, 2, 0, 1, 2, 1)),
], ids=["greedy", "greedy, Sam supply", "greedy, supply only", "best", "best, Sam supply", "best, supply only"])
def test_figures_of_days_worked_by_hand(options, covers, figures):
    got_covers, summary = planned(**options)
    if covers is not None:
        assert got_covers == covers
    assert dataclasses.astuple(summary) == figures


def test_best_spreads_what_greedy_piles_on_one_teacher():
    greedy = planned()[1]
    best = planned(strategy="best")[1]
    assert (best.covered, best.subject) == (greedy.covered, greedy.subject)
    assert best.largest_load < greedy.largest_load and best.sum_of_squares < greedy.sum_of_squares


def test_every_cover_says_why():
    for strategy in ("greedy", "best"):
        day = plan(TEACHERS, LESSONS, ABSENT, policy=Policy(strategy=strategy, supply=["Ben", "Dev", "Sam"]))
        assert day.covers and all(cover.why and cover.why.strip() == cover.why for cover in day.covers)
        assert all("supply" in cover.why for cover in day.covers)


# --- Policy.strategy and Policy.supply ----------------------------------------------------------

@pytest.mark.parametrize("options, error, message", [
    ({"strategy": "fast"}, ValueError, "strategy must be 'greedy' or 'best', not 'fast'"),
    ({"strategy": "Best"}, ValueError, "strategy must be 'greedy' or 'best', not 'Best'"),
    ({"strategy": ""}, ValueError, "strategy must be 'greedy' or 'best', not ''"),
    ({"strategy": None}, TypeError, "strategy must be a str, got None"),
    ({"strategy": 1}, TypeError, "strategy must be a str, got 1"),
    ({"supply": "Ben"}, TypeError, "supply must be an iterable of teacher names"),
    ({"supply": 3}, TypeError, "supply must be an iterable of teacher names, got 3"),
    ({"supply": ["Ben", 7]}, TypeError, "supply: a teacher name must be a str, got 7"),
], ids=["unknown", "letter case", "empty", "None", "int", "str", "int supply", "int name"])
def test_a_bad_strategy_or_supply_is_refused_when_made(options, error, message):
    with pytest.raises(error) as refused:
        Policy(**options)
    assert str(refused.value).startswith(message), str(refused.value)


def test_a_supply_teacher_the_day_lacks_is_refused_when_planned():
    policy = Policy(supply=["Sam", "Nobody"])  # a policy does not know the day
    with pytest.raises(ValueError, match="supply") as refused:
        plan(TEACHERS, LESSONS, ABSENT, policy=policy)
    assert "'Nobody'" in str(refused.value)


@pytest.mark.parametrize("supply", [["Ben", "Sam"], ("Sam", "Ben", "Sam"), {"Ben", "Sam"}, iter(["Sam", "Ben"]),
                                    frozenset({"Ben", "Sam"})], ids=["list", "tuple", "set", "iterator", "frozenset"])
def test_supply_is_kept_as_a_frozenset_and_compares_by_its_names(supply):
    policy = Policy(supply=supply)
    assert policy.supply == frozenset({"Ben", "Sam"}) and type(policy.supply) is frozenset
    assert policy == Policy(supply=["Sam", "Ben"]) and hash(policy) == hash(Policy(supply=["Sam", "Ben"]))


@pytest.mark.parametrize("options, default", [
    ({}, True), ({"strategy": "greedy"}, True), ({"supply": ()}, True), ({"strategy": "greedy", "supply": []}, True),
    ({"strategy": "best"}, False), ({"supply": ["Ben"]}, False),
])
def test_only_greedy_without_supply_is_the_default(options, default):
    policy = Policy(**options)
    assert policy.is_default() is default
    assert (policy == Policy()) is default and (hash(policy) == hash(Policy())) is default


def test_the_default_strategy_plans_as_no_policy():
    assert plan(TEACHERS, LESSONS, ABSENT, policy=Policy(strategy="greedy")).report(timing=False) == (
        plan(TEACHERS, LESSONS, ABSENT).report(timing=False))
