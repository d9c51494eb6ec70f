"""Cover policies on random days: plan(..., policy=...) against the plain model of the rules,
and the promises a plan keeps whatever the day and the policy.

Days are small, with few periods, classes and subjects, so that lessons collide, doubles and
combined lessons happen, and cover runs out; some periods sit at the ends of the int16 range.
"""
import dataclasses
from collections import Counter

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import lessoncover_planner
from lessoncover_planner import NotNeeded, Policy, plan
from planner_support import parse_report
from tests.model.day import plan_day as model_policy_plan, plan_default as model_plan, read_absences
from tests.model.rules import default_policy, why_uncovered


ALPHABET = ["a", "b", "B", " ", ",", '"', "\\", "\n", "\u00e9", "\u5c71", "\u200b"]
TEXTS = st.text(alphabet=st.sampled_from(ALPHABET), min_size=1, max_size=3)
# Few subjects, so that colleagues compete; "Maths" three ways, "French" two.
SUBJECT_TEXTS = ["maths", "Maths", " math ", "art", "French", "french", "p.e"]
EDGES = [-32768, -32767, 32766, 32767]
# Mostly neighbouring periods, so that doubles form and lessons collide.
PERIODS = st.one_of(st.integers(1, 4), st.integers(1, 4), st.integers(0, 6), st.sampled_from(EDGES))
REASONS = st.one_of(st.none(), st.just(""), TEXTS, st.just("Trip, back \"soon\""))
OPTIONS = ["max_covers", "prior_covers", "unavailable", "keep_doubles", "combined_lessons",
           "co_taught_no_cover", "away_classes", "pinned", "supply"]
