"""What the people's formats (text and HTML) show of a planned day, worked out once.

The board holds every absent lesson once, in period, class and absentee order,
each with its room and the absent teacher's subject as ``teachers.csv`` wrote it:
one teacher's subject is spelt the same everywhere on a page, while the records
keep the report's display name for CSV and JSON.  A lesson's room is the room of
its own row in ``lessons.csv``; a combined lesson (one substitute for several
classes) shows each class in the room its row names.
"""

from __future__ import annotations

from collections import namedtuple

from ..cover_plan import CoverPlan, PlannedLesson, plan_counts, planned_lessons
from .period_runs import runs_text
from .reading import Day

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from ..records import Cover, NotNeeded, Uncovered

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


summary = plan_counts
"""The counts of a plan (absent lessons, covered, uncovered, not needed, substitutes), then the
other figures of its :class:`~lessoncover_planner.PlanSummary` by their field names."""


def absent_lessons(day: Day, result: CoverPlan) -> list[PlannedLesson]:
    """Every absent lesson once, by period, class order and absentee order."""
    teacher_order = {name: index for index, (name, _) in enumerate(day.teachers)}
    class_order = {name: index for index, name in enumerate(day.classes)}
    lessons = planned_lessons(result)
    lessons.sort(key=lambda lesson: (lesson.period, class_order.get(lesson.class_name, -1),
                                     teacher_order.get(lesson.absent, -1)))
    return lessons


def room_of(day: Day, lesson: PlannedLesson | Cover | Uncovered | NotNeeded) -> str:
    """The room of the lesson's row, or "" when the row names none."""
    return day.rooms.get((lesson.absent, lesson.period, lesson.class_name), "")


BoardRow = namedtuple("BoardRow", "status period class_name room subject absent substitute how why",
                      defaults=("", "", ""))
BoardRow.__doc__ = """One absent lesson as people read it; ``how`` is the rule in words, ``why`` why this
substitute (empty for a cover set by hand, whose ``how`` says so) or why no cover."""

Absentee = namedtuple("Absentee", "name subject reason periods")
Absentee.__doc__ = "An absent teacher as the board lists them: ``periods`` in words, empty for all day."

Slip = namedtuple("Slip", "substitute covers")
Slip.__doc__ = "A substitute's covers (board rows) in period order."


def _row(day: Day, subjects: dict[str, str], lesson: PlannedLesson) -> BoardRow:
    how = day.cover_how.get((lesson.absent, lesson.period, lesson.class_name), "") if lesson.status == "covered" else ""
    return BoardRow(status=lesson.status, period=lesson.period, class_name=lesson.class_name,
                    room=room_of(day, lesson), subject=subjects.get(lesson.absent, lesson.subject),
                    absent=lesson.absent, substitute=lesson.substitute,
                    how=how or RULE_TEXT.get(lesson.rule, lesson.rule), why="" if how else lesson.why)


def board_rows(day: Day, result: CoverPlan) -> list[BoardRow]:
    """Every absent lesson once, in the order of :func:`absent_lessons`."""
    subjects = dict(day.teachers)
    return [_row(day, subjects, lesson) for lesson in absent_lessons(day, result)]


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
