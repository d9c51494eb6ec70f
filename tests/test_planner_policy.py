"""Cover policies, one small day per option, each worked out by hand.

The teachers are listed in this order; Asha is the absentee unless a case says
otherwise.  With no lessons of their own Ben and Cleo hold 0 lessons, so they
tie, and the list order (fewest lessons first, then as given) breaks the tie.
"""
import dataclasses

import pytest

from lessoncover_planner import NotNeeded, Policy, plan

TEACHERS = [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "maths"), ("Dev", "english")]
THREE_PERIODS = [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Asha", 3, "10A"), ("Cleo", 5, "10B")]


def covers(day):
    """(period, class, substitute, rule) of each cover, in report order."""
    return [(c.period, c.class_name, c.substitute, c.rule) for c in day.covers]


def counts(day):
    """(period, present, teaching, covering, unavailable, at cap) of each uncovered lesson."""
    return [(u.period, u.present_teachers, u.busy_teaching, u.busy_covering, u.busy_unavailable, u.at_cap)
            for u in day.uncovered]


@pytest.mark.parametrize("policy, expected_covers, expected_counts", [
    # Ben holds 0 lessons, Cleo 1: Ben takes period 1; at 1 each the list order gives Ben
    # period 2, and Cleo, now the one with fewer, period 3.
    (None, [(1, "10A", "Ben", "subject"), (2, "10A", "Ben", "subject"), (3, "10A", "Cleo", "subject")], []),
    # One cover each: Ben, then Cleo; then both are at the cap, and Dev (english, any rule).
    (Policy(max_covers=1),
     [(1, "10A", "Ben", "subject"), (2, "10A", "Cleo", "subject"), (3, "10A", "Dev", "any")], []),
    # No covers at all: everyone present is at the cap.
    (Policy(max_covers=0), [], [(p, 3, 0, 0, 0, 3) for p in (1, 2, 3)]),
    # Ben has 2 covers from earlier in the week: Cleo (1) ranks first and, listed before
    # Ben now, wins the tie at 2; then Ben (2) has fewer than Cleo (3).
    (Policy(prior_covers={"Ben": 2}),
     [(1, "10A", "Cleo", "subject"), (2, "10A", "Cleo", "subject"), (3, "10A", "Ben", "subject")], []),
    # Ben has a duty in periods 1 and 2.
    (Policy(unavailable={"Ben": [1, 2]}),
     [(1, "10A", "Cleo", "subject"), (2, "10A", "Cleo", "subject"), (3, "10A", "Ben", "subject")], []),
    # Nobody can cover period 2: Ben and Dev are unavailable, Cleo is at the cap from period 1.
    (Policy(unavailable={"Ben": [2], "Dev": [2]}, max_covers=1, prior_covers={"Ben": 5}),
     [(1, "10A", "Cleo", "subject"), (3, "10A", "Ben", "subject")], [(2, 3, 0, 0, 2, 1)]),
])
def test_caps_prior_covers_and_unavailable_periods(policy, expected_covers, expected_counts):
    day = plan(TEACHERS, THREE_PERIODS, {"Asha": "Sick"}, policy=policy)
    assert covers(day) == expected_covers
    assert counts(day) == expected_counts


def test_why_names_the_unavailable_and_those_at_the_cap():
    day = plan(TEACHERS, THREE_PERIODS, {"Asha": "Sick"},
               policy=Policy(unavailable={"Ben": [2], "Dev": [2]}, max_covers=1, prior_covers={"Ben": 5}))
    assert [u.why for u in day.uncovered] == [
        "all 3 present teachers are busy in period 2: 0 teach, 0 cover, 2 unavailable, 1 at the cap"]
    assert day.report(timing=False).endswith('"Couldnt find a substitution for Asha at 2-\\"10A\\"\\n"')


def test_a_part_day_absence_needs_cover_only_in_its_periods_and_frees_the_teacher_in_others():
    lessons = [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Asha", 3, "10A"),
               ("Ben", 4, "10D"), ("Cleo", 4, "10B"), ("Dev", 4, "10C")]
    day = plan(TEACHERS, lessons, {"Asha": ("Dentist", [2, 3]), "Dev": "Course"})
    # Asha teaches period 1 herself. Ben and Cleo hold 1 lesson each (Ben listed first);
    # in period 4 only Asha is free, so she covers Dev's english lesson (any rule).
    assert covers(day) == [(2, "10A", "Ben", "subject"), (3, "10A", "Cleo", "subject"),
                           (4, "10C", "Asha", "any")]
    assert [(c.absent, c.reason) for c in day.covers] == [("Asha", "Dentist"), ("Asha", "Dentist"), ("Dev", "Course")]
    report = day.report(timing=False)
    assert "Asha,1," not in report and "Asha,2,Maths,Ben,10A,Dentist" in report


def test_a_part_day_absentee_is_not_counted_present_in_its_absent_periods():
    day = plan([("Asha", "maths"), ("Ben", "maths")], [("Asha", 1, "10A"), ("Ben", 1, "10B"), ("Ben", 2, "10B")],
               {"Ben": ("Course", [2])}, policy=Policy(unavailable={"Asha": [2]}))
    assert covers(day) == [] and counts(day) == [(2, 1, 0, 0, 1, 0)]
    assert day.uncovered[0].why == "the only present teacher is busy in period 2: is unavailable"


@pytest.mark.parametrize("keep_doubles, expected", [
    # Ben takes period 1; for period 2 Cleo has fewer lessons, so the double is split.
    (False, [(1, "10A", "Ben", "subject"), (2, "10A", "Cleo", "subject")]),
    (True, [(1, "10A", "Ben", "subject"), (2, "10A", "Ben", "double")]),
])
def test_keep_doubles_gives_both_periods_to_one_substitute(keep_doubles, expected):
    day = plan(TEACHERS, [("Asha", 1, "10A"), ("Asha", 2, "10A")], {"Asha": None},
               policy=Policy(keep_doubles=keep_doubles))
    assert covers(day) == expected


def test_a_double_looks_at_the_period_before_first_and_only_at_decided_lessons():
    # Registered 3, 2, 1: period 3 is decided first (Ben), then 2 follows 3 (the period
    # after, as nothing before is decided), then 1 follows 2.
    lessons = [("Asha", 3, "10A"), ("Asha", 2, "10A"), ("Asha", 1, "10A")]
    day = plan(TEACHERS, lessons, {"Asha": None}, policy=Policy(keep_doubles=True))
    assert covers(day) == [(3, "10A", "Ben", "subject"), (2, "10A", "Ben", "double"), (1, "10A", "Ben", "double")]
    # Ben teaches period 2 in another class: the double cannot follow, the usual rules apply.
    day = plan(TEACHERS, [("Asha", 1, "10A"), ("Asha", 2, "10A"), ("Ben", 2, "10C")], {"Asha": None},
               policy=Policy(keep_doubles=True))
    assert covers(day) == [(1, "10A", "Cleo", "subject"), (2, "10A", "Cleo", "double")]


@pytest.mark.parametrize("period", [-32768, 32767])
def test_doubles_at_the_ends_of_the_period_range(period):
    step = 1 if period < 0 else -1
    lessons = [("Asha", period, "10A"), ("Asha", period + step, "10A")]
    day = plan(TEACHERS, lessons, {"Asha": None}, policy=Policy(keep_doubles=True))
    assert covers(day) == [(period, "10A", "Ben", "subject"), (period + step, "10A", "Ben", "double")]


@pytest.mark.parametrize("policy, expected", [
    (None, [(1, "10A", "Ben", "subject"), (1, "10B", "Cleo", "subject"), (1, "10C", "Dev", "any")]),
    (Policy(combined_lessons=True),
     [(1, "10A", "Ben", "subject"), (1, "10B", "Ben", "combined"), (1, "10C", "Ben", "combined")]),
])
def test_combined_lessons_go_to_one_substitute(policy, expected):
    lessons = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 1, "10C")]
    assert covers(plan(TEACHERS, lessons, {"Asha": None}, policy=policy)) == expected


