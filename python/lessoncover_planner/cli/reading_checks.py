"""Checks of a day read from its files that find likely mistakes rather than broken input:
each gives a warning (an error under ``--strict``), and the day is planned as written."""

from __future__ import annotations

import bisect
from collections.abc import Mapping, Sequence
from pathlib import Path

from ..subjects import KNOWN_SPELLINGS, resolve_subject
from .guidance import close_match
from .period_runs import period_runs, runs_text

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from .reading import Day

__all__ = ["check_absences", "subject_warning", "outside_runs"]

_KNOWN_SUBJECTS = sorted(KNOWN_SPELLINGS)
SUBJECT_CUTOFF = 0.8
"""How near a subject of its own must be to a known spelling to look like a typo of it
(``mathematcs`` is 0.95 from ``mathematics``; ``art history`` 0.78 from ``history``)."""


def subject_warning(text: str) -> str | None:
    """A subject of its own whose text is a near miss of a known one: likely a typo."""
    if not isinstance(resolve_subject(text), str):
        return None
    match = _near_known_subject(text.strip())
    if match is None:
        return None
    return (f"subject {text!r} is not one the planner knows (did you mean {match!r}?); "
            "planned as a subject of its own")


_near_subjects: dict[str, str | None] = {}


def _near_known_subject(text: str) -> str | None:
    # A school has a few dozen subjects over hundreds of teachers: each is compared once.
    if text not in _near_subjects:
        _near_subjects[text] = close_match(text, _KNOWN_SUBJECTS, cutoff=SUBJECT_CUTOFF)
    return _near_subjects[text]


def outside_runs(ranges: Sequence[tuple[int, int]], used: Sequence[int]) -> list[tuple[int, int]]:
    """The runs of the period ranges that miss every period in the sorted periods used; as
    many runs as ranges and used periods, however wide a range is written."""
    runs: list[tuple[int, int]] = []
    for first, last in ranges:
        start = first
        for period in used[bisect.bisect_left(used, first):bisect.bisect_right(used, last)]:
            if period > start:
                runs.append((start, period - 1))
            start = period + 1
        if start <= last:
            runs.append((start, last))
    return runs


def check_absences(path: Path | str, day: Day, lines: Mapping[str, int | None]) -> list[str]:
    """Absences that ask for nothing: periods the day does not have, absentees without lessons.

    The day's periods are its ``period_times`` when the school gives them, else those its
    lessons use.  Each warning starts with path and the absence's line (none for None).
    """
    if day.period_times:
        day_periods, periods_are = sorted(day.period_times), "the day has periods"
    else:
        day_periods, periods_are = sorted({period for _, period, _ in day.lessons}), "its lessons use"
    taught: dict[str, set[int]] = {}
    for teacher, period, _ in day.lessons:
        taught.setdefault(teacher, set()).add(period)
    warnings = []
    for name in day.absences:
        line = lines[name]
        where = f"{path}: " if line is None else f"{path}, line {line}: "
        periods = day.absent_periods.get(name)
        if periods is not None and day_periods:
            outside = outside_runs(day.absent_ranges[name], day_periods)
            if outside:
                warnings.append(f"{where}periods {runs_text(outside)} of {name!r} are not periods of this day "
                                f"({periods_are} {runs_text(period_runs(day_periods))}); nothing to cover in them")
                if not set(periods).intersection(day_periods):
                    continue
        lessons = taught.get(name, set())
        if periods is None and not lessons:
            warnings.append(f"{where}absent teacher {name!r} has no lessons this day; nothing to cover")
        elif periods is not None and not lessons.intersection(periods):
            warnings.append(f"{where}absent teacher {name!r} has no lessons in periods "
                            f"{runs_text(day.absent_ranges[name])}; nothing to cover")
    return warnings
