"""The facts both sides of the language line use come from the core: the rules' names, the
subjects and their case folding, the bounds of a day, the words of the records, and the
checks of a Policy, which plan() and Policy() make with one reader."""
import ast
import collections
import dataclasses
import sys
from pathlib import Path
from types import MappingProxyType

import pytest

import lessoncover_planner
from lessoncover import Teacher
from lessoncover_planner import Policy, _planner, plan, resolve_subject
from lessoncover_planner.cli.board import RULE_TEXT
from lessoncover_planner.cli.policies import PolicyOptions
from lessoncover_planner.cli.reading import Day
from lessoncover_planner.office.candidates import rank_candidates
from lessoncover_planner.office.day_facts import DayFacts
from lessoncover_planner.subjects import KNOWN_SPELLINGS, subject_key

PACKAGE = Path(lessoncover_planner.__file__).parent
# A sigma before a Kawi sign, new in Unicode 15 and case-ignorable there, then a letter:
# Unicode 15 lower-cases it as a sigma within a word, Unicode 14 (Python 3.11's str.lower)
# as a final sigma, since the sign was unassigned.
SIGMA_BEFORE_KAWI = "X\u03a3\U00011F00Y"
SIGMA_BEFORE_KAWI_LOWER = "x\u03c3\U00011F00y"


def stub_cover_rules():
    tree = ast.parse((PACKAGE / "_planner.pyi").read_text(encoding="utf-8"))
    alias = next(node for node in tree.body if isinstance(node, ast.Assign) and node.targets[0].id == "_CoverRule")
    return [element.value for element in alias.value.slice.elts]


# --- rules ----------------------------------------------------------------------------------

def test_rules_are_the_cores_names_once_each():
    assert isinstance(_planner.RULES, tuple) and len(set(_planner.RULES)) == len(_planner.RULES)
    assert {"subject", "any", "uncovered", "pinned"} <= set(_planner.RULES)


def test_the_typed_cover_rules_are_the_cores_rules_that_choose_a_substitute():
    typed = stub_cover_rules()
    assert len(typed) == len(set(typed))
    assert set(typed) | {"uncovered", "away", "co-taught"} == set(_planner.RULES)
    assert set(RULE_TEXT) == set(typed)


def test_every_cover_of_a_plan_carries_a_rule_of_the_core():
    teachers = [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "art")]
    lessons = [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 2, "10B"), ("Asha", 3, "10C")]
    day = plan(teachers, lessons, {"Asha": None}, policy=Policy(pinned=[("Asha", 3, "10C", "Cleo")]))
    assert [cover.rule for cover in day.covers] == ["subject", "any", "pinned"]
    assert all(cover.rule in _planner.RULES for cover in day.covers)


# --- subjects -------------------------------------------------------------------------------

def test_the_subject_tables_are_the_cores():
    assert lessoncover_planner.SUBJECTS is _planner.SUBJECTS
    assert dict(lessoncover_planner.SUBJECT_ALIASES) == dict(_planner.SUBJECT_ALIASES)
    assert set(KNOWN_SPELLINGS) == ({spelling for spelling, _ in _planner.TEACHER_SPELLINGS}
                                    | {name.lower() for name in _planner.SUBJECTS}
                                    | set(lessoncover_planner.SUBJECT_ALIASES))


@pytest.mark.parametrize("spelling, display", _planner.SUBJECT_SPELLINGS)
def test_every_known_spelling_resolves_to_its_subject(spelling, display):
    assert _planner.SUBJECTS[resolve_subject(spelling.upper())] == display


@pytest.mark.parametrize("spelling, display", _planner.TEACHER_SPELLINGS)
def test_the_teacher_spellings_are_what_a_teacher_accepts(spelling, display):
    assert Teacher("x", spelling, True).get_sub() == display


