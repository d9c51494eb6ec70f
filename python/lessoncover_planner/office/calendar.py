"""Which dates are school days, what each is called, and over which dates earlier covers count.

A school keeps one timetable for the year.  Its days carry labels: plain weekday
names (``Mon`` ... ``Fri``, or with ``Sat`` for a school with Saturday lessons) when
the same timetable runs every week, or the labels of a cycle (``A-Mon`` ... ``B-Fri``
for a two-week timetable) that advance one per school day from ``cycle_start``.
Holidays are skipped, so a holiday moves the rest of the cycle on by nothing: the
day after it takes the label the holiday would have had.

Plain data and arithmetic only: no files, no SQL.  Counting school days between
two dates is done by whole weeks, so a date years from ``cycle_start`` costs no more
than tomorrow.
"""

from __future__ import annotations

import bisect
import re
from dataclasses import dataclass, field
from datetime import date, timedelta

__all__ = ["WEEKDAYS", "ISO_DATE", "NotASchoolDay", "Calendar", "parse_date", "weekday_of"]

WEEKDAYS = ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")
_WEEKDAY_NAMES = ("Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday")
_WEEKDAY_BY_TEXT = {name.casefold(): index for names in (WEEKDAYS, _WEEKDAY_NAMES)
                    for index, name in enumerate(names)}
_MON_TO_FRI = frozenset(range(5))
ISO_DATE = re.compile(r"[0-9]{4}-[0-9]{2}-[0-9]{2}")
"""A date as the commands and school.toml write it; date.fromisoformat says whether it exists."""
DATE_FORMS = "today, tomorrow, a date such as 2025-03-10, or a weekday such as mon or Monday"


def weekday_of(text: str) -> int | None:
    """The weekday (Monday 0) that text names as ``Mon`` or ``Monday`` in any letter case, or None."""
    return _WEEKDAY_BY_TEXT.get(text.strip().casefold())


class NotASchoolDay(ValueError):
    """A date the school has no lessons on; the message says why."""