EXAMPLES = settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@st.composite
def days(draw, part_day=True):
    """(teachers, lessons, absences) of a small random day."""
    names = draw(st.lists(TEXTS, min_size=2, max_size=8, unique=True))
    teachers = [(name, draw(st.sampled_from(SUBJECT_TEXTS))) for name in names]
    absent = draw(st.lists(st.sampled_from(names), min_size=1, max_size=len(names) // 2 + 1, unique=True))
    absences = {}
    for name in absent:
        reason = draw(REASONS)
        if part_day and draw(st.booleans()):
            absences[name] = (reason, draw(st.lists(PERIODS, min_size=1, max_size=3)))
        else:
            absences[name] = reason
    classes = draw(st.lists(TEXTS, min_size=1, max_size=4, unique=True))
    teacher = st.one_of(st.sampled_from(absent), st.sampled_from(names))
    lessons = draw(st.lists(st.tuples(teacher, PERIODS, st.sampled_from(classes)), min_size=4, max_size=24))
    # What real timetables hold: a lesson running on into the next period (a double), one
    # teacher with several classes at once, two teachers with one class, rows listed twice.
    doubles = draw(st.lists(st.sampled_from(lessons), max_size=8))
    lessons += [(t, p + 1, c) for t, p, c in doubles if p < 32767]
    combined = draw(st.lists(st.tuples(st.sampled_from(lessons), st.sampled_from(classes)), max_size=4))
    lessons += [(t, p, other) for (t, p, _), other in combined]
    shared = draw(st.lists(st.tuples(st.sampled_from(lessons), teacher), max_size=4))
    lessons += [(other, p, c) for (_, p, c), other in shared]
    lessons += draw(st.lists(st.sampled_from(lessons), max_size=3))
    return teachers, lessons, absences


@st.composite
def policy_options(draw, teachers, lessons, focus=None):
    """Keyword arguments of a random Policy for this day; some options left out, the one in
    focus always in and set so that it matters."""
    names = [name for name, _ in teachers]
    periods = sorted({p for _, p, _ in lessons})
    class_names = list(dict.fromkeys(c for _, _, c in lessons))
    some = 1 if focus else 0
    options = {
        "max_covers": draw(st.integers(0, 2) if focus == "max_covers"
                           else st.one_of(st.none(), st.integers(1, 2)) if focus == "combined_lessons"
                           else st.one_of(st.none(), st.integers(0, 3))),
        "prior_covers": draw(st.dictionaries(st.sampled_from(names), st.integers(0, 4), min_size=some,
                                             max_size=len(names))),
        "unavailable": draw(st.dictionaries(st.sampled_from(names),
                                            st.lists(st.sampled_from(periods), min_size=some, max_size=3),
                                            min_size=some, max_size=len(names))),
        "keep_doubles": draw(st.booleans()) or focus == "keep_doubles",
        "combined_lessons": draw(st.booleans()) or focus == "combined_lessons",
        "co_taught_no_cover": draw(st.booleans()) or focus == "co_taught_no_cover",
        "away_classes": tuple(draw(st.lists(st.sampled_from(class_names), min_size=some, max_size=2))),
        # Supply staff, who cover only when no one else is free, so a cap or unavailability
        # makes them matter.
        "supply": tuple(draw(st.lists(st.sampled_from(names), min_size=some, max_size=2, unique=True))),
    }
    kept = draw(st.lists(st.sampled_from(OPTIONS), unique=True))
    return {name: value for name, value in options.items()
            if name == focus or name in kept or draw(st.booleans())}


def lessons_needing_cover(lessons, absences, options):
    """The absent lessons that need cover under these options, as (absent, period, class)."""
    _, away = read_absences(absences)
    away_classes = set(options.get("away_classes", ()))

    def present(teacher, period):
        return away.get(teacher, set()) is not None and period not in away.get(teacher, set())

    def co_taught(absent, period, class_name):
        return options.get("co_taught_no_cover") and any(
            c == class_name and p == period and t != absent and present(t, p) for t, p, c in lessons)

    return sorted(key for key in absent_lesson_keys(lessons, absences)
                  if key[2] not in away_classes and not co_taught(*key)), present


@st.composite
def pins(draw, teachers, lessons, absences, options, focus=False):
    """Random pins that plan() takes: lessons that need cover, substitutes present then (who
    may teach, be unavailable or be at the cap then), no lesson twice, no substitute twice in
    a period but for the lessons of one combined set."""
    needing, present = lessons_needing_cover(lessons, absences, options)
    if not needing:
        return ()
    chosen = draw(st.lists(st.sampled_from(needing), min_size=1 if focus else 0, max_size=4, unique=True))
    if chosen and options.get("combined_lessons") and draw(st.booleans()):
        # The whole combined set of the first, next to it.
        chosen[1:1] = [key for key in needing if key[:2] == chosen[0][:2] and key not in chosen]
    names = [name for name, _ in teachers]
    made, taken = [], {}
    for absent, period, class_name in chosen:
        there = [name for name in names if present(name, period)]
        if not there:
            continue
        # Often the substitute of another lesson of the set, so that sets are pinned whole.
        same_set = [p[3] for p in made if p[:2] == (absent, period)]
        substitute = same_set[0] if same_set and draw(st.booleans()) else draw(st.sampled_from(there))
        slot = (substitute, period)
        if slot in taken and not (options.get("combined_lessons") and taken[slot] == absent):
            continue
        taken[slot] = absent
        made.append((absent, period, class_name, substitute))
    return tuple(made)


@st.composite
def days_with_policies(draw, part_day=True, focus=None):
    teachers, lessons, absences = draw(days(part_day))
    options = draw(policy_options(teachers, lessons, focus))
    if focus == "pinned" or draw(st.booleans()):
        options["pinned"] = draw(pins(teachers, lessons, absences, options, focus == "pinned"))
    return teachers, lessons, absences, options


def model_options(options):
    """The model's view of a policy made from these keyword arguments."""
    policy = default_policy()
    for name, value in options.items():
        setattr(policy, name, value)
    return policy


def model_day(teachers, lessons, absences, options):
    return model_policy_plan(teachers, lessons, absences, model_options(options))


def cover_row(cover):
    """A cover as the model gives it: its fields but the why, whose words the model leaves to the planner."""
    return dataclasses.astuple(cover)[:-1]


def rows_of(day):
    """The plan's records as plain tuples: covers and uncovered (why aside), and not needed."""
    covers = [cover_row(c) for c in day.covers]
    uncovered = [(u.absent, u.period, u.subject, u.class_name, u.reason, u.present_teachers, u.busy_teaching,
                  u.busy_covering, u.busy_unavailable, u.at_cap) for u in day.uncovered]
    not_needed = [(n.absent, n.period, n.subject, n.class_name, n.reason, n.why) for n in day.not_needed]
    return covers, uncovered, not_needed


def absent_lesson_keys(lessons, absences):
    """Every lesson that needs an answer, as (absent, period, class), each once."""
    _, away = read_absences(absences)
    return {(t, p, c) for t, p, c in lessons if t in away and (away[t] is None or p in away[t])}


def check_promises(teachers, lessons, absences, options, covers, uncovered, not_needed):
    """What every plan keeps, read off its rows alone."""
    _, away = read_absences(absences)
    away_classes = set(options.get("away_classes", ()))
    unavailable = {(t, p) for t, periods in options.get("unavailable", {}).items() for p in periods}
    cap = options.get("max_covers")

    # Every absent lesson is answered exactly once.
    answered = [(r[0], r[1], r[4]) for r in covers] + [(r[0], r[1], r[3]) for r in uncovered + not_needed]
    assert len(answered) == len(set(answered))
    assert set(answered) == absent_lesson_keys(lessons, absences)

    # Every pin is kept; nobody else covers in a pinned substitute's period.
    pinned = {(a, p, c): s for a, p, c, s in options.get("pinned", ())}
    assert {(r[0], r[1], r[4]): r[3] for r in covers if r[6] == "pinned"} == pinned
    pinned_slots = {(s, p) for (_, p, _), s in pinned.items()}

    # Nobody covers two lessons in one period, but the lessons of one combined set.
    by_slot = {}
    for absent, period, _, substitute, class_name, _, rule in covers:
        by_slot.setdefault((substitute, period), []).append((absent, rule))
    for (substitute, period), taken in by_slot.items():
        if len(taken) > 1:
            assert options.get("combined_lessons"), (substitute, period, taken)
            assert len({absent for absent, _ in taken}) == 1, (substitute, period, taken)
            if (substitute, period) not in pinned_slots:
                assert [rule == "combined" for _, rule in taken] == [False] + [True] * (len(taken) - 1)

    # A substitute is present where it covers; and, unless pinned, not teaching and available.
    for absent, period, _, substitute, class_name, _, rule in covers:
        assert rule in {"subject", "any", "double", "combined", "pinned", "supply"}
        assert away.get(substitute, set()) is not None and period not in away.get(substitute, set())
        assert class_name not in away_classes
        if (substitute, period) in pinned_slots:
            continue
        assert not any(t == substitute and p == period and c not in away_classes for t, p, c in lessons)
        assert (substitute, period) not in unavailable
        if rule == "combined":
            assert options.get("combined_lessons")
        elif (rule == "supply") != (substitute in options.get("supply", ())):
            raise AssertionError(f"{substitute} covers by the rule {rule}")
        if rule == "double":
            assert options.get("keep_doubles")
            neighbours = [r for r in covers if r[0] == absent and r[4] == class_name and abs(r[1] - period) == 1]
            assert any(r[3] == substitute for r in neighbours), (absent, period, class_name)

    # Caps hold for the covers the rules choose, pins counted first; a combined set counts once.
    if cap is not None:
        combined = options.get("combined_lessons")
        booked = {(a, p, s if combined else c): s for (a, p, c), s in pinned.items()}
        counted = Counter(booked.values())
        by_rules = [r[3] for r in covers if r[6] not in ("pinned", "combined")]
        counted.update(by_rules)
        assert all(counted[t] <= cap for t in by_rules), counted

    # With nobody free, each teacher present in the period is in exactly one group.
    names = [name for name, _ in teachers]
    for row in uncovered:
        period = row[1]
        present, teaching, covering, busy_unavailable, at_cap = row[5:]
        there = [t for t in names if away.get(t, set()) is not None and period not in away.get(t, set())]
        assert present == len(there)
        assert teaching == sum(any(t == u and p == period and c not in away_classes for u, p, c in lessons)
                               and (t, period) not in pinned_slots for t in there)
        assert teaching + covering + busy_unavailable + at_cap == present
        if cap is None:
            assert at_cap == 0
        if not unavailable:
            assert busy_unavailable == 0

    for row in not_needed:
        assert row[3] in away_classes or options.get("co_taught_no_cover"), row


# The model on its own: it runs whatever build is installed.

@EXAMPLES
@given(days(part_day=False))
def test_model_without_a_policy_is_the_default_model(day):
    head, covers, uncovered = model_plan(*day)
    for policy in (None, default_policy()):
        model_head, model_covers, model_uncovered, not_needed = model_policy_plan(*day, policy)
        assert model_head == head
        assert model_covers == covers
        assert [row[:8] for row in model_uncovered] == uncovered
        assert all(row[8:] == (0, 0) for row in model_uncovered)
        assert not_needed == []


@EXAMPLES
@given(days(part_day=False), st.data())
def test_model_with_options_that_change_nothing_is_the_default_model(day, data):
    teachers, lessons, absences = day
    names = [name for name, _ in teachers]
    options = {
        "max_covers": data.draw(st.sampled_from([None, len(lessons)])),
        "prior_covers": data.draw(st.dictionaries(st.sampled_from(names), st.just(0))),
        "unavailable": data.draw(st.dictionaries(st.sampled_from(names), st.just([]))),
        "away_classes": (),
    }
    head, covers, uncovered = model_plan(*day)
    model_head, model_covers, model_uncovered, not_needed = model_day(*day, options)
    assert (model_head, model_covers, [row[:8] for row in model_uncovered], not_needed) == (
        head, covers, uncovered, [])


@EXAMPLES
@given(days_with_policies())
def test_model_keeps_the_promises(case):
    teachers, lessons, absences, options = case
    _, covers, uncovered, not_needed = model_day(*case)
    check_promises(teachers, lessons, absences, options, covers, uncovered, not_needed)
    assert model_day(*case)[1:] == (covers, uncovered, not_needed)


# plan() with policies.

@EXAMPLES
@given(days_with_policies())
def test_plan_follows_the_rules(case):
    teachers, lessons, absences, options = case
    day = plan(teachers, lessons, absences, policy=Policy(**options))
    head, covers, uncovered, not_needed = model_day(*case)
    assert rows_of(day) == (covers, uncovered, not_needed)
    assert [u.why for u in day.uncovered] == [why_uncovered(row[1], *row[5:]) for row in uncovered]
    assert day.report(timing=False) == head


@pytest.mark.parametrize("focus", OPTIONS)
@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(data=st.data())
def test_plan_follows_the_rules_option_by_option(focus, data):
    # One option always on, and set so that it bites (a cap of at most 2, some teacher
    # unavailable, some class away...), the others at random.
    case = data.draw(days_with_policies(focus=focus))
    teachers, lessons, absences, options = case
    day = plan(teachers, lessons, absences, policy=Policy(**options))
    head, covers, uncovered, not_needed = model_day(*case)
    assert rows_of(day) == (covers, uncovered, not_needed)
    assert day.report(timing=False) == head
    check_promises(teachers, lessons, absences, options, *rows_of(day))


@EXAMPLES
@given(days_with_policies())
def test_plan_keeps_the_promises(case):
    teachers, lessons, absences, options = case
    policy = Policy(**options)
    day = plan(teachers, lessons, absences, policy=policy)
    check_promises(teachers, lessons, absences, options, *rows_of(day))
    assert all(isinstance(n, NotNeeded) for n in day.not_needed)
    # The report has a row per cover and a missing line per uncovered lesson, and nothing more.
    rows, missing = parse_report(day.report(timing=False))
    assert rows == [[c.absent, str(c.period), c.subject, c.substitute, c.class_name, c.reason] for c in day.covers]
    assert missing == [(u.absent, u.period, u.class_name) for u in day.uncovered]
    again = plan(teachers, lessons, absences, policy=policy)
    assert rows_of(again) == rows_of(day)
    assert again.report(timing=False) == day.report(timing=False)


@EXAMPLES
@given(days())
def test_an_empty_policy_is_no_policy(day):
    without = plan(*day)
    for policy in (Policy(), None):
        with_policy = plan(*day, policy=policy)
        assert with_policy.report(timing=False) == without.report(timing=False)
        assert with_policy.covers == without.covers
        assert with_policy.uncovered == without.uncovered
        assert [u.why for u in with_policy.uncovered] == [u.why for u in without.uncovered]
        assert tuple(with_policy.not_needed) == tuple(without.not_needed) == ()


@EXAMPLES
@given(days(part_day=False))
def test_an_empty_policy_is_the_default_planner(day):
    head, covers, uncovered = model_plan(*day)
    result = plan(*day, policy=Policy())
    assert result.report(timing=False) == head
    assert [cover_row(c) for c in result.covers] == covers
    assert [row[:8] for row in rows_of(result)[1]] == uncovered


# Small days worked by hand: each option alone, and some together.  Teachers are listed by
# pairs then by the order given; loads are pairs plus prior covers plus covers so far.

def cover(absent, period, substitute, class_name, rule, subject="Maths", reason="Sick"):
    return (absent, period, subject, substitute, class_name, reason, rule)


HAND_WORKED = {
    "cap": (
        [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "art")],
        [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Asha", 3, "10A"), ("Ben", 4, "10B")],
        {"Asha": "Sick"}, {"max_covers": 1},
        # Cleo (no pairs) heads the list; Ben is the only colleague.
        [cover("Asha", 1, "Ben", "10A", "subject"), cover("Asha", 2, "Cleo", "10A", "any")],
        [("Asha", 3, "Maths", "10A", "Sick", 2, 0, 0, 0, 2)], [],
    ),
    "prior covers": (
        [("Asha", "maths"), ("Ben", "maths"), ("Dev", "maths")],
        [("Asha", 1, "10A"), ("Ben", 2, "10B"), ("Dev", 3, "10C")],
        {"Asha": "Sick"}, {"prior_covers": {"Ben": 2}},
        [cover("Asha", 1, "Dev", "10A", "subject")], [], [],
    ),
    "unavailable": (
        [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "art")],
        [("Asha", 1, "10A"), ("Cleo", 2, "10B")],
        {"Asha": "Sick"}, {"unavailable": {"Ben": [1], "Cleo": [1]}},
        [], [("Asha", 1, "Maths", "10A", "Sick", 2, 0, 0, 2, 0)], [],
    ),
    "part-day absence": (
        [("Asha", "maths"), ("Ben", "maths")],
        [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 1, "10B")],
        {"Asha": ("Sick", [1])}, {},
        # Asha teaches 10A in period 2 herself and, absent in period 1, may not cover it.
        [], [("Asha", 1, "Maths", "10A", "Sick", 1, 1, 0, 0, 0)], [],
    ),
    "part-day absentee covers when back": (
        [("Asha", "maths"), ("Ben", "art"), ("Cleo", "maths")],
        [("Asha", 1, "10A"), ("Cleo", 2, "10B"), ("Ben", 2, "10C")],
        {"Asha": ("Sick", [1]), "Cleo": "Course"}, {},
        # Nobody of maths is there in period 1; Asha, back in period 2, covers Cleo's lesson.
        [cover("Asha", 1, "Ben", "10A", "any"), cover("Cleo", 2, "Asha", "10B", "subject", reason="Course")],
        [], [],
    ),
    "doubles": (
        [("Asha", "maths"), ("Ben", "maths"), ("Dev", "maths")],
        [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 3, "10B"), ("Dev", 3, "10C")],
        {"Asha": "Sick"}, {"keep_doubles": True},
        # Ben and Dev share the least load in period 1 and Ben comes first.  In period 2 Ben
        # keeps the double although Dev is less loaded after Ben's first cover.
        [cover("Asha", 1, "Ben", "10A", "subject"), cover("Asha", 2, "Ben", "10A", "double")], [], [],
    ),
    "doubles off": (
        [("Asha", "maths"), ("Ben", "maths"), ("Dev", "maths")],
        [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 3, "10B"), ("Dev", 3, "10C")],
        {"Asha": "Sick"}, {},
        [cover("Asha", 1, "Ben", "10A", "subject"), cover("Asha", 2, "Dev", "10A", "subject")], [], [],
    ),
    "double from the later period": (
        [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "maths")],
        [("Asha", 3, "10A"), ("Asha", 2, "10A"), ("Ben", 3, "10B")],
        {"Asha": "Sick"}, {"keep_doubles": True},
        [cover("Asha", 3, "Cleo", "10A", "subject"), cover("Asha", 2, "Cleo", "10A", "double")], [], [],
    ),
    "combined": (
        [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "art")],
        [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 1, "10C"), ("Asha", 2, "10D")],
        {"Asha": "Sick"}, {"combined_lessons": True, "max_covers": 2},
        # The three lessons of period 1 are one cover: Ben is still under the cap in period 2.
        [cover("Asha", 1, "Ben", "10A", "subject"), cover("Asha", 1, "Ben", "10B", "combined"),
         cover("Asha", 1, "Ben", "10C", "combined"), cover("Asha", 2, "Ben", "10D", "subject")], [], [],
    ),
    "combined in class order": (
        [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "art")],
        [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 2, "10A")],
        {"Asha": "Sick"}, {"combined_lessons": True, "max_covers": 1},
        # Lessons are taken class by class: 10A's period 2 comes before 10B's period 1.
        [cover("Asha", 1, "Ben", "10A", "subject"), cover("Asha", 2, "Cleo", "10A", "any"),
         cover("Asha", 1, "Ben", "10B", "combined")], [], [],
    ),
    "combined with nobody free": (
        [("Asha", "maths"), ("Ben", "maths")],
        [("Ben", 1, "10C"), ("Asha", 1, "10A"), ("Asha", 1, "10B")],
        {"Asha": "Sick"}, {"combined_lessons": True},
        [], [("Asha", 1, "Maths", "10A", "Sick", 1, 1, 0, 0, 0),
             ("Asha", 1, "Maths", "10B", "Sick", 1, 1, 0, 0, 0)], [],
    ),
    "co-taught": (
        [("Asha", "maths"), ("Ben", "art"), ("Cleo", "maths")],
        [("Asha", 1, "10A"), ("Ben", 1, "10A"), ("Asha", 2, "10A"), ("Cleo", 2, "10A")],
        {"Asha": "Sick", "Cleo": ("Sick", [2])}, {"co_taught_no_cover": True},
        # Cleo is away in period 2, so the lesson there needs cover after all.
        [cover("Asha", 2, "Ben", "10A", "any")], [("Cleo", 2, "Maths", "10A", "Sick", 1, 0, 1, 0, 0)],
        [("Asha", 1, "Maths", "10A", "Sick", "Ben also teaches 10A in period 1")],
    ),
    "supply after any, in the day's order": (
        [("Asha", "maths"), ("Sam", "maths"), ("Ben", "art"), ("Zed", "art")],
        [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 1, "10B"), ("Sam", 3, "10C")],
        {"Asha": "Sick"}, {"supply": ["Zed", "Sam"]},
        # Sam, of Asha's subject, is supply: no colleague. In period 1 Ben teaches, and Sam
        # comes before Zed in the day's teachers though after him in list order (more
        # lessons). In period 2 Ben is free and takes it by the any rule.
        [cover("Asha", 1, "Sam", "10A", "supply"), cover("Asha", 2, "Ben", "10A", "any")], [], [],
    ),
    "supply keeps a double": (
        [("Asha", "maths"), ("Sam", "maths"), ("Ben", "art"), ("Zed", "art")],
        [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 1, "10B"), ("Sam", 3, "10C")],
        {"Asha": "Sick"}, {"supply": ["Zed", "Sam"], "keep_doubles": True},
        [cover("Asha", 1, "Sam", "10A", "supply"), cover("Asha", 2, "Sam", "10A", "supply")], [], [],
    ),
    "supply staff busy are counted": (
        [("Asha", "maths"), ("Sam", "art"), ("Zed", "art")],
        [("Asha", 1, "10A"), ("Sam", 1, "10B")],
        {"Asha": "Sick"}, {"supply": ["Sam", "Zed"], "unavailable": {"Zed": [1]}},
        [], [("Asha", 1, "Maths", "10A", "Sick", 2, 1, 0, 1, 0)], [],
    ),
    "away class": (
        [("Asha", "maths"), ("Ben", "art")],
        [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Ben", 1, "10B")],
        {"Asha": "Sick"}, {"away_classes": ["10B"]},
        # Ben's only lesson in period 1 is with 10B, away: he is free.
        [cover("Asha", 1, "Ben", "10A", "any")], [],
        [("Asha", 1, "Maths", "10B", "Sick", "class 10B is away")],
    ),
}