def test_subject_keys_are_the_cores_case_folding_not_str_lower():
    assert subject_key(SIGMA_BEFORE_KAWI) == subject_key(SIGMA_BEFORE_KAWI_LOWER) == SIGMA_BEFORE_KAWI_LOWER
    if sys.version_info < (3, 12):  # Unicode 14
        assert SIGMA_BEFORE_KAWI.lower() != SIGMA_BEFORE_KAWI_LOWER


@pytest.mark.parametrize("written, other", [("French", "french"), (SIGMA_BEFORE_KAWI, SIGMA_BEFORE_KAWI_LOWER)])
def test_the_office_ranks_colleagues_of_a_subject_as_the_planner_does(written, other):
    """A subject of its own written in two letter cases is one subject to the planner; the
    office's list of candidates puts the colleague first, as the plan does."""
    teachers = [("Asha", written), ("Ben", "maths"), ("Cleo", other)]
    lessons = [("Asha", 1, "10A")]
    planned = plan(teachers, lessons, {"Asha": None})
    assert [(cover.substitute, cover.rule) for cover in planned.covers] == [("Cleo", "subject")]
    facts = DayFacts(Day(Path("."), "Mon", teachers, lessons, {"Asha": None}), PolicyOptions())
    ranked = rank_candidates(facts, ("Asha", 1, "10A"), [], {}).ranked
    assert [(candidate.name, candidate.same_subject) for candidate in ranked] == [("Cleo", True), ("Ben", False)]


# --- bounds ---------------------------------------------------------------------------------

def test_period_bounds_are_the_cores_and_the_docs_say_them():
    low, high = _planner.PERIOD_MIN, _planner.PERIOD_MAX
    assert (low, high) == (-32768, 32767)
    assert f"from {low} to {high}" in plan.__doc__
    day = plan([("Asha", "maths"), ("Ben", "maths")], [("Asha", low, "10A"), ("Asha", high, "10A")], {"Asha": None})
    assert [cover.period for cover in day.covers] == [low, high]
    with pytest.raises(ValueError, match=rf"^lessons\[0\]: period {high + 1} is outside {low}\.\.{high}$"):
        plan([("Asha", "maths")], [("Asha", high + 1, "10A")], {})


def test_prior_covers_are_capped_by_the_core():
    most = _planner.MOST_PRIOR_COVERS
    assert Policy(prior_covers={"Asha": most}).prior_covers["Asha"] == most
    with pytest.raises(ValueError, match=rf"^prior_covers\['Asha'\]: count {most + 1} is more than {most}$"):
        Policy(prior_covers={"Asha": most + 1})


# --- the words of the records ---------------------------------------------------------------

@pytest.mark.parametrize("counts", [(3, 1, 1, 0, 0, 0), (3, 2, 1, 1, 0, 0), (-4, 9, 4, 3, 1, 1), (7, 1, 0, 0, 0, 1),
                                    (2, 0, 0, 0, 0, 0)])
def test_an_uncovered_records_why_is_the_cores_sentence(counts):
    period, *rest = counts
    record = lessoncover_planner.Uncovered("Asha", period, "Maths", "10A", "Sick", *rest)
    assert record.why == _planner.why_uncovered(*counts)


def test_a_record_made_by_hand_keeps_its_words_for_any_whole_numbers():
    record = lessoncover_planner.Uncovered("Asha", 40000, "Maths", "10A", "Sick", 2, 1, 1)
    assert record.why == "all 2 present teachers are busy in period 40000: 1 teaches, 1 covers"


# --- one check of a Policy ------------------------------------------------------------------

BAD_OPTIONS = [
    ("max_covers", -1), ("max_covers", -2**70), ("max_covers", 1.5), ("prior_covers", {"Asha": -2}), ("prior_covers", {"Asha": True}),
    ("prior_covers", {"Asha": 2**70}), ("prior_covers", {"Asha": -2**70}), ("prior_covers", {3: 1}), ("prior_covers", [("Asha", 1)]), ("unavailable", {"Ben": 3}),
    ("unavailable", {"Ben": [40000]}), ("unavailable", {"Ben": [True]}), ("away_classes", "10A"),
    ("away_classes", [10]), ("keep_doubles", 1), ("pinned", "Asha"), ("pinned", [("Asha", 1, "10A")]),
    ("pinned", [("Asha", 1, "10A", "Ben"), ("Asha", -40000, "10A", "Ben")]), ("pinned", [("Asha", 1, 10, "Ben")]),
]
DAY = ([("Asha", "maths"), ("Ben", "maths")], [("Asha", 1, "10A"), ("Ben", 2, "10B")], {"Asha": None})


