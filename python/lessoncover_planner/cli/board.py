"""What the people's formats (text and HTML) show of a planned day, worked out once.

The board holds every absent lesson once, in period, class and absentee order,
each with its room and the absent teacher's subject as ``teachers.csv`` wrote it:
one teacher's subject is spelt the same everywhere on a page, while the records
keep the report's display name for CSV and JSON.  A lesson's room is the room of
its own row in ``lessons.csv``; a combined lesson (one substitute for several
classes) shows each class in the room its row names.
"""

from __future__ import annotations

from dataclasses import asdict, dataclass, field

from ..cover_plan import CoverPlan
from ..records import Cover, NotNeeded, Uncovered
from .period_runs import runs_text
from .reading import Day

Record = Cover | Uncovered | NotNeeded

__all__ = ["BoardRow", "Absentee", "Slip", "RULE_TEXT", "summary", "absent_lessons", "room_of",
           "board_rows", "absentees", "slips"]

RULE_TEXT = {
    "subject": "same subject",
    "any": "free colleague",
    "double": "double lesson",
    "combined": "combined lesson",
    "pinned": "given earlier",
    "supply": "supply teacher",
}


def summary(result: CoverPlan) -> dict[str, int]:
    """The counts of a plan (absent lessons, covered, uncovered, not needed, substitutes), then
    the other figures of its :class:`~lessoncover_planner.PlanSummary` by their field names."""
    covers, uncovered, skipped = result.covers, result.uncovered, result.not_needed
    counts = {
        "absent_lessons": len(covers) + len(uncovered) + len(skipped),
        "covered": len(covers),
        "uncovered": len(uncovered),
        "not_needed": len(skipped),
        "substitutes": len({cover.substitute for cover in covers}),
    }
    counts.update(asdict(result.summary))  # its covered is len(covers) too
    return counts


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


def room_of(day: Day, record: Record) -> str:
    """The room of the record's lesson row, or "" when the row names none."""
    return day.rooms.get((record.absent, record.period, record.class_name), "")


@dataclass(frozen=True)
class BoardRow:
    """One absent lesson as people read it; ``how`` is the rule in words, ``why`` why this substitute
    (empty for a cover set by hand, whose ``how`` says so) or why no cover."""

    status: str
    period: int
    class_name: str
    room: str
    subject: str
    absent: str
    substitute: str = ""
    how: str = ""
    why: str = ""


@dataclass(frozen=True)
class Absentee:
    name: str
    subject: str
    reason: str
    periods: str


@dataclass(frozen=True)
class Slip:
    """A substitute's covers in period order."""

    substitute: str
    covers: list[BoardRow] = field(default_factory=list)


def _row(day: Day, subjects: dict[str, str], status: str, record: Record) -> BoardRow:
    rule = getattr(record, "rule", "")
    how = day.cover_how.get((record.absent, record.period, record.class_name), "") if status == "covered" else ""
    return BoardRow(status=status, period=record.period, class_name=record.class_name,
                    room=room_of(day, record), subject=subjects.get(record.absent, record.subject),
                    absent=record.absent, substitute=getattr(record, "substitute", ""),
                    how=how or RULE_TEXT.get(rule, rule), why="" if how else record.why)


def board_rows(day: Day, result: CoverPlan) -> list[BoardRow]:
    """Every absent lesson once, in the order of :func:`absent_lessons`."""
    subjects = dict(day.teachers)
    return [_row(day, subjects, status, record) for status, record in absent_lessons(day, result)]


def absentees(day: Day) -> list[Absentee]:
    """The absent teachers in the order of ``absences.csv``."""
    subjects = dict(day.teachers)
    return [Absentee(name, subjects.get(name, ""), reason or "",
                     runs_text(day.absent_ranges.get(name, ()), dash="\u2013", separator=", "))
            for name, reason in day.absences.items()]


def slips(rows: list[BoardRow]) -> list[Slip]:
    """One slip per substitute of the board's covered rows, by name; covers keep the board's order."""
    by_substitute: dict[str, list[BoardRow]] = {}
    for row in rows:
        if row.status == "covered":
            by_substitute.setdefault(row.substitute, []).append(row)
    return [Slip(name, covers) for name, covers in sorted(by_substitute.items(), key=lambda item: item[0].casefold())]
