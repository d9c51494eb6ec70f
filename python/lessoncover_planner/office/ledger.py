"""The ledger: every date's absences, covers, open lessons and plan runs, in one SQLite file.

This is the only module that holds SQL; the commands (and later the web app) call the
methods of :class:`Ledger`.  Values are always bound as parameters.

Transactions
    The connection runs in autocommit mode and the ledger opens its own transactions.
    :meth:`Ledger.transaction` is ``BEGIN IMMEDIATE`` ... ``COMMIT``: a second process
    writing the ledger waits for the first (up to :data:`BUSY_TIMEOUT_MS`) instead of
    failing half-way, and anything raised inside the block, a ``KeyboardInterrupt``
    included, rolls the whole block back.  A write made outside ``transaction()`` runs in
    a transaction of its own; a write (or a ``transaction()``) inside another runs in a
    savepoint, so a failed write undoes only itself and the outer block decides the rest.
    A process killed inside a transaction leaves nothing of it: SQLite's write-ahead log
    drops frames that were never committed.  Reads need no transaction.

Versions
    Every write to a date bumps that date's version in the same transaction, so a page
    or a command that read version N can tell that someone wrote the date since.  A write
    that changes nothing (clearing an absence that is not there) does not bump it.

Files
    The ledger and its ``-wal``, ``-shm`` and ``-journal`` companions are outputs of the
    command: :meth:`Ledger.open` refuses (``UsageError``) when any of them is a symbolic
    link or not a regular file (checked as it is opened: SQLite itself opens the files
    by name, so a link planted while the ledger is open is not noticed).  A new ledger
    is made here, empty, with the mode the umask gives, as every output of the command
    is, and SQLite gives its companions the ledger's mode (left to itself, it would make
    the ledger 0644 less the umask).  A file that is not a ledger (not SQLite at all, another
    program's SQLite file, or a ledger written by a newer lessoncover) is refused with
    ``UsageError``; a ledger that cannot be opened or locked raises ``WriteError``.
    With ``create=False`` a missing ledger raises ``UsageError`` ("not a school folder;
    run lessoncover init"); a caller that would rather treat it as empty checks first.

Schema
    ``PRAGMA user_version`` counts the migrations run; :data:`MIGRATIONS` lists them in
    order and every open runs the missing ones, each in its own transaction.  A
    migration, once released, never changes.
"""

from __future__ import annotations

import contextlib
import json
import os
import sqlite3
import stat
from collections.abc import Iterable, Iterator, Sequence
from dataclasses import dataclass
from datetime import date, datetime, timezone
from pathlib import Path

from ..cli.errors import UsageError, WriteError

__all__ = ["AbsenceEntry", "CoverEntry", "DayTotals", "OpenLesson", "PlanRun", "Ledger", "MIGRATIONS",
           "SCHEMA_VERSION", "APPLICATION_ID", "BUSY_TIMEOUT_MS", "COMPANION_SUFFIXES", "utc_now"]

BUSY_TIMEOUT_MS = 30_000
"""How long a write waits for another process's transaction before it gives up."""

APPLICATION_ID = 0x4C434F56
"""``PRAGMA application_id`` of a ledger ("LCOV"): tells it from another program's SQLite file."""

COMPANION_SUFFIXES = ("-wal", "-shm", "-journal")
"""The files SQLite keeps beside the ledger; written like the ledger, so checked like it."""

_ISO_DATE = "day GLOB '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]'"

_FIRST_SCHEMA = (
    # A pragma takes no bound parameter; the number is this module's constant.
    f"PRAGMA application_id = {APPLICATION_ID}",
    f"CREATE TABLE days (day TEXT PRIMARY KEY NOT NULL CHECK ({_ISO_DATE})) STRICT",
    """CREATE TABLE absences (
        day TEXT NOT NULL REFERENCES days (day),
        name TEXT NOT NULL CHECK (name <> ''),
        reason TEXT,
        periods TEXT NOT NULL,
        position INTEGER NOT NULL,
        PRIMARY KEY (day, name)
    ) STRICT""",
    """CREATE TABLE covers (
        id INTEGER PRIMARY KEY,
        day TEXT NOT NULL REFERENCES days (day),
        absent TEXT NOT NULL,
        period INTEGER NOT NULL,
        class_name TEXT NOT NULL,
        substitute TEXT NOT NULL,
        how TEXT NOT NULL CHECK (how IN ('planned', 'kept', 'manual', 'forced')),
        rule TEXT NOT NULL,
        UNIQUE (day, absent, period, class_name)
    ) STRICT""",
    """CREATE TABLE open_lessons (
        id INTEGER PRIMARY KEY,
        day TEXT NOT NULL REFERENCES days (day),
        needed INTEGER NOT NULL CHECK (needed IN (0, 1)),
        absent TEXT NOT NULL,
        period INTEGER NOT NULL,
        class_name TEXT NOT NULL,
        why TEXT NOT NULL,
        UNIQUE (day, absent, period, class_name)
    ) STRICT""",
)

