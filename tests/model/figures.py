"""A plan's figures, read off its covers and the day the plain way: what ``CoverPlan.summary``
must hold, whichever strategy made the plan.

A cover is what ``max_covers`` counts: with combined lessons the lessons of one absent
teacher in one period that one substitute takes are one cover, otherwise every lesson is
one.  A teacher's load is its prior covers plus its covers today.
"""
from collections import Counter
from typing import NamedTuple


class Figures(NamedTuple):
    """The fields of PlanSummary, in its order."""
    covered: int
    subject: int
    supply: int
    doubles_kept: int
    largest_load: int
    sum_of_squares: int
    knows_class: int


def covers_counted(cover_rows, combined):
    """{cover: (absent, substitute, classes)}, from (absent, period, class, substitute) rows."""
    counted = {}
    for absent, period, class_name, substitute in cover_rows:
        key = (absent, period, substitute) if combined else (absent, period, class_name)
        counted.setdefault(key, (absent, substitute, set()))[2].add(class_name)
    return counted


def loads(counted, day):
    """Each present teacher's load: prior covers plus covers today (teachers away all day
    have none to carry)."""
    today = Counter(substitute for _, substitute, _ in counted.values())
    return {t: day.prior[t] + today[t] for t in (*day.teachers, *day.supply)}, today


def plan_figures(cover_rows, day, policy):
    """The Figures of a plan whose covers are (absent, period, class, substitute) rows."""
    counted = covers_counted(cover_rows, policy.combined_lessons)
    supply = set(day.supply)
    load, today = loads(counted, day)
    by_lesson = {(a, p, c): s for a, p, c, s in cover_rows}
    return Figures(
        covered=len(cover_rows),
        subject=sum(s not in supply and day.subjects[s][0] == day.subjects[a][0] for a, s, _ in counted.values()),
        supply=sum(s in supply for _, s, _ in counted.values()),
        doubles_kept=sum(by_lesson.get((a, p + 1, c)) == s for (a, p, c), s in by_lesson.items()),
        largest_load=max((load[t] for t in today), default=0),
        sum_of_squares=sum(value * value for value in load.values()),
        knows_class=sum(any(c in knows(day, s) for c in classes) for _, s, classes in counted.values()),
    )


def knows(day, teacher):
    """The classes a teacher has a lesson with today, in any period."""
    return {class_name for _, class_name in day.pairs[teacher]}