@pytest.mark.parametrize("name", HAND_WORKED)
def test_model_on_days_worked_by_hand(name):
    teachers, lessons, absences, options, covers, uncovered, not_needed = HAND_WORKED[name]
    assert model_day(teachers, lessons, absences, options)[1:] == (covers, uncovered, not_needed)


@pytest.mark.parametrize("name", HAND_WORKED)
def test_plan_on_days_worked_by_hand(name):
    teachers, lessons, absences, options, covers, uncovered, not_needed = HAND_WORKED[name]
    assert rows_of(plan(teachers, lessons, absences, policy=Policy(**options))) == (covers, uncovered, not_needed)


@pytest.mark.parametrize("present, teaching, covering, unavailable, at_cap, why", [
    (5, 2, 1, 1, 1, "all 5 present teachers are busy in period 3: 2 teach, 1 covers, 1 unavailable, 1 at the cap"),
    (4, 1, 0, 0, 3, "all 4 present teachers are busy in period 3: 1 teaches, 0 cover, 3 at the cap"),
    (3, 0, 1, 2, 0, "all 3 present teachers are busy in period 3: 0 teach, 1 covers, 2 unavailable"),
    (3, 2, 1, 0, 0, "all 3 present teachers are busy in period 3: 2 teach, 1 covers"),
    (1, 0, 0, 1, 0, "the only present teacher is busy in period 3: is unavailable"),
    (1, 0, 0, 0, 1, "the only present teacher is busy in period 3: is at the cap"),
    (0, 0, 0, 0, 0, "no teacher is present"),
])
def test_why_counts_the_unavailable_and_those_at_the_cap(present, teaching, covering, unavailable, at_cap, why):
    assert why_uncovered(3, present, teaching, covering, unavailable, at_cap) == why
    record = lessoncover_planner.Uncovered("Asha", 3, "Maths", "10A", "Sick", present, teaching, covering,
                                           unavailable, at_cap)
    assert record.why == why