_VERSIONS_AND_RUNS = (
    "ALTER TABLE days ADD COLUMN version INTEGER NOT NULL DEFAULT 0 CHECK (version >= 0)",
    "UPDATE days SET version = 1",  # every date a first-schema ledger holds was written at least once
    """CREATE TABLE plan_runs (
        id INTEGER PRIMARY KEY,
        day TEXT NOT NULL REFERENCES days (day),
        at TEXT NOT NULL,
        options TEXT NOT NULL,
        covered INTEGER NOT NULL,
        uncovered INTEGER NOT NULL,
        not_needed INTEGER NOT NULL,
        kept INTEGER NOT NULL,
        released INTEGER NOT NULL
    ) STRICT""",
    "CREATE INDEX plan_runs_by_day ON plan_runs (day, id)",
    # covers_by_teacher counts a range of days by substitute from the index alone
    "CREATE INDEX covers_by_day ON covers (day, rule, substitute)",
)

_COVERS_WHY = (
    # why the planner chose the substitute, so that a re-plan keeping the cover shows it as before
    "ALTER TABLE covers ADD COLUMN why TEXT NOT NULL DEFAULT ''",
)

_RUN_FIGURES = (
    # the plan's figures (a JSON object, '' when not known) and the date's version the run left,
    # so a page can tell whether the date changed by hand since
    "ALTER TABLE plan_runs ADD COLUMN figures TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE plan_runs ADD COLUMN version INTEGER NOT NULL DEFAULT 0",
)
MIGRATIONS: tuple[tuple[str, ...], ...] = (_FIRST_SCHEMA, _VERSIONS_AND_RUNS, _COVERS_WHY, _RUN_FIGURES)
"""Migration N (from 1) takes a ledger at user_version N - 1 to N; single statements, so that
they run inside the ledger's own transaction (``executescript`` would commit first)."""

SCHEMA_VERSION = len(MIGRATIONS)


@dataclass(frozen=True, slots=True)
class AbsenceEntry:
    """One teacher away on a date: the reason (None when none was given) and the periods as
    written, ``""`` for all day."""

    name: str
    reason: str | None
    periods: str


@dataclass(frozen=True, slots=True)
class CoverEntry:
    """A lesson of an absent teacher and who covers it.

    how: ``planned``, ``kept``, ``manual`` or ``forced``; rule: the planner's rule
    (``subject``, ``any``, ``double``, ``combined``, ``pinned``, ``supply``), ``""`` for
    manual and forced covers; why: the planner's words for why this substitute (``""`` for
    manual and forced covers, and for covers recorded before the ledger kept them).  A
    cover whose rule is ``combined`` is not counted as a cover.
    """

    absent: str
    period: int
    class_name: str
    substitute: str
    how: str
    rule: str
    why: str = ""


@dataclass(frozen=True, slots=True)
class OpenLesson:
    """A lesson of an absent teacher without cover: why it has none, or why it needs none."""

    absent: str
    period: int
    class_name: str
    why: str


@dataclass(frozen=True, slots=True)
class DayTotals:
    """A date's totals as recorded: teachers absent, lessons covered (``supply`` of them by
    supply teachers), lessons left without cover; the date's version and the version its
    last plan left (None when never planned), which differ once it changed since."""

    absent: int = 0
    covered: int = 0
    uncovered: int = 0
    supply: int = 0
    version: int = 0
    planned_version: int | None = None

    @property
    def changed_since_plan(self) -> bool:
        return self.planned_version is not None and self.planned_version != self.version


