"""The day fuzzer's C++ model of the rules against the plain Python model, on its corpus.

fuzz/day_dump.cpp replays each corpus input exactly as the day fuzzer does, checks the
plan with the fuzzer's model (fuzz/plan_model.hpp) and writes the day and the plan out;
the Python model then plans the same day, policies and pins included, and must make the
same decision for every lesson, with the same counts for those nobody could take."""

import json
import subprocess

import pytest

from tests.core_build import ROOT
from tests.model.day import plan_day
from tests.model.rules import default_policy

CORPUS = ROOT / "fuzz" / "corpus" / "day_fuzzer"


@pytest.fixture(scope="module")
def fuzzed_days(core_tree):
    """The corpus's days and their plans, as the dump tool writes them: a target of the core's
    tree (tests/core_build.py), on the build of the core that the core's own checks run on."""
    inputs = sorted(CORPUS.iterdir())
    run = subprocess.run([str(core_tree / "day_dump"), *map(str, inputs)], capture_output=True, text=True,
                         check=True)
    return [json.loads(line) for line in run.stdout.splitlines()]


def plain_day(dumped):
    """The dumped day as the Python model takes it: teachers, classes and subjects named by
    their numbers."""
    teachers = [(f"T{index}", f"subject {subject}") for index, (subject, _, _) in enumerate(dumped["teachers"])]
    lessons = [(f"T{teacher}", period, f"C{class_id}") for teacher, class_id, period in dumped["lessons"]]
    part_day = {}
    for teacher, period in dumped["absent_periods"]:
        part_day.setdefault(f"T{teacher}", set()).add(period)
    absences = {}
    for index, (_, present, is_part_day) in enumerate(dumped["teachers"]):
        if not present:
            absences[f"T{index}"] = None
        elif is_part_day:
            absences[f"T{index}"] = (None, part_day.get(f"T{index}", set()))
    policy = default_policy()
    policy.keep_doubles = dumped["keep_doubles"]
    policy.combined_lessons = dumped["combined_lessons"]
    policy.co_taught_no_cover = dumped["co_taught_no_cover"]
    policy.max_covers = dumped["max_covers"]
    policy.prior_covers = {f"T{index}": covers for index, covers in enumerate(dumped["prior_covers"])}
    for teacher, period in dumped["unavailable"]:
        policy.unavailable.setdefault(f"T{teacher}", set()).add(period)
    policy.away_classes = [f"C{class_id}" for class_id, away in enumerate(dumped["class_away"]) if away]
    policy.pinned = [(f"T{a}", period, f"C{c}", f"T{s}") for a, c, period, s in dumped["pins"]]
    return teachers, lessons, absences, policy


def decisions_of_dump(dumped):
    """(absent, period, class, substitute or None, rule) of each lesson, and the counts of
    each uncovered one, as the C++ planner decided and its model accepted."""
    rows = [(f"T{a}", period, f"C{c}", None if s < 0 else f"T{s}", rule) for a, c, period, s, rule in dumped["plan"]]
    counts = [tuple(why[1:]) for why in dumped["uncovered"]]
    return rows, counts


def decisions_of_model(dumped):
    _, covers, uncovered, not_needed = plan_day(*plain_day(dumped))
    decided = {}
    for absent, period, _, substitute, class_name, _, rule in covers:
        decided[(absent, period, class_name)] = (substitute, rule)
    for absent, period, _, class_name, *_ in uncovered:
        decided[(absent, period, class_name)] = (None, "uncovered")
    for absent, period, _, class_name, _, why in not_needed:
        decided[(absent, period, class_name)] = (None, "away" if why.startswith("class ") else "co-taught")
    counts = [tuple(row[5:]) for row in uncovered]
    return decided, counts


def test_the_corpus_holds_days_of_every_kind(fuzzed_days):
    """The comparison below means something only if the corpus reaches the rules."""
    rules = {rule for day in fuzzed_days for *_, rule in day["plan"]}
    assert {"subject", "any", "uncovered", "double", "combined", "away", "co-taught", "pinned"} <= rules
    assert any(day["with_policy"] for day in fuzzed_days)
    assert any(max((p for *_, p in day["lessons"]), default=0) - min((p for *_, p in day["lessons"]), default=0) >= 64
               for day in fuzzed_days)


def test_the_fuzzers_model_and_the_python_model_decide_alike(fuzzed_days):
    for number, dumped in enumerate(fuzzed_days):
        rows, counts = decisions_of_dump(dumped)
        decided, model_counts = decisions_of_model(dumped)
        assert len(decided) == len(rows), f"day {number}: the lessons needing a decision differ"
        for absent, period, class_name, substitute, rule in rows:
            assert decided[(absent, period, class_name)] == (substitute, rule), (
                f"day {number}: {absent} period {period} {class_name}")
        assert counts == model_counts, f"day {number}: the counts of the uncovered lessons differ"
