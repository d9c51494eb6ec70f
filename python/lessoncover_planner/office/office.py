"""The cover office: one school folder and its ledger, and everything the office does with them.

The commands and the web app call these methods and nothing else; each method
that writes runs in one ledger transaction, taken before it reads what it
changes, so two offices working on one date take turns.
"""

from __future__ import annotations

import contextlib
import datetime
import json
import re
from collections.abc import Iterator, Sequence
from dataclasses import asdict, dataclass, replace
from pathlib import Path
from typing import BinaryIO

from .. import plan as plan_day
from ..cli.errors import UsageError
from ..cli.guidance import did_you_mean
from ..cli.policies import PolicyOptions, build_policy
from ..cli.reading import Day, parse_period_list
from ..cover_plan import CoverPlan, with_cover_rules
from ..policy import Policy
from .calendar import WEEKDAYS, NotASchoolDay
from .candidates import Candidates, rank_candidates
from .date_view import HOW_WORDS, DateView, view_date
from .day_facts import DayFacts, Lesson, lesson_text
from .keeping import keep_covers
from ..cli.reading import read_absences
from .ledger import AbsenceEntry, CoverEntry, DayTotals, Ledger, OpenLesson, PlanRun
from .school_folder import LessonRow, School, read_school, school_day
from .uploaded_files import import_fet_export, replace_timetable, staged_file

__all__ = ["Office", "DatePlan", "WeekDay", "Week", "StaffCovers", "TimetableDay", "NOT_A_SCHOOL",
           "VersionConflict", "DAY_CHANGED"]

NOT_A_SCHOOL = "not a school folder; run lessoncover init"
DAY_CHANGED = "this day changed since you opened it"


class VersionConflict(UsageError):
    """A change based on a version of the date that is no longer the latest."""

    def __init__(self, date: datetime.date) -> None:
        super().__init__(f"{date}: {DAY_CHANGED}")
SCHOOL_STRATEGY = "best"
"""The strategy of a school folder's plans unless its school.toml or the command says otherwise."""
# How the board shows a cover the office set by hand.
HOW_TEXT = {how: HOW_WORDS[how] for how in ("manual", "forced")}


@dataclass
class DatePlan:
    """A date as planned: the day, the plan, the covers recorded and the covers released."""

    date: datetime.date
    day: Day
    result: CoverPlan
    covers: list[CoverEntry]
    released: list[str]
    kept: int


@dataclass(frozen=True)
class WeekDay:
    """A day of a school week: its label, or why it is not a school day, and what the ledger holds."""

    date: datetime.date
    label: str
    closed: str
    totals: DayTotals


@dataclass(frozen=True)
class Week:
    """The school week around a date: its Monday, its days (the school's weekdays, holidays
    among them) and their totals added up."""

    monday: datetime.date
    days: list[WeekDay]
    totals: DayTotals


@dataclass(frozen=True)
class StaffCovers:
    """Covers per teacher over the fairness window up to a date and over its term:
    (name, covers in the window, covers in the term), in the school's order."""

    window: tuple[datetime.date | None, datetime.date]
    term: tuple[datetime.date | None, datetime.date | None]
    rows: list[tuple[str, int, int]]


@dataclass(frozen=True)
class TimetableDay:
    """The lessons.csv rows of one ``day`` value ("" for the rows taught every day), by period."""

    label: str
    lessons: list[LessonRow]


def _natural(text: str) -> list[tuple[int, int | str]]:
    """A sort key that puts 7A before 10A: runs of digits compared as numbers."""
    return [(0, int(part)) if index % 2 else (1, part) for index, part in enumerate(re.split(r"(\d+)", text))]