@dataclass(frozen=True)
class Calendar:
    """The school year: the day labels, the holidays, the terms and the fairness window.

    ``days`` all plain weekday names and no ``cycle_start``: each date is labelled by its
    weekday, and the weekdays named are the school's (so ``Sat`` makes Saturday a school
    day).  Otherwise the school days are Monday to Friday (or the weekdays named, when
    every label is one) and the labels follow each other from ``cycle_start``.
    Inconsistent settings raise ``ValueError`` on construction.
    """

    days: tuple[str, ...] = WEEKDAYS[:5]
    cycle_start: date | None = None
    holidays: frozenset[date] = field(default=frozenset(), repr=False)  # a year's holidays are many dates
    terms: tuple[date, ...] = ()
    fairness_window: str | int = "week"
    _school_weekdays: frozenset[int] = field(init=False, repr=False, compare=False)
    _holidays_sorted: tuple[date, ...] = field(init=False, repr=False, compare=False)

    def __post_init__(self) -> None:
        if not self.days:
            raise ValueError("days is empty: name at least one school day")
        folded: dict[str, str] = {}
        for label in self.days:
            if not label.strip():
                raise ValueError("days has an empty label")
            if label.casefold() in folded:
                raise ValueError(f"days names {label!r} twice (also as {folded[label.casefold()]!r})")
            folded[label.casefold()] = label
        weekdays = [weekday_of(label) for label in self.days]
        plain = all(weekday is not None for weekday in weekdays)
        if self.cycle_start is None and not plain:
            raise ValueError(f"days {list(self.days)!r} are the labels of a cycle, which needs cycle_start: "
                             "the date of a school day labelled " + repr(self.days[0]))
        if plain and self.cycle_start is None and len(set(weekdays)) < len(weekdays):
            names = [WEEKDAYS[weekday] for weekday in weekdays if weekday is not None]
            raise ValueError(f"days {list(self.days)!r} name one weekday twice ({names!r})")
        school_weekdays = frozenset(w for w in weekdays if w is not None) if plain else _MON_TO_FRI
        if self.fairness_window not in ("week", "term") and (
                isinstance(self.fairness_window, bool) or not isinstance(self.fairness_window, int)
                or self.fairness_window < 0):
            raise ValueError(f"fairness_window must be 'week', 'term' or a number of school days, "
                             f"got {self.fairness_window!r}")
        object.__setattr__(self, "_school_weekdays", school_weekdays)
        object.__setattr__(self, "_holidays_sorted",
                           tuple(sorted(day for day in self.holidays if day.weekday() in school_weekdays)))
        if tuple(sorted(set(self.terms))) != self.terms:
            raise ValueError("terms must be sorted, each date once")
        if self.cycle_start is not None and not self.is_school_day(self.cycle_start):
            raise ValueError(f"cycle_start {self.cycle_start} is not a school day: {self._why_not(self.cycle_start)}")

    @property
    def by_weekday(self) -> bool:
        """Whether each date's label is its weekday's (the same timetable every week)."""
        return self.cycle_start is None

    def is_school_day(self, day: date) -> bool:
        """Whether day is one of the school's weekdays and not a holiday."""
        return day.weekday() in self._school_weekdays and day not in self.holidays

    def _why_not(self, day: date) -> str:
        if day in self.holidays:
            return f"{day} is a holiday"
        return f"{day} is a {_WEEKDAY_NAMES[day.weekday()]}"

    def label(self, day: date) -> str:
        """The label of the school day; NotASchoolDay for any other date."""
        if not self.is_school_day(day):
            raise NotASchoolDay(self._why_not(day))
        if self.cycle_start is None:
            return next(label for label in self.days if weekday_of(label) == day.weekday())
        if day >= self.cycle_start:
            offset = self._school_days_between(self.cycle_start, day)
        else:
            offset = -self._school_days_between(day, self.cycle_start)
        return self.days[offset % len(self.days)]

    def _school_days_between(self, first: date, last: date) -> int:
        """How many school days lie in [first, last), first <= last."""
        weeks, extra = divmod((last - first).days, 7)
        count = weeks * len(self._school_weekdays)
        start = first.weekday()
        count += sum((start + step) % 7 in self._school_weekdays for step in range(extra))
        holidays = self._holidays_sorted
        return count - (bisect.bisect_left(holidays, last) - bisect.bisect_left(holidays, first))

    def knows_label(self, row_label: str) -> bool:
        """Whether a lessons.csv ``day`` value matches some school day: a school weekday's name,
        or one of the labels."""
        weekday = weekday_of(row_label)
        if weekday is not None:
            return weekday in self._school_weekdays
        folded = row_label.strip().casefold()
        return any(label.casefold() == folded for label in self.days)

    def label_matches(self, row_label: str, day: date) -> bool:
        """Whether a lessons.csv ``day`` value applies on the school day: a weekday name matches
        that weekday (``Mon`` matches both ``A-Mon`` and ``B-Mon``), a label its own days."""
        weekday = weekday_of(row_label)
        if weekday is not None:
            return day.weekday() == weekday
        return self.label(day).casefold() == row_label.strip().casefold()

    def term_of(self, day: date) -> tuple[date, date | None] | None:
        """The start of day's term and of the next one (None after the last start), or None
        before the first term (or with no terms)."""
        index = bisect.bisect_right(self.terms, day)
        if index == 0:
            return None
        return self.terms[index - 1], self.terms[index] if index < len(self.terms) else None

    def fairness_start(self, day: date) -> date | None:
        """The first date whose covers count towards fairness on day; they count over [start, day).

        ``week``: that week's Monday.  ``term``: the term's first day (None, every earlier
        cover, before any term starts).  A number N: the Nth school day before day, so
        weekends and holidays do not shorten the window; 0 is day itself (nothing counts).
        """
        window = self.fairness_window
        if window == "week":
            return day - timedelta(days=day.weekday())
        if window == "term":
            term = self.term_of(day)
            return None if term is None else term[0]
        assert isinstance(window, int)
        start, left = day, window
        while left > 0:
            if start == date.min:
                return None  # the window reaches past the first date there is: everything counts
            start -= timedelta(days=1)
            if self.is_school_day(start):
                left -= 1
        return start


def parse_date(text: str, today: date) -> date:
    """The date text names, as the commands take it: ``today``, ``tomorrow``, an ISO date
    such as ``2025-03-10``, or a weekday name (``mon``, ``Monday``): the next such day on or
    after today.  ValueError with the accepted forms otherwise."""
    word = text.strip().casefold()
    if word == "today":
        return today
    weekday = weekday_of(word)
    if word == "tomorrow" or weekday is not None:
        ahead = 1 if weekday is None else (weekday - today.weekday()) % 7
        try:
            return today + timedelta(days=ahead)
        except OverflowError:
            raise ValueError(f"{text!r} is not a date: it falls after {date.max}") from None
    if ISO_DATE.fullmatch(word):
        try:
            return date.fromisoformat(word)
        except ValueError as error:
            raise ValueError(f"{text!r} is not a date: {error}") from None
    raise ValueError(f"{text!r} is not a date: give {DATE_FORMS}")