def refusal(call):
    with pytest.raises((TypeError, ValueError)) as raised:
        call()
    return type(raised.value), str(raised.value)


@pytest.mark.parametrize("option, value", BAD_OPTIONS, ids=[f"{o}={v!r}" for o, v in BAD_OPTIONS])
def test_a_policy_changed_after_it_was_made_is_refused_by_plan_in_the_same_words(option, value):
    made = refusal(lambda: Policy(**{option: value}))
    policy = Policy()
    object.__setattr__(policy, option, value)
    assert refusal(lambda: plan(*DAY, policy=policy)) == made
    assert refusal(lambda: _planner.check_policy(policy)) == made


def test_a_container_of_the_wrong_kind_is_named_by_its_type_name():
    with pytest.raises(TypeError, match=r"^unavailable must be a mapping of teacher name to value, not deque$"):
        Policy(unavailable=collections.deque())


class Oddities(Policy):
    """A Policy whose options change from one reading to the next."""

    def __getattribute__(self, name):
        if name == "unavailable":
            return MappingProxyType(OddMapping())
        return super().__getattribute__(name)


class OddMapping(dict):
    def items(self):
        return [("Ben",), 5]


class Exploding:
    def __iter__(self):
        raise RuntimeError("no periods today")


@pytest.mark.parametrize("poke, error, words", [
    (lambda p: object.__delattr__(p, "prior_covers"), TypeError,
     "prior_covers: the Policy object has no such attribute"),
    (lambda p: object.__setattr__(p, "unavailable", MappingProxyType(OddMapping())), TypeError,
     "a mapping's items must be (key, value) pairs"),
    (lambda p: object.__setattr__(p, "unavailable", {"Ben": Exploding()}), RuntimeError, "no periods today"),
    (lambda p: object.__setattr__(p, "unavailable", {"Ben": [object()]}), TypeError,
     "unavailable['Ben']: a period must be an int"),
    (lambda p: object.__setattr__(p, "away_classes", None), TypeError, "away_classes must be an iterable"),
    (lambda p: object.__setattr__(p, "pinned", ((b"Asha", 1, "10A", "Ben"),)), TypeError,
     "pinned[0] (b'Asha', 1, '10A', 'Ben'): absent must be a str"),
    (lambda p: object.__setattr__(p, "max_covers", 2**70), None, None),
])
def test_hostile_policies_are_refused_cleanly(poke, error, words):
    policy = Policy(max_covers=3)
    poke(policy)
    if error is None:  # a cap nobody reaches is no cap
        assert [cover.substitute for cover in plan(*DAY, policy=policy).covers] == ["Ben"]
        return
    with pytest.raises(error) as raised:
        plan(*DAY, policy=policy)
    assert words in str(raised.value)


def test_a_subclass_that_lies_about_its_options_is_refused():
    with pytest.raises(TypeError, match="mapping's items must be"):
        Oddities()
    policy = Policy.__new__(Oddities)
    for field in dataclasses.fields(Policy):
        object.__setattr__(policy, field.name, getattr(Policy(), field.name))
    with pytest.raises(TypeError, match="mapping's items must be"):
        plan(*DAY, policy=policy)


def test_a_cap_past_64_bits_is_no_cap():
    """The cap is checked for being negative with its overflow in mind: a huge cap plans as
    no cap rather than being taken for a negative one."""
    day = plan(*DAY, policy=Policy(max_covers=2**70))
    assert [cover.substitute for cover in day.covers] == ["Ben"]
