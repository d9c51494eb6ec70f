"""The rules of cover, written once: how each absent lesson is answered, in which order.

The lessons are decided one after the other, in the order given, and each cover is
booked before the next lesson is decided.  A lesson is answered by the first of:

0. it is pinned: its substitute, rule "pinned" (pins are booked before the first lesson);
1. its class is away: not needed;
2. another teacher present in that period has a registered lesson in that class and
   period: not needed (when co-taught lessons need no cover);
3. a later lesson of an absent teacher and period already planned in another class: the
   same substitute, rule "combined", or uncovered with it (when lessons are combined);
4. the substitute of the same teacher's lesson in the same class at p-1, then p+1, if
   free then: rule "double" (when doubles are kept), or "supply" when that substitute is supply staff;
5. the least loaded free colleague of the subject (the first in list order among equals):
   rule "subject";
6. the first free teacher in list order: rule "any";
7. the first free supply teacher in the order the day lists its teachers: rule "supply"
   (supply staff are paid for each cover, so they never take one by rule 5 or 6);
8. uncovered, with every teacher present in that period counted once, in the first group
   that fits: covering, teaching, unavailable, at the cap.

What "free", "loaded", "colleague" and "list order" mean is the day's to answer: the
rules ask it, and it books the covers.  Two days answer them: the plain data of a day
(day.py, with every policy) and the records of the module's school (module_api.py, with
no policy).  A day offers

- ``teachers``: the candidates, in list order, supply staff aside;
- ``supply``: the supply staff who may cover, in the day's own order;
- ``colleagues(absent)``: the candidates of the absent teacher's subject, in list order;
- ``load(teacher)``: lessons and covers, the fewer the sooner a colleague is chosen;
- ``busy(teacher, period)``: None when the teacher may cover then, otherwise the first of
  "away", "covering", "teaching", "unavailable", "at cap" that holds;
- ``co_teacher(lesson)``: a teacher present then who also teaches the class, or None;
- ``book(lesson, cover)``: the cover given.

Nothing here is clever: every question is answered by scanning the plain data.
"""
from types import SimpleNamespace
from typing import NamedTuple


class Cover(NamedTuple):
    substitute: object
    rule: str


class NotNeeded(NamedTuple):
    why: str


class Uncovered(NamedTuple):
    """Why nobody took the lesson: the teachers present then, by what keeps each busy."""
    present: int
    teaching: int
    covering: int
    unavailable: int
    at_cap: int


def default_policy():
    """The options of Policy() with everything off."""
    return SimpleNamespace(max_covers=None, prior_covers={}, unavailable={}, keep_doubles=False,
                           combined_lessons=False, co_taught_no_cover=False, away_classes=(), pinned=(),
                           supply=frozenset())


def answer_lessons(lessons, day, policy):
    """(lesson, answer) of each lesson (absent, period, class), decided in the order given."""
    pinned = {(absent, period, class_name): substitute for absent, period, class_name, substitute in policy.pinned}
    decided = {}   # lesson -> its substitute, or None when nobody took it
    leaders = {}   # (absent, period) -> the first lesson of a combined set
    answers = []
    for lesson in lessons:
        answer = decide(lesson, day, policy, pinned, decided, leaders)
        if isinstance(answer, Cover):
            decided[lesson] = answer.substitute
            if answer.rule != "pinned":
                day.book(lesson, answer)
        elif isinstance(answer, Uncovered):
            decided[lesson] = None
        answers.append((lesson, answer))
    return answers


def decide(lesson, day, policy, pinned, decided, leaders):
    """The answer to one lesson: a Cover, NotNeeded or Uncovered."""
    absent, period, class_name = lesson
    if lesson in pinned:
        leaders.setdefault((absent, period), lesson)
        return Cover(pinned[lesson], "pinned")
    not_needed = why_not_needed(lesson, day, policy)
    if not_needed is not None:
        return not_needed

    leader = leaders.setdefault((absent, period), lesson)
    if policy.combined_lessons and leader != lesson:
        substitute = decided[leader]
        return Cover(substitute, "combined") if substitute is not None else uncovered(day, period)
    if policy.keep_doubles:
        for neighbour in (period - 1, period + 1):
            substitute = decided.get((absent, neighbour, class_name))
            if substitute is not None and day.busy(substitute, period) is None:
                return Cover(substitute, "supply" if substitute in day.supply else "double")
    for colleague in sorted(day.colleagues(absent), key=day.load):
        if day.busy(colleague, period) is None:
            return Cover(colleague, "subject")
    for teacher in day.teachers:
        if day.busy(teacher, period) is None:
            return Cover(teacher, "any")
    for teacher in day.supply:
        if day.busy(teacher, period) is None:
            return Cover(teacher, "supply")
    return uncovered(day, period)


def why_not_needed(lesson, day, policy):
    """NotNeeded when the policy says the (unpinned) lesson needs no cover, otherwise None."""
    absent, period, class_name = lesson
    if class_name in policy.away_classes:
        return NotNeeded(f"class {class_name} is away")
    partner = day.co_teacher(lesson) if policy.co_taught_no_cover else None
    if partner is not None:
        return NotNeeded(f"{partner} also teaches {class_name} in period {period}")
    return None


def uncovered(day, period):
    groups = [day.busy(teacher, period) for teacher in (*day.teachers, *day.supply)]
    present = [group for group in groups if group != "away"]
    return Uncovered(len(present), present.count("teaching"), present.count("covering"),
                     present.count("unavailable"), present.count("at cap"))


def _count(number, singular, plural):
    return f"{number} {singular if number == 1 else plural}"


def why_uncovered(period, present, teaching, covering, unavailable, at_cap):
    """The sentence that says why nobody took a lesson."""
    if present == 0:
        return "no teacher is present"
    if present == 1:
        doing = ("teaches" if teaching else "covers" if covering
                 else "is unavailable" if unavailable else "is at the cap")
        return f"the only present teacher is busy in period {period}: {doing}"
    counts = f"{_count(teaching, 'teaches', 'teach')}, {_count(covering, 'covers', 'cover')}"
    if unavailable:
        counts += f", {unavailable} unavailable"
    if at_cap:
        counts += f", {at_cap} at the cap"
    return f"all {present} present teachers are busy in period {period}: {counts}"
