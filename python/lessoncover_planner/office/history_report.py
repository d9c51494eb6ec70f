"""``lessoncover history``: the covers each teacher gave over a range of dates, as text, CSV or a page.

The rows come in the school's teacher order, teachers without a cover included (the
command takes them from :meth:`.ledger.Ledger.covers_by_teacher` and the school's
teachers), so that the office sees who has not covered yet as plainly as who covered most.

* ``text``: a table aligned by the width a terminal gives each character, the total
  and the average under it, headed by the range.
* ``csv``: ``name,covers`` rows, one a teacher, as the ``csv`` format of a plan writes
  them (CRLF, UTF-8 with a byte-order mark, names guarded against spreadsheet formulas);
  no total row, so that every row is a teacher.
* ``html``: a page with the covers as a bar chart in inline SVG (one bar a teacher on one
  shared scale, the average marked), readable on a phone and printed, and the same
  numbers as a table for screen readers.  No script.
"""

from __future__ import annotations

import csv
import io
from collections.abc import Sequence
from datetime import date

from ..cli.cells import guard
from ..cli.templates_env import environment
from ..cli.text_format import clean, display_width

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any

__all__ = ["HISTORY_FORMATS", "CSV_HEADER", "range_text", "render_history_report", "history_context",
           "two_ranges_context"]

HISTORY_FORMATS = ("text", "csv", "html")
CSV_HEADER = ("name", "covers")


def range_text(first: date | None, last: date | None) -> str:
    """The range of dates in words: ``2025-03-01 to 2025-03-31``, ``from ... on``, ``all dates``."""
    if first and last:
        return first.isoformat() if first == last else f"{first.isoformat()} to {last.isoformat()}"
    if first:
        return f"from {first.isoformat()} on"
    if last:
        return f"up to {last.isoformat()}"
    return "all dates"


def _average(rows: Sequence[tuple[str, int]]) -> float:
    return sum(covers for _, covers in rows) / len(rows) if rows else 0.0


def _summary(rows: Sequence[tuple[str, int]]) -> str:
    total = sum(covers for _, covers in rows)
    teachers = "1 teacher" if len(rows) == 1 else f"{len(rows)} teachers"
    return f"{total} {'cover' if total == 1 else 'covers'} by {teachers}, {_average(rows):.1f} a teacher on average"


def render_text(rows: Sequence[tuple[str, int]], first: date | None, last: date | None) -> bytes:
    """The table as a terminal shows it, UTF-8, ending in one line break."""
    title = f"Covers by teacher, {range_text(first, last)}"
    lines = [title, "=" * display_width(title), ""]
    if not rows:
        lines.append("  No teachers.")
    else:
        names = [clean(name) for name, _ in rows]
        total = sum(covers for _, covers in rows)
        name_width = max(display_width(text) for text in [*names, "Name", "Total"])
        count_width = max(len(str(value)) for value in ("Covers", total))

        def line(name: str, count: object) -> str:
            return f"  {name}{' ' * (name_width - display_width(name))}  {count!s:>{count_width}}"

        lines.append(line("Name", "Covers"))
        lines += [line(name, covers) for name, (_, covers) in zip(names, rows)]
        lines.append(f"  {'-' * name_width}  {'-' * count_width}")
        lines.append(line("Total", total))
    lines += ["", _summary(rows)]
    return ("\n".join(lines) + "\n").encode("utf-8")


def render_csv(rows: Sequence[tuple[str, int]], first: date | None, last: date | None) -> bytes:
    """``name,covers`` and a row a teacher, RFC 4180 with CRLF, UTF-8 with a byte-order mark."""
    stream = io.StringIO(newline="")
    writer = csv.writer(stream, lineterminator="\r\n")
    writer.writerow(CSV_HEADER)
    writer.writerows((guard(name), covers) for name, covers in rows)
    return stream.getvalue().encode("utf-8-sig")


def _percent(part: float, whole: float) -> str:
    """part as a percentage of whole, for an SVG length; 0 when whole is 0."""
    return "0" if whole <= 0 else f"{100 * part / whole:.2f}".rstrip("0").rstrip(".")


def _ticks(most: int) -> list[tuple[int, str]]:
    """The scale's marks: 0 to most in round steps, at most six, each with its position."""
    if most <= 0:
        return [(0, "0")]
    step = 1
    while most // step > 5:  # 1, 2, 5, 10, 20, 50, ...
        step = step * 5 // 2 if str(step)[0] == "2" else step * 2
    return [(value, _percent(value, most)) for value in range(0, most + 1, step)]


def history_context(rows: Sequence[tuple[str, int]], first: date | None, last: date | None) -> dict[str, Any]:
    """What the page shows, worked out here so the template only lays it out."""
    most = max((covers for _, covers in rows), default=0)
    average = _average(rows)
    return {
        "range": range_text(first, last),
        "bars": [{"name": name, "covers": covers, "width": _percent(covers, most)} for name, covers in rows],
        "total": sum(covers for _, covers in rows),
        "teachers": len(rows),
        "most": most,
        "average": f"{average:.1f}",
        "average_at": _percent(average, most),
        "ticks": _ticks(most),
        "summary": _summary(rows),
    }


def two_ranges_context(rows: Sequence[tuple[str, int, int]], first: tuple[date | None, date | None],
                       second: tuple[date | None, date | None]) -> dict[str, Any]:
    """Two histories of the same teachers side by side, (name, covers in first, covers in
    second) a row, both on one scale so that their bars compare: each range's own
    :func:`history_context` (its total, average, summary) and the rows' bar widths."""
    most = max((max(one, two) for _, one, two in rows), default=0)
    return {
        "first": history_context([(name, one) for name, one, _ in rows], *first),
        "second": history_context([(name, two) for name, _, two in rows], *second),
        "most": most, "ticks": _ticks(most),
        "rows": [{"name": name, "first": one, "second": two, "first_width": _percent(one, most),
                  "second_width": _percent(two, most)} for name, one, two in rows],
    }


def _template() -> Any:
    return environment("lessoncover_planner.office").get_template("history.html.j2")


def render_html(rows: Sequence[tuple[str, int]], first: date | None, last: date | None) -> bytes:
    """One self-contained page: the chart, the table behind it, printable."""
    page: str = _template().render(history_context(rows, first, last))
    return page.encode("utf-8")


_RENDERERS = {"text": render_text, "csv": render_csv, "html": render_html}


def render_history_report(rows: Sequence[tuple[str, int]], first: date | None, last: date | None,
                          format_name: str) -> bytes:
    """The covers of rows ((name, covers) in the school's teacher order) over first..last
    (None: open) in the named format, as the bytes to write."""
    try:
        renderer = _RENDERERS[format_name]
    except KeyError:
        raise ValueError(f"no history format {format_name!r}; choose from {', '.join(HISTORY_FORMATS)}") from None
    return renderer(rows, first, last)
