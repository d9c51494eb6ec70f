"""Reading ``school.toml``: the school's calendar, its period times and its default policies
(the planner's strategy among them).

Every setting is optional; a school folder without the file runs Monday to Friday,
without holidays or terms, counting a week of earlier covers.  A key the reader does
not know, or a value of the wrong kind, is an error naming the file, the key and
(where the key can be found in the text) its line: a misspelt setting that was
silently ignored would plan a whole year the wrong way.
"""

from __future__ import annotations

import re
import tomllib
from dataclasses import dataclass, field
from datetime import date, datetime, timedelta
from pathlib import Path

from ..cli.errors import InputError
from ..cli.guidance import did_you_mean
from ..cli.policies import STRATEGIES
from ..cli.reading import parse_period, read_text
from .calendar import ISO_DATE, Calendar, weekday_of

__all__ = ["SETTINGS", "POLICY_SETTINGS", "LONGEST_HOLIDAY", "Settings", "read_settings", "read_toml"]

SETTINGS = ("days", "cycle_start", "holidays", "terms", "fairness_window", "periods", "policies")
POLICY_SETTINGS: dict[str, type] = {"strategy": str, "max_covers": int, "keep_doubles": bool,
                                    "combined_lessons": bool, "co_taught_no_cover": bool}
LONGEST_HOLIDAY = 366
"""The most days one holiday range may span: a longer one is surely a typo in a year."""
TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any

_TOML_PLACE = re.compile(r"\s*\(at (?:line (\d+), column \d+|end of document)\)$")


@dataclass
class Settings:
    """What ``school.toml`` says; ``policy_defaults`` holds only the policies it sets."""

    calendar: Calendar = field(default_factory=Calendar)
    period_times: dict[int, str] = field(default_factory=dict)
    policy_defaults: dict[str, object] = field(default_factory=dict)
    warnings: list[str] = field(default_factory=list)


class _Reader:
    """One school.toml's text, to point an error at the line of the key it is about."""

    def __init__(self, path: Path, text: str) -> None:
        self.path, self.text = path, text

    def line_of(self, key: str) -> int | None:
        quoted = re.escape(key)
        pattern = rf'^[ \t]*(?:\[[ \t]*)?(?:{quoted}|"{quoted}"|\'{quoted}\')[ \t]*[=\]]'
        match = re.search(pattern, self.text, re.MULTILINE)
        return None if match is None else self.text.count("\n", 0, match.start()) + 1

    def error(self, key: str, problem: str) -> InputError:
        return InputError(self.path, self.line_of(key), f"{key}: {problem}")

    def read_date(self, key: str, value: object) -> date:
        """A TOML date (``2025-09-01``) or the same written as a string."""
        if isinstance(value, datetime):
            raise self.error(key, f"{value.isoformat()} has a time of day; write the date alone, such as 2025-09-01")
        if isinstance(value, date):
            return value
        if isinstance(value, str) and ISO_DATE.fullmatch(value.strip()):
            try:
                return date.fromisoformat(value.strip())
            except ValueError as error:
                raise self.error(key, f"{value!r} is not a date: {error}") from None
        raise self.error(key, f"{value!r} is not a date such as 2025-09-01")

    def dates(self, key: str, value: object) -> list[object]:
        if not isinstance(value, list):
            raise self.error(key, f"expected a list such as [2025-09-01, 2026-01-05], got {value!r}")
        return value

    def holidays(self, value: object) -> frozenset[date]:
        days: set[date] = set()
        for item in self.dates("holidays", value):
            if not isinstance(item, list):
                days.add(self.read_date("holidays", item))
                continue
            if len(item) != 2:
                raise self.error("holidays", f"a range is [first, last], got {len(item)} dates in {item!r}")
            first, last = (self.read_date("holidays", end) for end in item)
            if last < first:
                raise self.error("holidays", f"the range [{first}, {last}] runs backwards")
            if (last - first).days >= LONGEST_HOLIDAY:
                raise self.error("holidays", f"the range [{first}, {last}] is longer than a year")
            days.update(first + timedelta(days=offset) for offset in range((last - first).days + 1))
        return frozenset(days)

    def days(self, value: object) -> tuple[str, ...]:
        if not isinstance(value, list) or not all(isinstance(label, str) for label in value):
            raise self.error("days", f'expected a list of labels such as ["Mon", "Tue"], got {value!r}')
        return tuple(label.strip() for label in value)

    def fairness_window(self, value: object) -> str | int:
        if isinstance(value, str) and value.strip().lower() in ("week", "term"):
            return value.strip().lower()
        if isinstance(value, int) and not isinstance(value, bool) and value >= 0:
            return value
        raise self.error("fairness_window", f'expected "week", "term" or a number of school days, got {value!r}')

    def periods(self, value: object) -> dict[int, str]:
        if not isinstance(value, dict):
            raise self.error("periods", 'expected a table of period times such as 1 = "08:45-09:40"')
        times: dict[int, str] = {}
        for key, text in value.items():
            period = parse_period(self.path, self.line_of(key), key.strip())
            if period in times:
                raise self.error(key, f"period {period} is given twice")
            if not isinstance(text, str) or not text.strip():
                raise self.error(key, f'the time of period {period} is a text such as "08:45-09:40", got {text!r}')
            times[period] = text.strip()
        return dict(sorted(times.items()))

    def policies(self, value: object) -> dict[str, object]:
        if not isinstance(value, dict):
            raise self.error("policies", "expected a table such as [policies] with max_covers = 2")
        chosen: dict[str, object] = {}
        for key, setting in value.items():
            kind = POLICY_SETTINGS.get(key)
            if kind is None:
                raise self.error(key, "not a policy" + did_you_mean(key, POLICY_SETTINGS)
                                 + f" (the policies are {', '.join(POLICY_SETTINGS)})")
            if kind is bool and not isinstance(setting, bool):
                raise self.error(key, f"expected true or false, got {setting!r}")
            if kind is int and (isinstance(setting, bool) or not isinstance(setting, int) or setting < 0):
                raise self.error(key, f"expected a number of covers, 0 or more, got {setting!r}")
            if kind is str and setting not in STRATEGIES:
                names = " or ".join(f'"{name}"' for name in STRATEGIES)
                raise self.error(key, f"expected {names}, got {setting!r}")
            chosen[key] = setting
        return chosen


