"""The result of planning one day: the report text and the records behind it."""

from __future__ import annotations

from collections import namedtuple

from . import _planner

# typing is left out of the command's start-up: the rule's Literal and @final are for the
# type checker, which sees them here. So are the records: they are dataclasses, imported
# when a caller first asks for them.
TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import final

    from ._planner import _CoverRule as CoverRule
    from .records import Cover, NotNeeded, PlanSummary, Uncovered

    CoverRow = tuple[str, int, str, str, str, str, CoverRule, str]
else:
    def final(cls):
        return cls

    CoverRow = tuple[str, int, str, str, str, str, str, str]
UncoveredRow = tuple[str, int, str, str, str, int, int, int, int, int]
NotNeededRow = tuple[str, int, str, str, str, str]
SummaryRow = tuple[int, int, int, int, int, int, int]

__all__ = ["CoverPlan"]


@final
class CoverPlan:
    """The cover planned for one school day, as :func:`lessoncover_planner.plan` returns it.

    ``covers`` and ``uncovered`` hold the records in the order of the report's
    rows and of its missing-cover lines; ``not_needed`` holds the lessons that a
    :class:`Policy` said need no cover, in the same order.  Together they hold
    every absent lesson once.  ``summary`` holds the plan's figures.  They are made
    on first access, so a caller who only wants the text pays nothing for them.
    ``elapsed`` is the
    time the planning took, in seconds.  ``report()`` gives the text.
    """

    __slots__ = ("_report_head", "_timing_line", "_elapsed", "_cover_rows",
                 "_uncovered_rows", "_not_needed_rows", "_summary_row", "_covers", "_uncovered", "_not_needed",
                 "_summary")

    def __init__(
        self,
        report_head: str,
        timing_line: str,
        elapsed: float,
        cover_rows: list[CoverRow],
        uncovered_rows: list[UncoveredRow],
        not_needed_rows: list[NotNeededRow],
        summary_row: SummaryRow,
    ) -> None:
        """Keep the planner's output; records are made from the rows when first asked for."""
        self._report_head = report_head
        self._timing_line = timing_line
        self._elapsed = elapsed
        self._cover_rows = cover_rows
        self._uncovered_rows = uncovered_rows
        self._not_needed_rows = not_needed_rows
        self._summary_row = summary_row
        self._covers: tuple[Cover, ...] | None = None
        self._uncovered: tuple[Uncovered, ...] | None = None
        self._not_needed: tuple[NotNeeded, ...] | None = None
        self._summary: PlanSummary | None = None

    @property
    def covers(self) -> tuple[Cover, ...]:
        """The covered lessons, in the order of the report's rows."""
        if self._covers is None:
            from .records import Cover

            self._covers = tuple(Cover(*row) for row in self._cover_rows)
        return self._covers

    @property
    def uncovered(self) -> tuple[Uncovered, ...]:
        """The lessons nobody could cover, in the order of the report's missing-cover lines."""
        if self._uncovered is None:
            from .records import Uncovered

            self._uncovered = tuple(Uncovered(*row) for row in self._uncovered_rows)
        return self._uncovered

    @property
    def not_needed(self) -> tuple[NotNeeded, ...]:
        """The lessons that need no cover (a class away, a co-taught lesson), in lesson order."""
        if self._not_needed is None:
            from .records import NotNeeded

            self._not_needed = tuple(NotNeeded(*row) for row in self._not_needed_rows)
        return self._not_needed

    @property
    def summary(self) -> PlanSummary:
        """The plan's figures: lessons covered, covers by subject and by supply teachers,
        doubles kept, the largest load, the sum of squared loads, covers by a teacher of the class."""
        if self._summary is None:
            from .records import PlanSummary

            self._summary = PlanSummary(*self._summary_row)
        return self._summary

    @property
    def elapsed(self) -> float:
        """The time the planning took, in seconds."""
        return self._elapsed

    def report(self, timing: bool = True) -> str:
        """The substitution report, without a final line break.

        With ``timing`` the text ends with the quoted line
        ``"Time taken to generate subs: ..."``, as ``lessoncover``'s
        ``School.generate_substitutions()`` writes it; without, it ends after the
        quoted block of lessons nobody could cover, so two plans of the same day
        give the same text.
        """
        if timing:
            return self._report_head + "\n" + self._timing_line
        return self._report_head

    def __repr__(self) -> str:
        not_needed = f"not_needed={len(self._not_needed_rows)}, " if self._not_needed_rows else ""
        return (f"CoverPlan(covers={len(self._cover_rows)}, "
                f"uncovered={len(self._uncovered_rows)}, {not_needed}elapsed={self._elapsed:.6g})")


