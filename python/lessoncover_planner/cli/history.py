"""The covers given so far, kept across runs in a CSV file of ``day,name,covers`` rows.

Each run of a day replaces that day's rows, so running a day again never counts it twice.
The prior covers of a day are the rows of every day whose name sorts before it: the rows
with an empty day (totals carried in) sort first, and the rows of the day itself and of
later days never count.  A ``name,covers`` file, the layout before days were kept, reads as
totals carried in; the first update writes them as rows with an empty day.

Names and days are written with :func:`cells.guard` and read back with :func:`cells.unguard`,
as the file is meant to be opened in a spreadsheet too.
"""

from __future__ import annotations

import csv
import io
from collections.abc import Iterable, Sequence
from pathlib import Path

from .cells import guard, unguard
from .errors import InputError
from .guidance import did_you_mean, missing_file_hint
from .reading import Day, read_table

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any

__all__ = ["History", "read_history", "render_history", "count_covers", "history_days",
           "history_warnings"]

HEADER = ("day", "name", "covers")


class History:
    """The covers by day and teacher; the day ``""`` holds the totals carried in."""

    def __init__(self, rows: dict[str, dict[str, int]] | None = None) -> None:
        self.rows = {} if rows is None else rows

    def __repr__(self) -> str:
        return f"History({self.rows!r})"

    def prior(self, day: str) -> dict[str, int]:
        """The covers given before day: the sum of the rows of the days sorting before it."""
        totals: dict[str, int] = {}
        for other, counts in self.rows.items():
            if other < day:
                for name, count in counts.items():
                    totals[name] = totals.get(name, 0) + count
        return totals

    def replace(self, day: str, counts: dict[str, int]) -> None:
        """Record the covers of day in place of any rows it had."""
        self.rows.pop(day, None)
        if counts:
            self.rows[day] = dict(counts)

    def names(self) -> list[str]:
        """Every name with a row, once, in file order."""
        return list(dict.fromkeys(name for counts in self.rows.values() for name in counts))


def read_history(path: Path, missing_ok: bool = False) -> History:
    """The history in path; an absent file is empty when missing_ok."""
    if missing_ok and not path.exists():
        return History()
    history = History()
    first_seen: dict[tuple[str, str], int] = {}
    for record in read_table(path, ("name", "covers"), ("day",)):
        day, name = unguard(record.values.get("day", "")), unguard(record.values["name"])
        text = record.values["covers"]
        if not name:
            raise InputError(path, record.line, "a row without a name")
        if (day, name) in first_seen:
            on_day = f" on day {day!r}" if day else ""
            raise InputError(path, record.line,
                             f"duplicate teacher {name!r}{on_day} (first on line {first_seen[day, name]})")
        if not text.isascii() or not text.isdigit():
            raise InputError(path, record.line, f"covers {text!r} is not a whole number of 0 or more")
        first_seen[day, name] = record.line
        history.rows.setdefault(day, {})[name] = int(text)
    return history


def count_covers(covers: Iterable[Any]) -> dict[str, int]:
    """The covers of one plan by substitute; a lesson of a combined set counts once."""
    counts: dict[str, int] = {}
    for cover in covers:
        if cover.rule != "combined":
            counts[cover.substitute] = counts.get(cover.substitute, 0) + 1
    return counts


def render_history(history: History) -> bytes:
    """The history file's text: the header, then the rows day by day in name order.

    Lines end in CRLF, as RFC 4180 has them: the csv module quotes a value holding a line
    break only when the break is part of the line terminator, and a name may hold a CR.
    """
    stream = io.StringIO(newline="")
    writer = csv.writer(stream, lineterminator="\r\n")
    writer.writerow(HEADER)
    for day in sorted(history.rows):
        for name, count in history.rows[day].items():
            writer.writerow((guard(day), guard(name), count))
    return stream.getvalue().encode("utf-8")


def history_warnings(path: Path, history: History, teachers: Sequence[str], where: str) -> list[str]:
    """What looks wrong with the history read from path: names that no teacher of the run
    (in where) has, or a file to be started while one of a near name sits beside it."""
    warnings = []
    hint = None if path.exists() else missing_file_hint(path)
    if hint is not None:
        warnings.append(f"{path}: no such file yet, so the history starts empty; {hint}")
    known = set(teachers)
    unknown = [name for name in history.names() if name not in known]
    if unknown:
        listed = ", ".join(repr(name) + did_you_mean(name, known) for name in unknown)
        warnings.append(f"{path}: {len(unknown)} name(s) not in {where}, their covers are not counted: {listed}")
    return warnings


def history_days(days: Sequence[Day], is_sample: bool) -> list[str]:
    """The day each day's covers are recorded under: its folder's name.

    The bundled sample school has no folder name of its own to speak of, so (like a day
    folder without a name, the root) it is recorded as today, in ISO form.
    """
    if not is_sample and all(day.name for day in days):
        return [day.name for day in days]
    import datetime  # only here: most runs never ask for today

    today = datetime.date.today().isoformat()
    return [today if is_sample or not day.name else day.name for day in days]