def test_a_combined_set_counts_as_one_cover():
    # Cleo and Dev teach in period 2, so only Ben can take it: with a cap of 2 he still
    # may, as his two lessons in period 1 were one cover.
    lessons = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Asha", 2, "10C"), ("Cleo", 2, "10D"), ("Dev", 2, "10E")]
    day = plan(TEACHERS, lessons, {"Asha": None}, policy=Policy(combined_lessons=True, max_covers=2))
    assert covers(day) == [(1, "10A", "Ben", "subject"), (1, "10B", "Ben", "combined"), (2, "10C", "Ben", "subject")]
    day = plan(TEACHERS, lessons, {"Asha": None}, policy=Policy(combined_lessons=True, max_covers=1))
    assert covers(day)[-1] == (1, "10B", "Ben", "combined") and counts(day) == [(2, 3, 2, 0, 0, 1)]


def test_a_follower_of_an_uncovered_lesson_stays_uncovered():
    lessons = [("Asha", 1, "10A"), ("Asha", 1, "10B"), ("Ben", 1, "10C"), ("Cleo", 1, "10D"), ("Dev", 1, "10E")]
    day = plan(TEACHERS, lessons, {"Asha": None}, policy=Policy(combined_lessons=True))
    assert covers(day) == [] and counts(day) == [(1, 3, 3, 0, 0, 0), (1, 3, 3, 0, 0, 0)]


def test_co_taught_and_away_lessons_need_no_cover():
    lessons = [("Asha", 1, "10A"), ("Ben", 1, "10A"), ("Asha", 2, "10A"),
               ("Asha", 3, "10B"), ("Cleo", 3, "10B"), ("Ben", 2, "10B")]
    day = plan(TEACHERS, lessons, {"Asha": "Sick"},
               policy=Policy(co_taught_no_cover=True, away_classes={"10B"}))
    assert day.not_needed == (
        NotNeeded("Asha", 1, "Maths", "10A", "Sick", "Ben also teaches 10A in period 1"),
        NotNeeded("Asha", 3, "Maths", "10B", "Sick", "class 10B is away"),
    )
    # Ben's period-2 lesson is with 10B, which is away: he is free, and with 2 lessons
    # against Cleo's 1 the subject rule still picks Cleo.
    assert covers(day) == [(2, "10A", "Cleo", "subject")]
    assert day.report(timing=False).count("Asha,") == 1