# Bad policies.

DAY = ([("Asha", "maths"), ("Ben", "art")], [("Asha", 1, "10A"), ("Ben", 2, "10B")])


@pytest.mark.parametrize("options, absences, error", [
    ({"max_covers": -1}, {"Asha": None}, ValueError),
    ({"prior_covers": {"Nobody": 1}}, {"Asha": None}, ValueError),
    ({"prior_covers": {"Ben": -1}}, {"Asha": None}, ValueError),
    ({"unavailable": {"Nobody": [1]}}, {"Asha": None}, ValueError),
    ({"away_classes": ["10Z"]}, {"Asha": None}, ValueError),
    ({"away_classes": ["10a"]}, {"Asha": None}, ValueError),
    ({}, {"Asha": ("Sick", ())}, ValueError),
    ({}, {"Asha": ("Sick", [])}, ValueError),
    ({"max_covers": "2"}, {"Asha": None}, TypeError),
    ({"max_covers": 1.5}, {"Asha": None}, TypeError),
    ({"prior_covers": {"Ben": "1"}}, {"Asha": None}, TypeError),
    ({"unavailable": {"Ben": 1}}, {"Asha": None}, TypeError),
    ({"unavailable": {"Ben": ["1"]}}, {"Asha": None}, TypeError),
    ({}, {"Asha": ("Sick", ["1"])}, TypeError),
    ({}, {"Asha": ("Sick", 1)}, TypeError),
], ids=lambda value: repr(value) if isinstance(value, dict) else None)
def test_bad_policies_are_refused(options, absences, error):
    with pytest.raises(error):
        plan(*DAY, absences, policy=Policy(**options))


