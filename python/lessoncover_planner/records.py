"""The records of a cover plan: one per covered lesson and one per lesson left without cover."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Literal

__all__ = ["Cover", "Uncovered"]


@dataclass(frozen=True, slots=True)
class Cover:
    """A lesson of an absent teacher and the present teacher who covers it.

    ``absent`` is the absent teacher's name, ``period`` the period of the lesson,
    ``subject`` the absent teacher's subject as the report shows it ("Maths",
    "French"), ``substitute`` the name of the teacher who covers the lesson,
    ``class_name`` the class taught and ``reason`` why the teacher is absent.
    ``rule`` says how the substitute was found: ``"subject"`` for a free colleague
    of the absent teacher's subject, ``"any"`` for the first free present teacher
    when no colleague of the subject was free.
    """

    absent: str
    period: int
    subject: str
    substitute: str
    class_name: str
    reason: str
    rule: Literal["subject", "any"]


@dataclass(frozen=True, slots=True)
class Uncovered:
    """A lesson of an absent teacher that no present teacher was free to cover.

    ``absent``, ``period``, ``subject``, ``class_name`` and ``reason`` describe
    the lesson as in :class:`Cover`.  ``present_teachers`` counts the teachers
    present that day; of them, ``busy_teaching`` teach a lesson of their own in
    the period and ``busy_covering`` already cover another lesson in it.  ``why``
    puts these counts in a sentence, for example
    ``all 38 present teachers are busy in period 3: 31 teach, 7 cover``;
    with one teacher present it reads
    ``the only present teacher is busy in period 3: teaches`` (or ``covers``),
    with nobody present ``no teacher is present``.
    """

    absent: str
    period: int
    subject: str
    class_name: str
    reason: str
    present_teachers: int
    busy_teaching: int
    busy_covering: int
    why: str = field(init=False, compare=False)

    def __post_init__(self) -> None:
        why = busy_sentence(self.period, self.present_teachers, self.busy_teaching, self.busy_covering)
        object.__setattr__(self, "why", why)


def _count(number: int, singular: str, plural: str) -> str:
    return f"{number} {singular if number == 1 else plural}"


def busy_sentence(period: int, present: int, teaching: int, covering: int) -> str:
    """Say why nobody is free in period: how many are present, teach and cover.

    >>> busy_sentence(3, 38, 31, 7)
    'all 38 present teachers are busy in period 3: 31 teach, 7 cover'
    >>> busy_sentence(3, 1, 0, 1)
    'the only present teacher is busy in period 3: covers'
    """
    if present == 0:
        return "no teacher is present"
    if present == 1:
        doing = "teaches" if teaching else "covers"
        return f"the only present teacher is busy in period {period}: {doing}"
    counts = f"{_count(teaching, 'teaches', 'teach')}, {_count(covering, 'covers', 'cover')}"
    return f"all {present} present teachers are busy in period {period}: {counts}"