def test_a_teacher_whose_class_is_away_may_cover():
    lessons = [("Asha", 1, "10A"), ("Ben", 1, "10B"), ("Cleo", 1, "10C"), ("Dev", 1, "10D")]
    assert covers(plan(TEACHERS, lessons, {"Asha": None})) == []
    day = plan(TEACHERS, lessons, {"Asha": None}, policy=Policy(away_classes=["10B"]))
    assert covers(day) == [(1, "10A", "Ben", "subject")]


def test_a_co_teacher_absent_in_that_period_does_not_count():
    lessons = [("Asha", 1, "10A"), ("Ben", 1, "10A")]
    day = plan(TEACHERS, lessons, {"Asha": None, "Ben": ("Meeting", [1])}, policy=Policy(co_taught_no_cover=True))
    assert day.not_needed == () and covers(day) == [(1, "10A", "Cleo", "subject"), (1, "10A", "Dev", "any")]


def test_every_option_off_plans_as_no_policy():
    lessons = THREE_PERIODS + [("Ben", 1, "10B"), ("Dev", 2, "10A")]
    without = plan(TEACHERS, lessons, {"Asha": "Sick"})
    with_default = plan(TEACHERS, lessons, {"Asha": "Sick"}, policy=Policy())
    assert with_default.report(timing=False) == without.report(timing=False)
    assert (with_default.covers, with_default.uncovered, with_default.not_needed) == (
        without.covers, without.uncovered, ())


@pytest.mark.parametrize("absences, policy, error, words", [
    ({"Asha": None}, Policy(prior_covers={"Zed": 1}), ValueError, "policy.prior_covers: 'Zed' is not a teacher"),
    ({"Asha": None}, Policy(unavailable={"Zed": [1]}), ValueError, "policy.unavailable: 'Zed' is not a teacher"),
    ({"Asha": None}, Policy(away_classes={"10Z"}), ValueError, "policy.away_classes: no lesson is in class '10Z'"),
    ({"Asha": ("Dentist", ())}, None, ValueError, "absences['Asha']: a part-day absence needs periods"),
    ({"Asha": ("Dentist", [1, 40000])}, None, ValueError, "absences['Asha']: period 40000 is outside"),
    ({"Asha": ("Dentist", 3)}, None, TypeError, "absences['Asha']: expected (reason, periods)"),
    ({"Asha": ("Dentist", ["3"])}, None, TypeError, "absences['Asha']: a period must be an int"),
    ({"Asha": ("Dentist", [1], "x")}, None, TypeError, "absences['Asha']: expected a reason or (reason, periods)"),
    ({"Asha": (3, [1])}, None, TypeError, "absences['Asha']: reason must be a str or None"),
    ({"Asha": None}, {"max_covers": 1}, TypeError, "policy must be a Policy or None, not dict"),
])
def test_bad_policies_and_part_day_absences_are_refused(absences, policy, error, words):
    with pytest.raises(error) as refused:
        plan(TEACHERS, THREE_PERIODS, absences, policy=policy)
    assert words in str(refused.value)


def test_planning_changes_neither_the_policy_nor_the_inputs():
    policy = Policy(max_covers=1, prior_covers={"Ben": 1}, unavailable={"Cleo": [2]}, keep_doubles=True,
                    combined_lessons=True, co_taught_no_cover=True, away_classes=["10B"])
    absences = {"Asha": ("Sick", [1, 2, 3])}
    first = plan(TEACHERS, THREE_PERIODS, absences, policy=policy)
    second = plan(TEACHERS, THREE_PERIODS, absences, policy=policy)
    assert absences == {"Asha": ("Sick", [1, 2, 3])}
    assert dataclasses.astuple(first.covers[0]) == dataclasses.astuple(second.covers[0])
    assert (first.covers, first.uncovered, first.not_needed) == (second.covers, second.uncovered, second.not_needed)


@pytest.mark.parametrize("order", ["together", "apart"])
def test_a_class_named_by_equal_but_distinct_strs_is_one_class(order):
    """Classes are told apart by their text, whichever str objects name them and however
    their lessons are ordered."""
    def fresh(text):
        return "".join(list(text))  # an equal str, not the same object

    asha, ben = ("Asha", 1, fresh("10A")), ("Ben", 1, fresh("10A"))
    other = ("Cleo", 2, fresh("10B"))
    lessons = [asha, ben, other] if order == "together" else [asha, other, ben]
    assert asha[2] is not ben[2]
    day = plan(TEACHERS, lessons, {"Asha": "Sick"}, policy=Policy(co_taught_no_cover=True, away_classes=[fresh("10B")]))
    assert day.not_needed == (NotNeeded("Asha", 1, "Maths", "10A", "Sick", "Ben also teaches 10A in period 1"),)
    assert covers(day) == []