@dataclass(frozen=True, slots=True)
class PlanRun:
    """One run of the planner on a date: when (UTC, ISO 8601), its options (JSON text) and counts;
    the plan's figures (JSON text, ``""`` when not kept) and the date's version after the run
    (filled in by :meth:`Ledger.record_plan`)."""

    at: str
    options: str
    covered: int
    uncovered: int
    not_needed: int
    kept: int
    released: int
    figures: str = ""
    version: int = 0


def utc_now() -> str:
    """The time now in UTC, ISO 8601 to the second: a :attr:`PlanRun.at`."""
    return datetime.now(timezone.utc).isoformat(timespec="seconds")


def _iso(day: date) -> str:
    # a datetime is a date too, but its isoformat() would carry the time into the key
    if not isinstance(day, date) or isinstance(day, datetime):
        raise TypeError(f"a date is needed, not {type(day).__name__}")
    return day.isoformat()


def _refuse_unsafe_files(path: Path) -> None:
    """UsageError when the ledger or a companion file is a link or not a regular file."""
    for candidate in (path, *(path.with_name(path.name + suffix) for suffix in COMPANION_SUFFIXES)):
        try:
            mode = os.lstat(candidate).st_mode
        except FileNotFoundError:
            continue
        except OSError as error:
            raise UsageError(f"cannot open {candidate}: {error.strerror}") from None
        if stat.S_ISLNK(mode):
            raise UsageError(f"{candidate} is a symbolic link; refusing to open the ledger through it")
        if not stat.S_ISREG(mode):
            raise UsageError(f"{candidate} is not a regular file; refusing to open it as the ledger")


def _create_empty(path: Path) -> None:
    """A new empty file at path, which SQLite takes for an empty database; never through a link."""
    try:
        os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW | os.O_CLOEXEC, 0o666))
    except FileExistsError:
        pass
    except OSError as error:
        raise WriteError(path, error) from None


