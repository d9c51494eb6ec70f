"""The output formats of ``lessoncover plan``: text, report, csv, json and html.

Each renderer takes the day as read and the plan of it and returns the bytes to
write (UTF-8).  ``text`` and ``html`` are for people (see :mod:`.board`);
``report`` is the module's report exactly; ``csv`` and ``json`` keep the
records' fields, with the lesson's room added where ``lessons.csv`` names one.
"""

from __future__ import annotations

import csv
import io
from collections.abc import Callable, Iterable, Sequence

from ..cover_plan import CoverPlan
from .board import BoardRow, absent_lessons, absentees, board_rows, room_of, slips, summary
from .cells import guard
from .reading import Day
from .text_format import render_text

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any


__all__ = ["FORMATS", "OUTPUT_NAMES", "CSV_HEADER", "render", "summary", "absent_lessons"]

# room comes last so that the columns scripts already read keep their positions
CSV_HEADER = ("absent", "period", "subject", "class", "reason", "status", "substitute", "rule", "why", "room")
OUTPUT_NAMES = {"text": "board.txt", "report": "cover.txt", "csv": "cover.csv", "json": "cover.json",
                "html": "cover.html"}
"""The file each format writes in a day's folder (or under --out DIR)."""


def render_report(day: Day, result: CoverPlan) -> bytes:
    """The report text, timing line included, and one line break: ``plan_cover.py``'s output."""
    return (result.report(timing=True) + "\n").encode("utf-8")


def csv_document(rows: Iterable[Sequence[object]]) -> bytes:
    """:data:`CSV_HEADER` and one RFC 4180 row per absent lesson, UTF-8 with a byte-order mark as
    Excel's "CSV UTF-8"; text that a spreadsheet would run as a formula is guarded (:mod:`.cells`)."""
    stream = io.StringIO(newline="")
    writer = csv.writer(stream, lineterminator="\r\n")
    writer.writerow(CSV_HEADER)
    for values in rows:
        writer.writerow(tuple(map(guard, values)))
    return stream.getvalue().encode("utf-8-sig")


def render_csv(day: Day, result: CoverPlan) -> bytes:
    """One row per absent lesson, in the columns of :data:`CSV_HEADER`."""
    return csv_document((lesson.absent, lesson.period, lesson.subject, lesson.class_name, lesson.reason,
                         lesson.status, lesson.substitute, lesson.rule, lesson.why, room_of(day, lesson))
                        for lesson in absent_lessons(day, result))


def _as_dicts(day: Day, records: Sequence[Any]) -> list[dict[str, Any]]:
    """Each record's fields, and its lesson's room when the day names one; the records are of one kind."""
    if not records:
        return []
    import dataclasses  # only here: the records are the JSON's, and only it needs their fields

    names = [field.name for field in dataclasses.fields(records[0])]
    documents = []
    for record in records:
        fields = {name: getattr(record, name) for name in names}
        room = room_of(day, record)
        if room:
            fields["room"] = room
        documents.append(fields)
    return documents


def render_json(day: Day, result: CoverPlan) -> bytes:
    """One object: the day, covers, uncovered, not_needed, summary and elapsed."""
    import json

    document = {
        "day": day.name,
        "covers": _as_dicts(day, result.covers),
        "uncovered": _as_dicts(day, result.uncovered),
        "not_needed": _as_dicts(day, result.not_needed),
        "summary": summary(result),
        "elapsed": result.elapsed,
    }
    return (json.dumps(document, ensure_ascii=False, indent=2) + "\n").encode("utf-8")


def css_string(text: str) -> str:
    """text as a quoted CSS string: every character but ASCII letters, digits, '.', '-' and '_' as a
    six-digit escape, so nothing from the files can end the string or the style element.  A space is
    escaped too: after an escape, CSS would take it as the escape's end."""
    safe = "".join(char if (char.isascii() and char.isalnum()) or char in ".-_" else f"\\{ord(char):06x}"
                   for char in text)
    return f'"{safe}"'


def _template() -> Any:
    from .templates_env import environment

    page = environment("lessoncover_planner.cli")
    if "css_string" not in page.filters:
        import markupsafe

        # Marked safe: css_string leaves only letters, digits and escapes between its quotes.
        page.filters["css_string"] = lambda text: markupsafe.Markup(css_string(text))
    return page.get_template("cover.html.j2")


def page_context(day: Day, rows: list[BoardRow], counts: dict[str, int], slip_per_page: bool = False,
                 nonce: str = "", back: str = "") -> dict[str, Any]:
    """What the printable page shows of the board's rows, worked out here so the template only lays
    it out; ``nonce``, when given, is the inline stylesheet's (a page served under a content policy),
    ``back`` a link shown on screen only, to the page it was opened from."""
    board: dict[int, list[Any]] = {}
    for row in rows:
        if row.status != "not needed":
            board.setdefault(row.period, []).append(row)
    return {
        "day": day.name,
        "absentees": absentees(day),
        "counts": counts,
        "board": sorted(board.items()),
        "rooms": any(row.room for row in rows),
        "uncovered": [row for row in rows if row.status not in ("covered", "not needed")],
        "not_needed": [row for row in rows if row.status == "not needed"],
        "slips": slips(rows),
        "slip_per_page": slip_per_page,
        "period_times": day.period_times,
        "nonce": nonce,
        "back": back,
    }


def html_context(day: Day, result: CoverPlan, slip_per_page: bool = False) -> dict[str, Any]:
    return page_context(day, board_rows(day, result), summary(result), slip_per_page)


def render_page(context: dict[str, Any]) -> bytes:
    page: str = _template().render(context)
    return page.encode("utf-8")


def render_html(day: Day, result: CoverPlan, slip_per_page: bool = False) -> bytes:
    """One self-contained printable page: the board, the uncovered lessons, the substitutes' slips
    (several to a printed page with a cut line, or with slip_per_page one to a page)."""
    return render_page(html_context(day, result, slip_per_page))


FORMATS: dict[str, Callable[[Day, CoverPlan], bytes]] = {
    "text": render_text,
    "report": render_report,
    "csv": render_csv,
    "json": render_json,
    "html": render_html,
}


def render(format_name: str, day: Day, result: CoverPlan, slip_per_page: bool = False) -> bytes:
    """The bytes of result in the named format; slip_per_page is the HTML page's slip layout."""
    if format_name == "html":
        return render_html(day, result, slip_per_page)
    return FORMATS[format_name](day, result)
