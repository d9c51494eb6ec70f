"""The days and hours of a timetabling export, turned into day labels and period numbers.

An export names its days and hours as text (``Monday``, ``A-Mon``, ``Day 7``; ``1``,
``08:00-08:45``).  Each text becomes a day label or a period number in the order the
texts first appear, unless the texts themselves carry an order that the rows may not
follow (an export sorted by activity lists a Wednesday before a Monday): weekday names go
in the week's order, times by their start, and texts that differ only in a trailing number
(``Day 1`` .. ``Day 10``) by that number.
"""

from __future__ import annotations

import re
from collections.abc import Sequence
from dataclasses import dataclass

from .calendar import WEEKDAYS as WEEKDAY_LABELS  # the calendar's labels, Monday first

__all__ = ["DayLabels", "Periods", "WEEKDAY_LABELS", "day_labels", "periods_of"]


_WEEKDAY_SPELLINGS = {
    spelling: index
    for index, spellings in enumerate((
        ("mon", "monday"), ("tue", "tues", "tuesday"), ("wed", "weds", "wednesday"),
        ("thu", "thur", "thurs", "thursday"), ("fri", "friday"), ("sat", "saturday"), ("sun", "sunday")))
    for spelling in spellings
}
_CLOCK = r"([01]?[0-9]|2[0-3])\s*[:.h]\s*([0-5][0-9])"
_TIME = re.compile(rf"{_CLOCK}(?:\s*(?:-|\u2013|to)\s*{_CLOCK})?", re.IGNORECASE)
_NUMBERED = re.compile(r"(.*?)([0-9]{1,9})")


@dataclass(frozen=True)
class DayLabels:
    """Each day text's label, and the labels in the cycle's order."""

    label_of: dict[str, str]
    labels: tuple[str, ...]
    weekdays: bool
    """Whether the texts are weekday names, so the labels are the calendar's weekday labels."""


@dataclass(frozen=True)
class Periods:
    """Each hour text's period number (from 1), and the texts in period order."""

    number_of: dict[str, int]
    texts: tuple[str, ...]
    times: bool
    """Whether every hour text reads as a time of day (``08:00`` or ``08:00-08:45``)."""


def _weekday(text: str) -> int | None:
    return _WEEKDAY_SPELLINGS.get(text.strip().rstrip(".").lower())


def _number_order(texts: Sequence[str]) -> list[str] | None:
    """The texts ordered by their trailing number when they share everything before it."""
    matches = [_NUMBERED.fullmatch(text) for text in texts]
    if any(match is None for match in matches) or len({match[1] for match in matches if match}) != 1:
        return None
    return sorted(texts, key=lambda text: int(_NUMBERED.fullmatch(text)[2]))  # type: ignore[index]


def day_labels(texts: Sequence[str]) -> DayLabels:
    """The labels of the distinct day texts, given in order of first appearance."""
    weekdays = [_weekday(text) for text in texts]
    if texts and all(index is not None for index in weekdays):
        label_of = {text: WEEKDAY_LABELS[index] for text, index in zip(texts, weekdays) if index is not None}
        labels = tuple(label for label in WEEKDAY_LABELS if label in label_of.values())
        return DayLabels(label_of, labels, weekdays=True)
    ordered = _number_order(texts) or list(texts)
    return DayLabels({text: text for text in texts}, tuple(ordered), weekdays=False)


def _start_minute(text: str) -> int | None:
    match = _TIME.fullmatch(text.strip())
    return None if match is None else int(match[1]) * 60 + int(match[2])


def periods_of(texts: Sequence[str]) -> Periods:
    """The period numbers of the distinct hour texts, given in order of first appearance."""
    starts = [_start_minute(text) for text in texts]
    times = bool(texts) and all(start is not None for start in starts)
    if times:
        ordered = [text for _, _, text in sorted(zip(starts, range(len(texts)), texts))]
    else:
        ordered = _number_order(texts) or list(texts)
    return Periods({text: number for number, text in enumerate(ordered, 1)}, tuple(ordered), times)
