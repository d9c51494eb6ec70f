"""The records of a cover plan: one per covered lesson and one per lesson left without cover."""

from __future__ import annotations

from dataclasses import dataclass, field

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Literal

__all__ = ["Cover", "Uncovered", "NotNeeded"]

@dataclass(frozen=True, slots=True)
class Cover:
    """A lesson of an absent teacher and the present teacher who covers it.

    ``absent`` is the absent teacher's name, ``period`` the period of the lesson,
    ``subject`` the absent teacher's subject as the report shows it ("Maths",
    "French"), ``substitute`` the name of the teacher who covers the lesson,
    ``class_name`` the class taught and ``reason`` why the teacher is absent.
    ``rule`` says how the substitute was found: ``"subject"`` for a free colleague
    of the absent teacher's subject, ``"any"`` for the first free present teacher
    when no colleague of the subject was free.  With a :class:`Policy`, also
    ``"double"`` for the substitute of the same class's lesson in the period before
    or after (``keep_doubles``), ``"combined"`` for the substitute of the absent
    teacher's first lesson in the same period (``combined_lessons``) and
    ``"pinned"`` for a substitute fixed in advance (``pinned``).
    """

    absent: str
    period: int
    subject: str
    substitute: str
    class_name: str
    reason: str
    rule: Literal["subject", "any", "double", "combined", "pinned"]


@dataclass(frozen=True, slots=True)
class Uncovered:
    """A lesson of an absent teacher that no present teacher was free to cover.

    ``absent``, ``period``, ``subject``, ``class_name`` and ``reason`` describe
    the lesson as in :class:`Cover`.  ``present_teachers`` counts the teachers
    present in that period; each of them is counted once, in the first group that
    fits: ``busy_covering`` cover another lesson then (a pinned substitute counts
    here whatever else it does then), ``busy_teaching`` teach a lesson of their own
    then, ``busy_unavailable`` may not cover then
    (``Policy.unavailable``) and ``at_cap`` have given ``Policy.max_covers``
    covers.  ``why`` puts these counts in a sentence, for example
    ``all 38 present teachers are busy in period 3: 31 teach, 7 cover``
    (``..., 2 unavailable, 1 at the cap`` when those are not 0); with one teacher
    present it reads ``the only present teacher is busy in period 3: teaches``
    (or ``covers``, ``is unavailable``, ``is at the cap``), with nobody present
    ``no teacher is present``.
    """

    absent: str
    period: int
    subject: str
    class_name: str
    reason: str
    present_teachers: int
    busy_teaching: int
    busy_covering: int
    busy_unavailable: int = 0
    at_cap: int = 0
    why: str = field(init=False, compare=False)

    def __post_init__(self) -> None:
        why = busy_sentence(self.period, self.present_teachers, self.busy_teaching, self.busy_covering,
                            self.busy_unavailable, self.at_cap)
        object.__setattr__(self, "why", why)


@dataclass(frozen=True, slots=True)
class NotNeeded:
    """A lesson of an absent teacher that needs no cover under the plan's :class:`Policy`.

    ``absent``, ``period``, ``subject``, ``class_name`` and ``reason`` describe the
    lesson as in :class:`Cover`.  ``why`` says why no cover is needed:
    ``class 10A is away`` (``Policy.away_classes``) or, for a lesson taught
    together with a present colleague (``Policy.co_taught_no_cover``),
    ``Ben also teaches 10A in period 3``.
    """

    absent: str
    period: int
    subject: str
    class_name: str
    reason: str
    why: str


def _count(number: int, singular: str, plural: str) -> str:
    return f"{number} {singular if number == 1 else plural}"


def busy_sentence(period: int, present: int, teaching: int, covering: int, unavailable: int = 0,
                  at_cap: int = 0) -> str:
    """Say why nobody is free in period: how many are present, teach, cover, may not
    cover and are at the cap.

    >>> busy_sentence(3, 38, 31, 7)
    'all 38 present teachers are busy in period 3: 31 teach, 7 cover'
    >>> busy_sentence(3, 12, 8, 1, 2, 1)
    'all 12 present teachers are busy in period 3: 8 teach, 1 covers, 2 unavailable, 1 at the cap'
    >>> busy_sentence(3, 1, 0, 1)
    'the only present teacher is busy in period 3: covers'
    """
    if present == 0:
        return "no teacher is present"
    if present == 1:
        if teaching:
            doing = "teaches"
        elif covering:
            doing = "covers"
        elif unavailable:
            doing = "is unavailable"
        else:
            doing = "is at the cap"
        return f"the only present teacher is busy in period {period}: {doing}"
    counts = f"{_count(teaching, 'teaches', 'teach')}, {_count(covering, 'covers', 'cover')}"
    if unavailable:
        counts += f", {unavailable} unavailable"
    if at_cap:
        counts += f", {at_cap} at the cap"
    return f"all {present} present teachers are busy in period {period}: {counts}"


def not_needed_sentence(period: int, class_name: str, rule: str, co_teacher: str | None) -> str:
    """Say why a lesson needs no cover.

    >>> not_needed_sentence(3, "10A", "away", None)
    'class 10A is away'
    >>> not_needed_sentence(3, "10A", "co-taught", "Ben")
    'Ben also teaches 10A in period 3'
    """
    if rule == "away":
        return f"class {class_name} is away"
    return f"{co_teacher} also teaches {class_name} in period {period}"
