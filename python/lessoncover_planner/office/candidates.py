"""Who could take a lesson now, ranked as the planner's rules would rank them, and who could not.

The rules: a free, present colleague of the absent teacher's subject with the
fewest lessons (prior covers and today's covers count as lessons), the earlier
in the school's list on a tie; else the first free present teacher of the list;
else the first free supply teacher in the order of teachers.csv.  The school's list
puts teachers with fewer lessons first, as the planner does.

Under the best strategy, with every other cover of the date fixed, the plan's figures
rank them instead: school staff before supply staff, the subject's teachers first,
then the smallest largest load (prior covers and covers today) the cover would leave,
the smallest load (the sum of squared loads), a teacher of the class, and the list.
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from dataclasses import dataclass

from ..subjects import subject_identity
from .day_facts import DayFacts, Lesson
from .ledger import CoverEntry

__all__ = ["Candidate", "Excluded", "Candidates", "rank_candidates"]


@dataclass(frozen=True)
class Candidate:
    name: str
    subject: str
    same_subject: bool
    load: int  # lessons today, prior covers and covers already given today
    why: str


@dataclass(frozen=True)
class Excluded:
    name: str
    kind: str  # "teaching", "covering", "unavailable", "at the cap" or "absent"
    why: str


@dataclass(frozen=True)
class Candidates:
    lesson: Lesson
    ranked: tuple[Candidate, ...]
    excluded: tuple[Excluded, ...]

    def excluded_reason(self, name: str) -> Excluded | None:
        return next((entry for entry in self.excluded if entry.name == name), None)


def _plural(count: int, word: str) -> str:
    return f"{count} {word}" if count == 1 else f"{count} {word}s"


def rank_candidates(facts: DayFacts, lesson: Lesson, covers: Sequence[CoverEntry],
                    prior: Mapping[str, int]) -> Candidates:
    """The teachers who could take ``lesson`` given the date's recorded ``covers`` (its own
    cover, if any, aside), and the others with the reason each could not."""
    absent, period, _ = lesson
    cap = facts.options.max_covers
    covering: dict[str, CoverEntry] = {}
    given: dict[str, int] = {}
    for cover in covers:
        if (cover.absent, cover.period, cover.class_name) == lesson:
            continue
        if cover.period == period:
            covering.setdefault(cover.substitute, cover)
        if cover.rule != "combined":
            given[cover.substitute] = given.get(cover.substitute, 0) + 1
    wanted = subject_identity(facts.subjects.get(absent, ""))
    start_load = {name: facts.lesson_count(name) + prior.get(name, 0) for name, _ in facts.day.teachers}
    # The school's list: its order, stably sorted by lessons (prior covers included).
    list_order = sorted(facts.day.teachers, key=lambda teacher: start_load[teacher[0]])

    supply = frozenset(facts.day.supply)
    loads = {name: prior.get(name, 0) + count for name, count in given.items()}  # of those who cover today
    best_key: dict[str, tuple[object, ...]] = {}
    same: list[Candidate] = []
    others: list[Candidate] = []
    hired: list[Candidate] = []
    excluded: list[Excluded] = []
    for name, subject in list_order:
        if name == absent:
            continue
        if facts.absent_then(name, period):
            excluded.append(Excluded(name, "absent", f"absent: {facts.absence_reason(name)}"))
            continue
        taught = facts.classes_taught(name, period)
        if taught:
            excluded.append(Excluded(name, "teaching", f"teaching {', '.join(taught)}"))
            continue
        if name in covering:
            other = covering[name]
            excluded.append(Excluded(name, "covering", f"covering {other.class_name} for {other.absent}"))
            continue
        if facts.unavailable_then(name, period):
            excluded.append(Excluded(name, "unavailable", f"unavailable in period {period}"))
            continue
        today = given.get(name, 0)
        if cap is not None and today >= cap:
            excluded.append(Excluded(name, "at the cap", f"at the cap: {_plural(today, 'cover')} today"))
            continue
        lessons, earlier = facts.lesson_count(name), prior.get(name, 0)
        why = f"{subject}: {_plural(lessons, 'lesson')}, {_plural(earlier, 'prior cover')}"
        if today:
            why += f", {_plural(today, 'cover')} today"
        load = earlier + today
        # a supply teacher's cover never counts as one by the subject
        best_key[name] = (name in supply, name not in supply and subject_identity(subject) != wanted,
                          max([load + 1, *(other for teacher, other in loads.items() if teacher != name)]), load,
                          not facts.teaches_class(name, lesson[2]), len(best_key))
        if name in supply:
            hired.append(Candidate(name, subject, False, lessons + earlier + today, f"supply teacher, {why}"))
            continue
        candidate = Candidate(name, subject, subject_identity(subject) == wanted, lessons + earlier + today, why)
        (same if candidate.same_subject else others).append(candidate)
    same.sort(key=lambda candidate: candidate.load)  # stable: list order on equal loads
    hired.sort(key=lambda candidate: facts.order[candidate.name])  # the file's order, not the list's
    ranked = same + others + hired
    if facts.options.strategy == "best":
        ranked.sort(key=lambda candidate: best_key[candidate.name])
    return Candidates(lesson, tuple(ranked), tuple(excluded))
