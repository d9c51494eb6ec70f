"""Which covers already given for a date survive a re-plan, and why the others do not.

Colleagues were told about their covers: a re-plan keeps every recorded cover
whose lesson still needs cover and whose substitute can still take it (present,
free and available then, under the cap), and names each one it lets go.  Covers
set by hand with ``--force`` are kept while their substitute is present.
"""

from __future__ import annotations

from collections.abc import Sequence
from dataclasses import dataclass, field

from .day_facts import DayFacts, Lesson, lesson_text
from .ledger import CoverEntry

__all__ = ["KeptCovers", "keep_covers"]

# Forced covers first, then covers set by hand, then the planner's: when two claim one
# substitute in one period, the one the office insisted on stays.
_PRECEDENCE = {"forced": 0, "manual": 1, "kept": 2, "planned": 2}


@dataclass
class KeptCovers:
    """The covers a re-plan keeps, as pins for the planner, and a line for each released one."""

    covers: dict[Lesson, CoverEntry] = field(default_factory=dict)
    released_by_lesson: list[tuple[Lesson, str]] = field(default_factory=list)

    def release(self, lesson: Lesson, why: str) -> None:
        self.released_by_lesson.append((lesson, f"{lesson_text(lesson[2], lesson[1])}: {why}"))

    @property
    def released(self) -> list[str]:
        """A line for each released cover, by period, as the board reads."""
        return [line for (_, period, class_name), line in
                sorted(self.released_by_lesson, key=lambda item: item[0][1])]

    @property
    def pins(self) -> list[tuple[str, int, str, str]]:
        return [(absent, period, class_name, cover.substitute)
                for (absent, period, class_name), cover in self.covers.items()]


def _why_released(facts: DayFacts, cover: CoverEntry, booked: dict[tuple[str, int], CoverEntry]) -> str | None:
    """Why the substitute can no longer take the lesson, or None when the cover stands."""
    substitute, period = cover.substitute, cover.period
    if not facts.is_teacher(substitute):
        return f"{substitute} is no longer in teachers.csv"
    if facts.absent_then(substitute, period):
        return f"{substitute} is now absent"
    other = booked.get((substitute, period))
    same_set = other is not None and other.absent == cover.absent and facts.options.combined_lessons
    if other is not None and not same_set:
        return f"{substitute} covers {other.class_name} then"
    if cover.how == "forced":
        return None
    taught = facts.classes_taught(substitute, period)
    if taught:
        return f"{substitute} now teaches {taught[0]} then"
    if facts.unavailable_then(substitute, period):
        return f"{substitute} is now unavailable then"
    return None


def keep_covers(facts: DayFacts, recorded: Sequence[CoverEntry]) -> KeptCovers:
    """The recorded covers of a date that still stand for the day in ``facts``."""
    kept = KeptCovers()
    booked: dict[tuple[str, int], CoverEntry] = {}
    given: dict[str, int] = {}
    cap = facts.options.max_covers
    for cover in sorted(recorded, key=lambda cover: _PRECEDENCE.get(cover.how, 2)):
        lesson = (cover.absent, cover.period, cover.class_name)
        not_needed = facts.why_no_cover_needed(lesson)
        if not_needed is not None:
            kept.release(lesson, f"{not_needed}; {cover.substitute}'s cover released")
            continue
        why = _why_released(facts, cover, booked)
        counts = cover.rule != "combined"
        if why is None and counts and cap is not None and cover.how != "forced" and given.get(cover.substitute, 0) >= cap:
            why = f"{cover.substitute} is at the cap of {cap} covers"
        if why is not None:
            kept.release(lesson, f"{why}; re-planned")
            continue
        booked[(cover.substitute, cover.period)] = cover
        if counts:
            given[cover.substitute] = given.get(cover.substitute, 0) + 1
        kept.covers[lesson] = cover
    _release_broken_sets(facts, kept)
    return kept


def _release_broken_sets(facts: DayFacts, kept: KeptCovers) -> None:
    """Under combined lessons one substitute takes a set whole: a set part of which was
    released, or whose parts went to different substitutes, is planned again whole."""
    if not facts.options.combined_lessons:
        return
    for lesson in list(kept.covers):
        if lesson not in kept.covers:
            continue
        members = facts.combined_set(lesson)
        substitutes = {kept.covers[member].substitute if member in kept.covers else None for member in members}
        if len(substitutes) == 1:
            continue
        for member in members:
            cover = kept.covers.pop(member, None)
            if cover is not None:
                kept.release(member, f"its combined lesson was re-planned; {cover.substitute}'s cover "
                                     "released with it")