def with_cover_rules(plan: CoverPlan, rules: dict[tuple[str, int, str], tuple[str, str]]) -> CoverPlan:
    """The plan with the rule and why of some covers replaced, by (absent, period, class_name).

    A caller that pins the covers of an earlier plan gets them back with the rule
    ``"pinned"``; this shows them with the rule and why that first chose them, so planning
    a day again that changed nothing shows the same plan.  The figures stay the plan's."""
    rows = [row[:6] + rules.get((row[0], row[1], row[4]), row[6:8]) for row in plan._cover_rows]
    # The rules given are the rules of an earlier plan's covers: names the planner gave.
    return CoverPlan(plan._report_head, plan._timing_line, plan._elapsed, rows,  # type: ignore[arg-type]
                     plan._uncovered_rows, plan._not_needed_rows, plan._summary_row)


# What a program of this package that only shows a plan reads of it, without making the records.

PlannedLesson = namedtuple("PlannedLesson", "status absent period subject class_name reason substitute rule why")
PlannedLesson.__doc__ = """An absent lesson of a plan as its record gives it, with ``status`` "covered",
"uncovered" or "not needed"; ``substitute`` and ``rule`` are "" but for a covered one."""

SUMMARY_FIELDS = ("covered", "subject", "supply", "doubles_kept", "largest_load", "sum_of_squares", "knows_class")
"""The names of :class:`~lessoncover_planner.PlanSummary`'s fields, in order."""


def covered_lessons(plan: CoverPlan) -> list[PlannedLesson]:
    """The covered lessons of plan, in the order of its covers."""
    return [PlannedLesson("covered", absent, period, subject, class_name, reason, substitute, rule, why)
            for absent, period, subject, substitute, class_name, reason, rule, why in plan._cover_rows]


def planned_lessons(plan: CoverPlan) -> list[PlannedLesson]:
    """Every absent lesson of plan once: its covers, the lessons without cover, then those that
    need none, each group in the order of its records, with the records' values."""
    lessons = covered_lessons(plan)
    lessons += [PlannedLesson("uncovered", absent, period, subject, class_name, reason, "", "",
                              _planner.why_uncovered(period, *counts))
                for absent, period, subject, class_name, reason, *counts in plan._uncovered_rows]
    lessons += [PlannedLesson("not needed", *row[:5], "", "", row[5]) for row in plan._not_needed_rows]
    return lessons


def plan_counts(plan: CoverPlan) -> dict[str, int]:
    """How many absent lessons plan has (in all, covered, uncovered, not needed) and how many
    substitutes, then the figures of its :attr:`~CoverPlan.summary` by field name (whose
    ``covered`` is the same count)."""
    covers, uncovered, not_needed = plan._cover_rows, plan._uncovered_rows, plan._not_needed_rows
    counts = {
        "absent_lessons": len(covers) + len(uncovered) + len(not_needed),
        "covered": len(covers),
        "uncovered": len(uncovered),
        "not_needed": len(not_needed),
        "substitutes": len({substitute for _, _, _, substitute, *_ in covers}),
    }
    counts.update(zip(SUMMARY_FIELDS, plan._summary_row))
    return counts