def test_policy_is_frozen_and_off_by_default():
    policy = Policy()
    assert (policy.max_covers, dict(policy.prior_covers), dict(policy.unavailable), policy.keep_doubles,
            policy.combined_lessons, policy.co_taught_no_cover, tuple(policy.away_classes)) == (
        None, {}, {}, False, False, False, ())
    with pytest.raises((dataclasses.FrozenInstanceError, AttributeError)):
        policy.max_covers = 1  # type: ignore[misc]


def test_a_policy_keeps_what_it_was_given():
    teachers = [("Asha", "maths"), ("Ben", "maths"), ("Dev", "maths")]
    lessons = [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 2, "10B"), ("Dev", 3, "10C")]
    prior = {"Ben": 0}
    # One-shot iterables are read once, and the caller's mapping changing later changes nothing:
    # Ben is unavailable in period 1, free in period 2 with 10B away, and the less loaded then.
    policy = Policy(prior_covers=prior, unavailable={"Ben": (p for p in [1])}, away_classes=iter(["10B"]))
    prior["Ben"] = 9
    expected = [cover("Asha", 1, "Dev", "10A", "subject"), cover("Asha", 2, "Ben", "10A", "subject")]
    for _ in range(2):
        day = plan(teachers, lessons, {"Asha": "Sick"}, policy=policy)
        assert rows_of(day) == (expected, [], [])