class Ledger:
    """An open ledger; make one with :meth:`open`, close it with :meth:`close` or ``with``."""

    def __init__(self, connection: sqlite3.Connection, path: Path) -> None:
        self.path = path
        self._connection = connection
        self._depth = 0  # transactions open: 0 none, 1 the outer one, more its savepoints

    # --- opening, closing and transactions -------------------------------------------------

    @classmethod
    def open(cls, path: Path, create: bool = True) -> Ledger:
        """The ledger at path, created when missing (unless create is False), migrated to
        :data:`SCHEMA_VERSION`; see the module's notes for what is refused."""
        path = Path(path)
        _refuse_unsafe_files(path)
        if not os.path.lexists(path):
            if not create:
                raise UsageError(f"{path} does not exist: not a school folder; run lessoncover init")
            _create_empty(path)
            _refuse_unsafe_files(path)  # another process may have made it meanwhile
        # mode=rw: SQLite never creates the ledger itself (with a mode of its own, or one
        # that create=False expected to find).
        uri = f"{path.absolute().as_uri()}?mode=rw"
        try:
            connection = sqlite3.connect(uri, uri=True, isolation_level=None)
        except sqlite3.Error as error:
            raise WriteError(path, OSError(str(error))) from None
        ledger = cls(connection, path)
        try:
            ledger._prepare()
        except BaseException as error:
            connection.close()
            if isinstance(error, sqlite3.OperationalError):
                raise WriteError(path, OSError(str(error))) from None
            if isinstance(error, sqlite3.DatabaseError):  # "file is not a database"
                raise UsageError(f"{path} is not a lessoncover ledger: {error}") from None
            raise
        return ledger

    def _prepare(self) -> None:
        execute = self._connection.execute
        execute(f"PRAGMA busy_timeout = {BUSY_TIMEOUT_MS}")  # a constant: a pragma binds nothing
        self._check_identity()
        execute("PRAGMA journal_mode = WAL")
        execute("PRAGMA foreign_keys = ON")
        self._migrate()

    def _user_version(self) -> int:
        return int(self._connection.execute("PRAGMA user_version").fetchone()[0])

    def _check_identity(self) -> None:
        """UsageError for a ledger from a newer program or an SQLite file of another program.

        The version and what goes with it are read in one read transaction: another process
        that sets up a new ledger in between must not make its tables look foreign."""
        execute = self._connection.execute
        execute("BEGIN")
        try:
            version = self._user_version()
            if version == 0:
                foreign = execute("SELECT count(*) FROM sqlite_master").fetchone()[0] > 0
            else:
                foreign = execute("PRAGMA application_id").fetchone()[0] != APPLICATION_ID
        finally:
            execute("COMMIT")
        if version > SCHEMA_VERSION:
            raise UsageError(f"{self.path} was written by a newer lessoncover (ledger version {version}, this "
                             f"one knows up to {SCHEMA_VERSION}); refusing to change it")
        if foreign:
            raise UsageError(f"{self.path} is an SQLite database of another program, not a lessoncover ledger")

    def _migrate(self) -> None:
        for number, statements in enumerate(MIGRATIONS, start=1):
            if self._user_version() >= number:
                continue
            with self.transaction():
                if self._user_version() >= number:  # another process migrated while this one waited
                    continue
                for statement in statements:
                    self._connection.execute(statement)
                self._connection.execute(f"PRAGMA user_version = {number}")  # our own counter

    def close(self) -> None:
        """Close the connection; an open transaction is rolled back."""
        self._connection.close()

    def __enter__(self) -> Ledger:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    @contextlib.contextmanager
    def transaction(self) -> Iterator[None]:
        """``BEGIN IMMEDIATE`` ... ``COMMIT``; anything raised rolls the block back and goes on.

        Inside another transaction the block is a savepoint of it.  An OperationalError
        (the ledger locked past the busy timeout, a full disk) becomes a WriteError.
        """
        if self._depth:
            with self._savepoint():
                yield
            return
        connection = self._connection
        self._depth = 1
        try:  # BEGIN inside: an interrupt just after it still rolls back
            connection.execute("BEGIN IMMEDIATE")
            yield
            connection.execute("COMMIT")
        except BaseException as error:
            with contextlib.suppress(sqlite3.Error):
                if connection.in_transaction:  # SQLite rolls some failures back itself
                    connection.execute("ROLLBACK")
            if isinstance(error, sqlite3.OperationalError):
                raise WriteError(self.path, OSError(str(error))) from error
            raise
        finally:
            self._depth = 0

    @contextlib.contextmanager
    def _savepoint(self) -> Iterator[None]:
        # One name serves every depth: ROLLBACK TO and RELEASE act on the innermost of that name.
        execute = self._connection.execute
        execute("SAVEPOINT nested")
        self._depth += 1
        try:
            yield
            execute("RELEASE nested")
        except BaseException:
            with contextlib.suppress(sqlite3.Error):
                execute("ROLLBACK TO nested")
                execute("RELEASE nested")
            raise
        finally:
            self._depth -= 1

    def _bump(self, day: str) -> None:
        """Count a write to day; called inside the write's transaction."""
        self._connection.execute("INSERT INTO days (day, version) VALUES (?, 1) "
                                 "ON CONFLICT (day) DO UPDATE SET version = version + 1", (day,))

    def _delete(self, day: date, statement: str, parameters: tuple[object, ...]) -> bool:
        """Run a DELETE of the date's rows (the day first among its parameters); whether it
        removed any. Only a removal is a write: nothing removed, no new version."""
        iso = _iso(day)
        with self.transaction():
            removed = self._connection.execute(statement, (iso, *parameters)).rowcount
            if removed:
                self._bump(iso)
        return bool(removed)

    def checkpoint(self) -> None:
        """Copy the write-ahead log into the ledger and empty it (as closing the last connection does)."""
        self._connection.execute("PRAGMA wal_checkpoint(TRUNCATE)")

    # --- absences --------------------------------------------------------------------------

    def absences_on(self, day: date) -> list[AbsenceEntry]:
        """The date's absences in the order they were first set."""
        rows = self._connection.execute("SELECT name, reason, periods FROM absences WHERE day = ? ORDER BY position",
                                        (_iso(day),))
        return [AbsenceEntry(*row) for row in rows]

    def set_absence(self, day: date, entry: AbsenceEntry) -> None:
        """Record entry; an entry of the same name is replaced and keeps its place."""
        iso = _iso(day)
        with self.transaction():
            self._bump(iso)
            self._connection.execute(
                "INSERT INTO absences (day, name, reason, periods, position) "
                "VALUES (?, ?, ?, ?, (SELECT coalesce(max(position) + 1, 0) FROM absences WHERE day = ?)) "
                "ON CONFLICT (day, name) DO UPDATE SET reason = excluded.reason, periods = excluded.periods",
                (iso, entry.name, entry.reason, entry.periods, iso))

    def clear_absence(self, day: date, name: str) -> bool:
        """Remove name's absence on the date; False (and no new version) when there was none."""
        return self._delete(day, "DELETE FROM absences WHERE day = ? AND name = ?", (name,))

    def drop_lessons_of(self, day: date, absent: str) -> bool:
        """Remove the covers and open lessons of an absent teacher's lessons on the date; whether
        there were any."""
        with self.transaction():
            covers = self._delete(day, "DELETE FROM covers WHERE day = ? AND absent = ?", (absent,))
            lessons = self._delete(day, "DELETE FROM open_lessons WHERE day = ? AND absent = ?", (absent,))
        return covers or lessons

    def replace_absences(self, day: date, entries: Sequence[AbsenceEntry]) -> None:
        """Make entries, in their order, the date's absences; ValueError for a name given twice."""
        iso = _iso(day)
        seen: set[str] = set()
        for entry in entries:
            if entry.name in seen:
                raise ValueError(f"{entry.name!r} is absent twice on {iso}")
            seen.add(entry.name)
        with self.transaction():
            self._bump(iso)
            self._connection.execute("DELETE FROM absences WHERE day = ?", (iso,))
            self._connection.executemany(
                "INSERT INTO absences (day, name, reason, periods, position) VALUES (?, ?, ?, ?, ?)",
                ((iso, entry.name, entry.reason, entry.periods, position) for position, entry in enumerate(entries)))

    # --- covers and open lessons -----------------------------------------------------------

    def covers_on(self, day: date) -> list[CoverEntry]:
        """The date's covers in the order recorded (a replaced cover keeps its place)."""
        rows = self._connection.execute("SELECT absent, period, class_name, substitute, how, rule, why FROM covers "
                                        "WHERE day = ? ORDER BY id", (_iso(day),))
        return [CoverEntry(*row) for row in rows]

    def open_lessons_on(self, day: date) -> tuple[list[OpenLesson], list[OpenLesson]]:
        """The date's lessons without cover: (uncovered, not needed), each in the order recorded."""
        uncovered: list[OpenLesson] = []
        not_needed: list[OpenLesson] = []
        rows = self._connection.execute("SELECT needed, absent, period, class_name, why FROM open_lessons "
                                        "WHERE day = ? ORDER BY id", (_iso(day),))
        for needed, *fields in rows:
            (uncovered if needed else not_needed).append(OpenLesson(*fields))
        return uncovered, not_needed

    def record_plan(self, day: date, covers: Iterable[CoverEntry], uncovered: Iterable[OpenLesson],
                    not_needed: Iterable[OpenLesson], run: PlanRun) -> None:
        """Make this plan the date's covers and open lessons, in place of any before, and log run."""
        iso = _iso(day)
        json.loads(run.options)  # ValueError before anything is written: the log keeps JSON only
        if run.figures:
            json.loads(run.figures)
        with self.transaction():
            execute = self._connection.execute
            self._bump(iso)
            execute("DELETE FROM covers WHERE day = ?", (iso,))
            execute("DELETE FROM open_lessons WHERE day = ?", (iso,))
            self._connection.executemany(
                "INSERT INTO covers (day, absent, period, class_name, substitute, how, rule, why) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                ((iso, c.absent, c.period, c.class_name, c.substitute, c.how, c.rule, c.why) for c in covers))
            lessons = [(1, lesson) for lesson in uncovered] + [(0, lesson) for lesson in not_needed]
            self._connection.executemany(
                "INSERT INTO open_lessons (day, needed, absent, period, class_name, why) VALUES (?, ?, ?, ?, ?, ?)",
                ((iso, needed, lesson.absent, lesson.period, lesson.class_name, lesson.why)
                 for needed, lesson in lessons))
            execute("INSERT INTO plan_runs (day, at, options, covered, uncovered, not_needed, kept, released, figures, "
                    "version) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, (SELECT version FROM days WHERE day = ?))",
                    (iso, run.at, run.options, run.covered, run.uncovered, run.not_needed, run.kept, run.released,
                     run.figures, iso))

    def set_cover(self, day: date, cover: CoverEntry) -> None:
        """Record cover in place of any cover of that lesson; the lesson is no longer open."""
        iso = _iso(day)
        with self.transaction():
            self._bump(iso)
            self._connection.execute(
                "INSERT INTO covers (day, absent, period, class_name, substitute, how, rule, why) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (day, absent, period, class_name) DO UPDATE SET "
                "substitute = excluded.substitute, how = excluded.how, rule = excluded.rule, why = excluded.why",
                (iso, cover.absent, cover.period, cover.class_name, cover.substitute, cover.how, cover.rule,
                 cover.why))
            self._connection.execute(
                "DELETE FROM open_lessons WHERE day = ? AND absent = ? AND period = ? AND class_name = ?",
                (iso, cover.absent, cover.period, cover.class_name))

    def set_open_lesson(self, day: date, lesson: OpenLesson, needed: bool = True) -> None:
        """Record lesson as open (uncovered, or with ``needed`` False as needing no cover), in place
        of any cover or open entry it had."""
        iso = _iso(day)
        with self.transaction():
            self._bump(iso)
            key = (iso, lesson.absent, lesson.period, lesson.class_name)
            self._connection.execute(
                "DELETE FROM covers WHERE day = ? AND absent = ? AND period = ? AND class_name = ?", key)
            self._connection.execute(
                "INSERT INTO open_lessons (day, needed, absent, period, class_name, why) VALUES (?, ?, ?, ?, ?, ?) "
                "ON CONFLICT (day, absent, period, class_name) DO UPDATE SET needed = excluded.needed, "
                "why = excluded.why", (iso, int(needed), *key[1:], lesson.why))

    def remove_cover(self, day: date, absent: str, period: int, class_name: str) -> bool:
        """Remove the cover of that lesson; False (and no new version) when it had none."""
        return self._delete(day, "DELETE FROM covers WHERE day = ? AND absent = ? AND period = ? AND class_name = ?",
                            (absent, period, class_name))

    # --- versions, runs and totals ---------------------------------------------------------

    def version(self, day: date) -> int:
        """How many writes the date has had: 0 for a date never written."""
        row = self._connection.execute("SELECT version FROM days WHERE day = ?", (_iso(day),)).fetchone()
        return 0 if row is None else int(row[0])

    def runs_on(self, day: date) -> list[PlanRun]:
        """The date's plan runs, oldest first."""
        rows = self._connection.execute("SELECT at, options, covered, uncovered, not_needed, kept, released, "
                                        "figures, version FROM plan_runs WHERE day = ? ORDER BY id", (_iso(day),))
        return [PlanRun(*row) for row in rows]

    def last_run(self, day: date) -> PlanRun | None:
        """The date's latest plan run, None when it was never planned."""
        row = self._connection.execute("SELECT at, options, covered, uncovered, not_needed, kept, released, figures, "
                                       "version FROM plan_runs WHERE day = ? ORDER BY id DESC LIMIT 1",
                                       (_iso(day),)).fetchone()
        return None if row is None else PlanRun(*row)

    def days_between(self, first: date, last: date, supply: Sequence[str] = ()) -> dict[date, DayTotals]:
        """For each date of first..last the ledger has written: its :class:`DayTotals`, the
        covers given by the names in ``supply`` counted apart as well."""
        rows = self._connection.execute(
            "SELECT day, version, (SELECT count(*) FROM absences a WHERE a.day = d.day), "
            "(SELECT count(*) FROM covers c WHERE c.day = d.day), "
            "(SELECT count(*) FROM covers c WHERE c.day = d.day "
            " AND c.substitute IN (SELECT value FROM json_each(?))), "
            "(SELECT count(*) FROM open_lessons o WHERE o.day = d.day AND o.needed = 1), "
            "(SELECT version FROM plan_runs r WHERE r.day = d.day ORDER BY id DESC LIMIT 1) "
            "FROM days d WHERE day BETWEEN ? AND ? ORDER BY day",
            (json.dumps(list(supply)), _iso(first), _iso(last)))
        return {date.fromisoformat(day): DayTotals(absent, covered, uncovered, by_supply, version, planned)
                for day, version, absent, covered, by_supply, uncovered, planned in rows}

    def covers_by_teacher(self, first: date | None, last: date | None) -> dict[str, int]:
        """Covers by substitute over first..last inclusive (None: no bound), in name order; a
        cover whose rule is ``combined`` is not counted, so a combined set counts once."""
        rows = self._connection.execute(
            "SELECT substitute, count(*) FROM covers WHERE day BETWEEN ? AND ? AND rule <> 'combined' "
            "GROUP BY substitute ORDER BY substitute",
            (_iso(first or date.min), _iso(last or date.max)))
        return dict(rows)
