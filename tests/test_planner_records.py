"""Cover and Uncovered: frozen, slotted records; Uncovered.why says in words why nobody was free;
Cover.why is the planner's words, left out of comparisons."""
import dataclasses

import pytest

from lessoncover_planner import Cover, Uncovered

COVER = Cover("Asha", 1, "Maths", "Ben", "10A", "Sick", "subject")


def uncovered(period=3, present=3, teaching=2, covering=1, unavailable=0, at_cap=0):
    return Uncovered("Asha", period, "Maths", "10A", "Sick", present, teaching, covering, unavailable, at_cap)


@pytest.mark.parametrize("period, present, teaching, covering, unavailable, at_cap, why", [
    (3, 12, 8, 1, 2, 1, "all 12 present teachers are busy in period 3: 8 teach, 1 covers, 2 unavailable, 1 at the cap"),
    (3, 5, 4, 0, 0, 1, "all 5 present teachers are busy in period 3: 4 teach, 0 cover, 1 at the cap"),
    (3, 5, 0, 2, 3, 0, "all 5 present teachers are busy in period 3: 0 teach, 2 cover, 3 unavailable"),
    (2, 1, 0, 0, 1, 0, "the only present teacher is busy in period 2: is unavailable"),
    (2, 1, 0, 0, 0, 1, "the only present teacher is busy in period 2: is at the cap"),
])
def test_why_counts_the_unavailable_and_those_at_the_cap(period, present, teaching, covering, unavailable, at_cap,
                                                         why):
    assert uncovered(period, present, teaching, covering, unavailable, at_cap).why == why


@pytest.mark.parametrize("period, present, teaching, covering, why", [
    (3, 38, 31, 7, "all 38 present teachers are busy in period 3: 31 teach, 7 cover"),
    (3, 3, 2, 1, "all 3 present teachers are busy in period 3: 2 teach, 1 covers"),
    (8, 2, 1, 1, "all 2 present teachers are busy in period 8: 1 teaches, 1 covers"),
    (-4, 2, 0, 2, "all 2 present teachers are busy in period -4: 0 teach, 2 cover"),
    (3, 1, 1, 0, "the only present teacher is busy in period 3: teaches"),
    (7, 1, 0, 1, "the only present teacher is busy in period 7: covers"),
    (3, 0, 0, 0, "no teacher is present"),
])
def test_why_names_the_period_and_the_counts(period, present, teaching, covering, why):
    record = uncovered(period, present, teaching, covering)
    assert record.why == why
    assert f"why={why!r}" in repr(record)


def test_why_follows_the_counts_and_is_not_an_argument():
    assert dataclasses.replace(uncovered(), present_teachers=1, busy_teaching=0).why.endswith(": covers")
    with pytest.raises(TypeError):
        Uncovered("Asha", 3, "Maths", "10A", "Sick", 3, 2, 1, 0, 0, "made up")  # type: ignore[call-arg]
    with pytest.raises(TypeError):
        Uncovered("Asha", 3, "Maths", "10A", "Sick", 3, 2, 1, why="made up")  # type: ignore[call-arg]


@pytest.mark.parametrize("record, field", [(COVER, "substitute"), (uncovered(), "why")])
def test_records_are_frozen_and_slotted(record, field):
    with pytest.raises(dataclasses.FrozenInstanceError):
        setattr(record, field, "x")
    assert not hasattr(record, "__dict__")


def test_records_compare_and_hash_by_value():
    assert COVER == Cover(*dataclasses.astuple(COVER)) and hash(COVER) == hash(dataclasses.replace(COVER))
    assert COVER != dataclasses.replace(COVER, rule="any")
    assert uncovered() == uncovered() != uncovered(covering=0)
    assert [f.name for f in dataclasses.fields(Cover)] == [
        "absent", "period", "subject", "substitute", "class_name", "reason", "rule", "why"]
    assert [f.name for f in dataclasses.fields(Uncovered)] == [
        "absent", "period", "subject", "class_name", "reason", "present_teachers", "busy_teaching",
        "busy_covering", "busy_unavailable", "at_cap", "why"]


def test_a_covers_why_defaults_to_empty_and_is_left_out_of_comparisons():
    explained = dataclasses.replace(COVER, why="same subject, fewest lessons (3)")
    assert COVER.why == "" and explained.why == "same subject, fewest lessons (3)"
    assert explained == COVER and hash(explained) == hash(COVER)
    assert dataclasses.astuple(explained)[-1] == "same subject, fewest lessons (3)"