class Office:
    """A school folder opened for work. Use as a context manager, or call close()."""

    def __init__(self, folder: Path, create: bool = True, school: School | None = None,
                 ledger: Ledger | None = None) -> None:
        """Open the folder's ledger; ``school``, when given, is the folder as already read, and
        ``ledger`` its ledger already open (the caller's to close)."""
        self.school: School = school if school is not None else read_school(folder)
        self._owns_ledger = ledger is None
        self.ledger = ledger if ledger is not None else Ledger.open(self.school.ledger_path, create=create)

    def close(self) -> None:
        if self._owns_ledger:
            self.ledger.close()

    def __enter__(self) -> Office:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    # -- the calendar and the day ------------------------------------------------------

    def check_school_day(self, date: datetime.date) -> str:
        """The date's label; a date that is not a school day is a usage error."""
        try:
            return self.school.calendar.label(date)
        except NotASchoolDay as error:
            raise UsageError(f"{error}: not a school day") from None

    def day(self, date: datetime.date, absences: Sequence[AbsenceEntry] | None = None) -> Day:
        """The date as the planner sees it: its lessons and its recorded absences (or
        ``absences`` in their place)."""
        self.check_school_day(date)
        entries = self.ledger.absences_on(date) if absences is None else absences
        return school_day(self.school, date, {entry.name: (entry.reason, entry.periods) for entry in entries})

    def options(self, overrides: PolicyOptions | None = None) -> PolicyOptions:
        """The school's default policies, with what the command line says on top; the strategy
        is the school's, or :data:`SCHOOL_STRATEGY` when school.toml sets none."""
        defaults = self.school.policy_defaults
        given = overrides or PolicyOptions()
        cap = given.max_covers if given.max_covers is not None else defaults.get("max_covers")
        return PolicyOptions(
            max_covers=cap if isinstance(cap, int) else None,
            keep_doubles=given.keep_doubles or bool(defaults.get("keep_doubles", False)),
            combined_lessons=given.combined_lessons or bool(defaults.get("combined_lessons", False)),
            co_taught_no_cover=given.co_taught_no_cover or bool(defaults.get("co_taught_no_cover", False)),
            away_classes=given.away_classes,
            strategy=given.strategy or str(defaults.get("strategy", SCHOOL_STRATEGY)))

    def view(self, date: datetime.date) -> DateView:
        """The date as the ledger holds it now, for a page (see :mod:`.date_view`)."""
        label = self.check_school_day(date)
        with self.ledger.reading():
            return view_date(self.ledger, DayFacts(self.day(date), self.options()), date, label)

    @contextlib.contextmanager
    def changing(self, date: datetime.date, version: int | None) -> Iterator[None]:
        """One transaction for a change made on a page that showed the date at ``version``:
        :class:`VersionConflict`, with nothing written, when the date was written since."""
        with self.ledger.transaction():
            if version is not None and self.ledger.version(date) != version:
                raise VersionConflict(date)
            yield

    def prior_covers(self, date: datetime.date) -> dict[str, int]:
        """Covers given over the fairness window before the date."""
        start = self.school.calendar.fairness_start(date)
        if start is not None and start >= date:
            return {}
        return self.ledger.covers_by_teacher(start, date - datetime.timedelta(days=1))

    def teacher_name(self, name: str, what: str = "teacher") -> str:
        known = [teacher for teacher, _ in self.school.teachers]
        if name not in known:
            raise UsageError(f"{what} {name!r} is not in teachers.csv" + did_you_mean(name, known))
        return name

    # -- absences ----------------------------------------------------------------------

    def record_absences(self, date: datetime.date, names: Sequence[str], reason: str | None,
                        periods: str = "") -> list[AbsenceEntry]:
        """Record the teachers absent on the date, replacing an entry a name already has."""
        self.check_school_day(date)
        for name in names:
            self.teacher_name(name)
        if periods:
            parse_period_list(Path("--periods"), None, "periods", periods)
        entries = [AbsenceEntry(name, reason or None, periods) for name in dict.fromkeys(names)]
        with self.ledger.transaction():
            for entry in entries:
                self.ledger.set_absence(date, entry)
        return entries

    def clear_absence(self, date: datetime.date, name: str) -> bool:
        """Remove the name's absence on the date, and with it the covers of their lessons: a
        teacher who is in needs no cover, and a cover left behind would count in everybody's
        history until the date is planned again."""
        with self.ledger.transaction():
            removed = self.ledger.clear_absence(date, name)
            if removed:
                self.ledger.drop_lessons_of(date, name)
        return removed

    def absences(self, date: datetime.date) -> list[AbsenceEntry]:
        return self.ledger.absences_on(date)

    def read_absences_file(self, path: Path) -> list[AbsenceEntry]:
        """An absences.csv for one date, read and checked as a day's is; the periods as written."""
        teachers = {name for name, _ in self.school.teachers}
        return [AbsenceEntry(name, reason or None, periods)
                for _, name, reason, periods, _ in read_absences(path, teachers)]

    def read_sent_absences(self, source: BinaryIO) -> list[AbsenceEntry]:
        """An absences.csv sent to the office, read as :meth:`read_absences_file` reads one."""
        with staged_file(source, "absences.csv") as path:
            return self.read_absences_file(path)

    def replace_absences(self, date: datetime.date, entries: Sequence[AbsenceEntry]) -> None:
        """Make entries the date's absences, in place of those recorded."""
        self.check_school_day(date)
        self.ledger.replace_absences(date, entries)

    # -- planning ----------------------------------------------------------------------

    def plan(self, date: datetime.date, overrides: PolicyOptions | None = None, fresh: bool = False,
             absences: Sequence[AbsenceEntry] | None = None) -> DatePlan:
        """Plan the date, keeping the covers already given that still stand (all of them
        dropped with ``fresh``), and record the plan. ``absences``, when given, replace the
        date's recorded absences first, in the same transaction."""
        options = self.options(overrides)
        with self.ledger.transaction():
            if absences is not None:
                self.ledger.replace_absences(date, absences)
            day = self.day(date)
            facts = DayFacts(day, options)
            kept = keep_covers(facts, [] if fresh else self.ledger.covers_on(date))
            prior = self.prior_covers(date)
            base = build_policy(options, day, prior) or Policy()
            policy = replace(base, pinned=kept.pins)
            try:
                result = plan_day(day.teachers, day.lessons, day.planner_absences(), policy=policy)
            except (TypeError, ValueError) as error:
                raise UsageError(f"{date}: {error}") from None
            covers = []
            for cover in result.covers:
                lesson = (cover.absent, cover.period, cover.class_name)
                earlier = kept.covers.get(lesson)
                if earlier is not None:
                    how = earlier.how if earlier.how in ("manual", "forced") else "kept"
                    # a cover recorded before the ledger kept whys gets the one of this plan
                    covers.append(CoverEntry(*lesson, cover.substitute, how, earlier.rule, earlier.why or cover.why))
                else:
                    covers.append(CoverEntry(*lesson, cover.substitute, "planned", cover.rule, cover.why))
            uncovered = [OpenLesson(record.absent, record.period, record.class_name, record.why)
                         for record in result.uncovered]
            not_needed = [OpenLesson(record.absent, record.period, record.class_name, record.why)
                          for record in result.not_needed]
            run = PlanRun(at=datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
                          options=json.dumps({**options._asdict(), "away_classes": list(options.away_classes),
                                              "fresh": fresh}, sort_keys=True),
                          covered=len(covers), uncovered=len(uncovered), not_needed=len(not_needed),
                          kept=len(kept.covers), released=len(kept.released),
                          figures=json.dumps(asdict(result.summary)))
            self.ledger.record_plan(date, covers, uncovered, not_needed, run)
        # A re-plan shows a kept cover as its first plan did, rule and why; one set by hand says so.
        day.cover_how = {(c.absent, c.period, c.class_name): HOW_TEXT[c.how] for c in covers if c.how in HOW_TEXT}
        result = with_cover_rules(result, {(c.absent, c.period, c.class_name): (c.rule, c.why) for c in covers
                                           if c.how == "kept" and c.rule})
        return DatePlan(date, day, result, covers, kept.released, len(kept.covers))

    # -- who could take a lesson, and changes by hand ----------------------------------

    def find_lesson(self, facts: DayFacts, class_name: str, period: int, absent: str | None) -> Lesson:
        """The absent lesson of a class in a period; ``absent`` picks one when several share them."""
        lessons = facts.absent_lessons_at(period, class_name)
        if absent is not None:
            lessons = [lesson for lesson in lessons if lesson[0] == absent]
        where = lesson_text(class_name, period)
        if not lessons:
            who = f" of {absent}" if absent is not None else ""
            classes = sorted({lesson[2] for lesson in facts.day.lessons})
            hint = did_you_mean(class_name, classes) if class_name not in classes else ""
            raise UsageError(f"{facts.day.name}: no lesson{who} in {where} whose teacher is absent then{hint}")
        if len(lessons) > 1:
            names = ", ".join(lesson[0] for lesson in lessons)
            raise UsageError(f"{facts.day.name}: {where} has lessons of {names}, all absent; say which with --absent")
        return lessons[0]

    def candidates(self, date: datetime.date, absent: str | None, period: int, class_name: str,
                   facts: DayFacts | None = None) -> Candidates:
        """Who could take the lesson of ``absent`` (None: the only absent teacher's) in the
        class and period, ranked as the planner would rank them, and who could not, and why.
        ``facts``: the date's facts when the caller has them (a :class:`DateView`'s)."""
        if facts is None:
            facts = DayFacts(self.day(date), self.options())
        lesson = self.find_lesson(facts, class_name, period, absent)
        return rank_candidates(facts, lesson, self.ledger.covers_on(date), self.prior_covers(date))

    def assign(self, date: datetime.date, class_name: str, period: int, substitute: str,
               absent: str | None = None, force: bool = False) -> list[CoverEntry]:
        """Set a cover by hand; under combined lessons the whole set goes to the substitute.
        Refused, with the reason, when the substitute cannot take it; ``force`` overrides every
        reason but absence."""
        self.teacher_name(substitute, "substitute")
        with self.ledger.transaction():
            facts = DayFacts(self.day(date), self.options())
            lesson = self.find_lesson(facts, class_name, period, absent)
            why_not = facts.why_no_cover_needed(lesson)
            if why_not is not None:
                raise UsageError(f"{date} {lesson_text(class_name, period)}: needs no cover: {why_not}")
            members = facts.combined_set(lesson)
            covers = [cover for cover in self.ledger.covers_on(date)
                      if (cover.absent, cover.period, cover.class_name) not in members]
            ranked = rank_candidates(facts, lesson, covers, self.prior_covers(date))
            refusal = ranked.excluded_reason(substitute)
            if substitute == lesson[0]:
                raise UsageError(f"{substitute} is the absent teacher of {lesson_text(class_name, period)}")
            if refusal is not None and (refusal.kind == "absent" or not force):
                hint = "" if refusal.kind == "absent" else " (--force sets it all the same)"
                raise UsageError(f"{substitute} cannot take {lesson_text(class_name, period)}: {refusal.why}{hint}")
            how = "forced" if refusal is not None else "manual"
            entries = [CoverEntry(*member, substitute, how, "" if member == members[0] else "combined")
                       for member in members]
            for entry in entries:
                self.ledger.set_cover(date, entry)
        return entries

    def unassign(self, date: datetime.date, class_name: str, period: int,
                 absent: str | None = None) -> list[CoverEntry]:
        """Remove the cover of a lesson (under combined lessons, of its set); returns what was removed."""
        with self.ledger.transaction():
            facts = DayFacts(self.day(date), self.options())
            lesson = self.find_lesson(facts, class_name, period, absent)
            members = set(facts.combined_set(lesson)) | {lesson}
            removed = [cover for cover in self.ledger.covers_on(date)
                       if (cover.absent, cover.period, cover.class_name) in members]
            for cover in removed:
                self.ledger.remove_cover(date, cover.absent, cover.period, cover.class_name)
        return removed

    def covers_of(self, date: datetime.date, class_name: str, period: int, absent: str | None = None
                  ) -> tuple[list[CoverEntry], list[OpenLesson]]:
        """What the lesson (under combined lessons, its set) holds now: its covers and its open
        uncovered entries; what :meth:`restore` puts back after a change."""
        facts = DayFacts(self.day(date), self.options())
        lesson = self.find_lesson(facts, class_name, period, absent)
        members = set(facts.combined_set(lesson)) | {lesson}
        covers = [c for c in self.ledger.covers_on(date) if (c.absent, c.period, c.class_name) in members]
        uncovered, _ = self.ledger.open_lessons_on(date)
        return covers, [o for o in uncovered if (o.absent, o.period, o.class_name) in members]

    def restore(self, date: datetime.date, lessons: Sequence[Lesson], covers: Sequence[CoverEntry],
                open_lessons: Sequence[OpenLesson]) -> None:
        """Put back what a change replaced: the lessons' covers become ``covers`` and their open
        entries ``open_lessons``; a lesson in neither is left without either (not planned)."""
        teachers = {name for name, _ in self.school.teachers}
        for cover in covers:
            if cover.substitute not in teachers or cover.how not in HOW_WORDS:
                raise UsageError(f"{date}: cannot restore a cover by {cover.substitute!r}")
        with self.ledger.transaction():
            for lesson in lessons:
                self.ledger.remove_cover(date, *lesson)
            for cover in covers:
                self.ledger.set_cover(date, cover)
            for entry in open_lessons:
                self.ledger.set_open_lesson(date, entry)

    # -- history -------------------------------------------------------------------------

    def history(self, first: datetime.date | None, last: datetime.date | None) -> list[tuple[str, int]]:
        """Covers per teacher over the inclusive range, in the school's order (others after)."""
        counts = self.ledger.covers_by_teacher(first, last)
        rows = [(name, counts.pop(name, 0)) for name, _ in self.school.teachers]
        return rows + sorted(counts.items())

    def default_range(self, today: datetime.date) -> tuple[datetime.date | None, datetime.date | None]:
        """The current term, or everything when no terms are set."""
        term = self.school.calendar.term_of(today)
        if term is None:
            return None, None
        start, next_start = term
        return start, (next_start - datetime.timedelta(days=1)) if next_start is not None else None

    # -- the school's week, its staff and its timetable ---------------------------------

    def week(self, date: datetime.date) -> Week:
        """The week (Monday on) of the date: each of the school's weekdays in it, a holiday
        marked as one, with the ledger's totals (zeros for a day with nothing recorded)."""
        monday = date - datetime.timedelta(days=date.weekday())
        calendar = self.school.calendar
        length = min(7, (datetime.date.max - monday).days + 1)  # the last week there is ends on a Friday
        dates = [monday + datetime.timedelta(days=step) for step in range(length)]
        dates = [day for day in dates if calendar.knows_label(WEEKDAYS[day.weekday()])]
        recorded = self.ledger.days_between(dates[0], dates[-1], self.school.supply) if dates else {}
        days = []
        for day in dates:
            open_ = calendar.is_school_day(day)
            days.append(WeekDay(day, calendar.label(day) if open_ else "", "" if open_ else "holiday",
                                recorded.get(day, DayTotals())))
        totals = DayTotals(*(sum(getattr(day.totals, name) for day in days)
                             for name in ("absent", "covered", "uncovered", "supply")))
        return Week(monday, days, totals)

    def staff_covers(self, today: datetime.date) -> StaffCovers:
        """Covers per teacher over the fairness window up to today and over today's term
        (as ``lessoncover history`` counts them)."""
        start = self.school.calendar.fairness_start(today)
        window = dict(self.history(start, today))
        first, last = self.default_range(today)
        term = self.history(first, last)
        counts = dict(term)
        names = [*counts, *(name for name in window if name not in counts)]
        return StaffCovers((start, today), (first, last),
                           [(name, window.get(name, 0), counts.get(name, 0)) for name in names])

    def timetable(self) -> list[TimetableDay]:
        """The lessons grouped by their ``day`` value: the calendar's labels in its order, then
        other values (weekday names of a cycle) as first met, then the rows taught every day."""
        groups: dict[str, list[LessonRow]] = {}
        for row in self.school.lessons:
            groups.setdefault(row.day, []).append(row)
        order = {label.casefold(): index for index, label in enumerate(self.school.calendar.days)}
        labels = sorted(groups, key=lambda label: (label == "", order.get(label.casefold(), len(order))))
        return [TimetableDay(label, sorted(groups[label], key=lambda row: (row.period, _natural(row.class_name),
                                                                            row.teacher)))
                for label in labels]

    def replace_timetable(self, teachers: BinaryIO, lessons: BinaryIO) -> School:
        """Make the sent files teachers.csv and lessons.csv, both or neither (see
        :mod:`.uploaded_files`); the school as it reads now.  The ledger's write lock is held
        meanwhile, so two replacements (or a replacement and a plan) take turns."""
        with self.ledger.transaction():
            return replace_timetable(self.school.folder, teachers, lessons)

    def import_timetable(self, export: BinaryIO, name: str) -> tuple[School, list[str]]:
        """Import a FET export sent as ``name`` in place of the timetable (and school.toml's days
        and periods), all or nothing; the school as it reads now and what the import guessed."""
        with self.ledger.transaction():
            return import_fet_export(self.school.folder, export, name)