def read_toml(path: Path) -> tuple[str, dict[str, Any]]:
    """The text of the TOML file at path and its table; InputError naming the line of a
    syntax error (or the end of the file)."""
    text = read_text(path)
    try:
        return text, tomllib.loads(text)
    except tomllib.TOMLDecodeError as error:
        message = str(error)
        place = _TOML_PLACE.search(message)
        line = None if place is None else int(place[1]) if place[1] else text.count("\n", 0, len(text.rstrip("\n"))) + 1
        at_end = place is not None and not place[1]
        problem = _TOML_PLACE.sub("", message) + (" at the end of the file" if at_end else "")
        raise InputError(path, line, f"not valid TOML: {problem}") from None


def read_settings(path: Path) -> Settings:
    """The settings of the school.toml at path (defaults when there is no such file);
    InputError for anything it cannot use."""
    if not path.exists() and not path.is_symlink():
        return Settings()
    text, table = read_toml(path)
    reader = _Reader(path, text)
    for key in table:
        if key in POLICY_SETTINGS:
            raise reader.error(key, "a policy; write it under [policies]")
        if key not in SETTINGS:
            raise reader.error(key, "not a setting" + did_you_mean(key, SETTINGS)
                               + f" (the settings are {', '.join(SETTINGS)})")
    settings = Settings(period_times=reader.periods(table["periods"]) if "periods" in table else {},
                        policy_defaults=reader.policies(table["policies"]) if "policies" in table else {})
    terms = sorted({reader.read_date("terms", item) for item in reader.dates("terms", table.get("terms", []))})
    window = reader.fairness_window(table.get("fairness_window", "week"))
    try:
        settings.calendar = Calendar(
            days=reader.days(table["days"]) if "days" in table else Calendar.days,
            cycle_start=reader.read_date("cycle_start", table["cycle_start"]) if "cycle_start" in table else None,
            holidays=reader.holidays(table.get("holidays", [])),
            terms=tuple(terms),
            fairness_window=window,
        )
    except ValueError as error:
        key = "cycle_start" if str(error).startswith("cycle_start") else "days"
        raise reader.error(key, str(error).removeprefix(key + " ")) from None
    if settings.calendar.cycle_start is not None and all(weekday_of(label) is not None
                                                         for label in settings.calendar.days):
        settings.warnings.append(f"{path}, line {reader.line_of('cycle_start')}: cycle_start with weekday names "
                                 "as days makes the labels follow the school days from it, so after a holiday "
                                 "a Tuesday takes Monday's lessons; leave cycle_start out for the same "
                                 "timetable every week")
    if window == "term" and not terms:
        settings.warnings.append(f'{path}: fairness_window is "term" but no terms are given; '
                                 "every earlier cover counts")
    return settings
