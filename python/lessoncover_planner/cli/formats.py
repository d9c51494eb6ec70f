"""The output formats of ``lessoncover plan``: report, csv, json and html.

Each renderer takes the day as read and the plan of it and returns the bytes to
write (UTF-8).
"""

from __future__ import annotations

import csv
import dataclasses
import io
from collections.abc import Callable

from ..cover_plan import CoverPlan
from ..records import Cover, NotNeeded, Uncovered
from ..subjects import SUBJECTS, resolve_subject
from .reading import Day

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any

Record = Cover | Uncovered | NotNeeded

__all__ = ["FORMATS", "EXTENSIONS", "CSV_HEADER", "render", "summary", "absent_lessons"]

CSV_HEADER = ("absent", "period", "subject", "class", "reason", "status", "substitute", "rule", "why")
EXTENSIONS = {"report": "txt", "csv": "csv", "json": "json", "html": "html"}
RULE_TEXT = {
    "subject": "same subject",
    "any": "free colleague",
    "double": "double lesson",
    "combined": "combined lesson",
}


def summary(result: CoverPlan) -> dict[str, int]:
    """The counts of a plan: absent lessons, covered, uncovered, not needed, substitutes."""
    covers, uncovered, skipped = result.covers, result.uncovered, result.not_needed
    return {
        "absent_lessons": len(covers) + len(uncovered) + len(skipped),
        "covered": len(covers),
        "uncovered": len(uncovered),
        "not_needed": len(skipped),
        "substitutes": len({cover.substitute for cover in covers}),
    }


def absent_lessons(day: Day, result: CoverPlan) -> list[tuple[str, Record]]:
    """Every absent lesson once, as (status, record), by period, class order and absentee order."""
    teacher_order = {name: index for index, (name, _) in enumerate(day.teachers)}
    class_order = {name: index for index, name in enumerate(day.classes)}
    rows: list[tuple[str, Record]] = ([("covered", record) for record in result.covers]
            + [("uncovered", record) for record in result.uncovered]
            + [("not needed", record) for record in result.not_needed])
    rows.sort(key=lambda row: (row[1].period, class_order.get(row[1].class_name, -1),
                               teacher_order.get(row[1].absent, -1)))
    return rows


def render_report(day: Day, result: CoverPlan) -> bytes:
    """The report text, timing line included, and one line break: ``plan_cover.py``'s output."""
    return (result.report(timing=True) + "\n").encode("utf-8")


def render_csv(day: Day, result: CoverPlan) -> bytes:
    """One RFC 4180 row per absent lesson, UTF-8 with a byte-order mark as Excel's "CSV UTF-8"."""
    stream = io.StringIO(newline="")
    writer = csv.writer(stream, lineterminator="\r\n")
    writer.writerow(CSV_HEADER)
    for status, record in absent_lessons(day, result):
        substitute = getattr(record, "substitute", "")
        rule = getattr(record, "rule", "")
        why = getattr(record, "why", "")
        writer.writerow((record.absent, record.period, record.subject, record.class_name,
                         record.reason, status, substitute, rule, why))
    return stream.getvalue().encode("utf-8-sig")


def _as_dict(record: Record) -> dict[str, Any]:
    return {field.name: getattr(record, field.name) for field in dataclasses.fields(record)}


def render_json(day: Day, result: CoverPlan) -> bytes:
    """One object: the day, covers, uncovered, not_needed, summary and elapsed."""
    import json

    document = {
        "day": day.name,
        "covers": [_as_dict(record) for record in result.covers],
        "uncovered": [_as_dict(record) for record in result.uncovered],
        "not_needed": [_as_dict(record) for record in result.not_needed],
        "summary": summary(result),
        "elapsed": result.elapsed,
    }
    return (json.dumps(document, ensure_ascii=False, indent=2) + "\n").encode("utf-8")


def _periods_text(periods: tuple[int, ...]) -> str:
    """``(3, 4, 5, 7)`` as ``3-5, 7``."""
    parts: list[str] = []
    start = previous = None
    for period in periods:
        if previous is not None and period == previous + 1:
            previous = period
            continue
        if start is not None:
            parts.append(str(start) if start == previous else f"{start}\u2013{previous}")
        start = previous = period
    if start is not None:
        parts.append(str(start) if start == previous else f"{start}\u2013{previous}")
    return ", ".join(parts)


def _display_subject(text: str) -> str:
    """The subject as the report shows it: the display name of a known one, else the text."""
    resolved = resolve_subject(text)
    return SUBJECTS[resolved] if isinstance(resolved, int) else (resolved or "")


_environment: Any = None


def _template() -> Any:
    global _environment
    if _environment is None:
        import jinja2

        _environment = jinja2.Environment(
            loader=jinja2.PackageLoader("lessoncover_planner.cli", "templates"),
            autoescape=True,
            undefined=jinja2.StrictUndefined,
            trim_blocks=True,
            lstrip_blocks=True,
            keep_trailing_newline=True,
        )
    return _environment.get_template("cover.html.j2")


def html_context(day: Day, result: CoverPlan) -> dict[str, Any]:
    """What the page shows, worked out here so the template only lays it out."""
    subjects = {name: _display_subject(subject) for name, subject in day.teachers}
    class_order = {name: index for index, name in enumerate(day.classes)}
    absentees = [
        {"name": name, "subject": subjects.get(name, ""), "reason": reason or "",
         "periods": _periods_text(day.absent_periods[name]) if name in day.absent_periods else ""}
        for name, reason in day.absences.items()
    ]
    board: dict[int, list[dict[str, Any]]] = {}
    not_needed = []
    for status, record in absent_lessons(day, result):
        if status == "not needed":
            not_needed.append(record)
            continue
        board.setdefault(record.period, []).append({
            "status": status, "class_name": record.class_name, "subject": record.subject,
            "absent": record.absent, "substitute": getattr(record, "substitute", ""),
            "how": RULE_TEXT.get(getattr(record, "rule", ""), getattr(record, "rule", "")),
            "why": getattr(record, "why", ""),
        })
    slips: dict[str, list[Cover]] = {}
    for cover in result.covers:
        slips.setdefault(cover.substitute, []).append(cover)

    def in_period_order(cover: Cover) -> tuple[int, int]:
        return cover.period, class_order.get(cover.class_name, -1)

    slip_list: list[dict[str, Any]] = [
        {"substitute": name, "covers": sorted(covers, key=in_period_order)}
        for name, covers in sorted(slips.items(), key=lambda item: item[0].casefold())
    ]
    uncovered = sorted(result.uncovered, key=lambda u: (u.period, class_order.get(u.class_name, -1)))
    return {
        "day": day.name,
        "absentees": absentees,
        "counts": summary(result),
        "board": sorted(board.items()),
        "uncovered": uncovered,
        "not_needed": not_needed,
        "slips": slip_list,
    }


def render_html(day: Day, result: CoverPlan) -> bytes:
    """One self-contained printable page: the board, the uncovered lessons, one slip per substitute."""
    page: str = _template().render(html_context(day, result))
    return page.encode("utf-8")


FORMATS: dict[str, Callable[[Day, CoverPlan], bytes]] = {
    "report": render_report,
    "csv": render_csv,
    "json": render_json,
    "html": render_html,
}


def render(format_name: str, day: Day, result: CoverPlan) -> bytes:
    """The bytes of result in the named format."""
    return FORMATS[format_name](day, result)
