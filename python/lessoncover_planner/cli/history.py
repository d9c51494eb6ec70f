"""The covers given so far, kept in a CSV file of ``name,covers`` across runs."""

from __future__ import annotations

import csv
import io
from collections.abc import Iterable, Mapping
from pathlib import Path

from .errors import InputError
from .reading import read_table

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any

__all__ = ["read_history", "render_history", "count_covers"]


def read_history(path: Path, missing_ok: bool = False) -> dict[str, int]:
    """The covers by teacher, in file order; an absent file is empty when missing_ok."""
    if missing_ok and not path.exists():
        return {}
    totals: dict[str, int] = {}
    first_seen: dict[str, int] = {}
    for record in read_table(path, ("name", "covers")):
        name, text = record.values["name"], record.values["covers"]
        if name in first_seen:
            raise InputError(path, record.line, f"duplicate teacher {name!r} (first on line {first_seen[name]})")
        if not text.isascii() or not text.isdigit():
            raise InputError(path, record.line, f"covers {text!r} is not a whole number of 0 or more")
        first_seen[name] = record.line
        totals[name] = int(text)
    return totals


def count_covers(covers: Iterable[Any]) -> dict[str, int]:
    """The covers of one plan by substitute; a lesson of a combined set counts once."""
    counts: dict[str, int] = {}
    for cover in covers:
        if cover.rule != "combined":
            counts[cover.substitute] = counts.get(cover.substitute, 0) + 1
    return counts


def render_history(totals: Mapping[str, int]) -> bytes:
    """The history file's text: the header and one row per teacher, in the order given."""
    stream = io.StringIO(newline="")
    writer = csv.writer(stream, lineterminator="\n")
    writer.writerow(("name", "covers"))
    for name, count in totals.items():
        writer.writerow((name, count))
    return stream.getvalue().encode("utf-8")
