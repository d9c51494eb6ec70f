"""A date as the ledger holds it now: the board, the open lessons and the counts, without planning.

A page shows the date between plans: absences added since the last plan leave
lessons "not planned", covers set by hand show as such, and the plan's figures
are shown only while nothing has changed since that plan.  The rows are the
people's formats' :class:`~lessoncover_planner.cli.board.BoardRow`, so a page of
the recorded date and ``--format html`` lay out the same thing.
"""

from __future__ import annotations

import datetime
import json
from dataclasses import dataclass, field

from ..cli.board import RULE_TEXT, Absentee, BoardRow, absentees
from ..cli.reading import Day
from .day_facts import DayFacts, Lesson
from .ledger import CoverEntry, Ledger, OpenLesson, PlanRun

__all__ = ["DateView", "ViewRow", "HOW_WORDS", "NOT_PLANNED_WHY", "view_date"]

HOW_WORDS = {"planned": "planned", "kept": "kept", "manual": "set by hand", "forced": "set by hand (forced)"}
"""How a recorded cover came, in words for the board."""
NOT_PLANNED_WHY = "not planned since it changed"


@dataclass(frozen=True)
class ViewRow:
    """A board row and what the ledger adds to it: how the cover came (``HOW_WORDS``'s keys,
    "" when uncovered), the planner's rule and the absence's reason."""

    row: BoardRow
    came: str
    rule: str
    reason: str

    @property
    def lesson(self) -> Lesson:
        return (self.row.absent, self.row.period, self.row.class_name)


@dataclass(frozen=True)
class DateView:
    """What the ledger holds for a date, as a page shows it."""

    date: datetime.date
    label: str
    day: Day
    version: int
    absentees: list[Absentee]
    rows: list[ViewRow]
    last_run: PlanRun | None
    facts: DayFacts = field(compare=False, repr=False)
    """The day's facts the view was made from, for questions asked of the same version."""

    @property
    def counts(self) -> dict[str, int]:
        """The counts of the recorded date, with the last plan's figures while they still hold."""
        statuses = [view.row.status for view in self.rows]
        covered = [view for view in self.rows if view.row.status == "covered"]
        counts = {
            "absent_lessons": len(statuses),
            "covered": len(covered),
            "uncovered": statuses.count("uncovered"),
            "not_needed": statuses.count("not needed"),
            "not_planned": statuses.count("not planned"),
            "substitutes": len({view.row.substitute for view in covered}),
            "by_hand": sum(view.came in ("manual", "forced") for view in covered),
        }
        counts.update(self.figures or {})
        return counts

    @property
    def figures(self) -> dict[str, int] | None:
        """The last plan's figures, None when the date was never planned or changed since."""
        run = self.last_run
        if run is None or not run.figures or run.version != self.version:
            return None
        figures: dict[str, int] = json.loads(run.figures)
        return figures

    @property
    def planned_at(self) -> str:
        """When the date was last planned, in this machine's time ("Wed 9 Dec 07:58"); "" if never."""
        if self.last_run is None:
            return ""
        at = datetime.datetime.fromisoformat(self.last_run.at).astimezone()
        return f"{at:%a} {at.day} {at:%b %H:%M}"

    @property
    def changed_since_plan(self) -> bool:
        return self.last_run is not None and self.last_run.version != self.version


def _cover_row(facts: DayFacts, lesson: Lesson, room: str, cover: CoverEntry) -> BoardRow:
    rule_words = RULE_TEXT.get(cover.rule, cover.rule)
    how = HOW_WORDS[cover.how] if cover.how in ("manual", "forced") else rule_words
    return BoardRow(status="covered", period=lesson[1], class_name=lesson[2], room=room,
                    subject=facts.subjects.get(lesson[0], ""), absent=lesson[0], substitute=cover.substitute,
                    how=how, why=cover.why)


def _open_row(facts: DayFacts, lesson: Lesson, room: str, status: str, why: str) -> BoardRow:
    return BoardRow(status=status, period=lesson[1], class_name=lesson[2], room=room,
                    subject=facts.subjects.get(lesson[0], ""), absent=lesson[0], why=why)


def view_date(ledger: Ledger, facts: DayFacts, date: datetime.date, label: str) -> DateView:
    """The date as recorded: every lesson of an absent teacher once, by period, class and absentee.

    A lesson is covered when the ledger has its cover, uncovered or not needed when the last
    plan left it open, and "not planned" when the ledger has neither (an absence added or a
    cover removed since the plan)."""
    day = facts.day
    covers = {(c.absent, c.period, c.class_name): c for c in ledger.covers_on(date)}
    uncovered, not_needed = ledger.open_lessons_on(date)
    open_lessons: dict[Lesson, tuple[str, OpenLesson]] = {}
    for status, entries in (("uncovered", uncovered), ("not needed", not_needed)):
        for entry in entries:
            open_lessons[(entry.absent, entry.period, entry.class_name)] = (status, entry)
    teacher_order = {name: index for index, (name, _) in enumerate(day.teachers)}
    class_order = {name: index for index, name in enumerate(day.classes)}
    lessons = sorted((lesson for lesson in dict.fromkeys(day.lessons) if facts.absent_then(lesson[0], lesson[1])),
                     key=lambda lesson: (lesson[1], class_order[lesson[2]], teacher_order.get(lesson[0], -1)))
    rows = []
    for lesson in lessons:
        room = day.rooms.get(lesson, "")
        reason = facts.absence_reason(lesson[0])
        cover = covers.get(lesson)
        if cover is not None:
            rows.append(ViewRow(_cover_row(facts, lesson, room, cover), cover.how, cover.rule, reason))
            continue
        status, why = "not planned", NOT_PLANNED_WHY
        if lesson in open_lessons:
            status, entry = open_lessons[lesson]
            why = entry.why
        rows.append(ViewRow(_open_row(facts, lesson, room, status, why), "", "", reason))
    return DateView(date=date, label=label, day=day, version=ledger.version(date), absentees=absentees(day),
                    rows=rows, last_run=ledger.last_run(date), facts=facts)
