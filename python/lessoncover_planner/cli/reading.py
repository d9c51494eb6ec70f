"""Reading a school day from its three CSV files, forgivingly.

The files are those of ``examples/plan_cover.py`` (``teachers.csv``, ``lessons.csv``,
``absences.csv``), read as a spreadsheet program writes them:

* the delimiter is detected among comma, semicolon and tab, as the one whose
  header line names the columns the file needs;
* header names are matched ignoring letter case and surrounding white space;
  columns come in any order and extra columns are ignored;
* values are trimmed, and rows whose values are all empty are skipped;
* a byte-order mark and CRLF line ends are accepted; text that is not UTF-8 is
  refused with its line and a hint to save it as "CSV UTF-8".
* only a regular file is read, and only up to ``--max-file-size`` bytes: a device,
  a FIFO or a larger file is refused before its bytes are read.

Three optional columns carry policies: ``periods`` in ``absences.csv`` (a part-day
absence; empty means all day) and ``unavailable`` in ``teachers.csv`` (periods in
which a present teacher cannot cover), both a period list such as ``3-5`` or
``1;4``; and ``supply`` in ``teachers.csv``, ``yes`` (in any letter case) for a
supply teacher, anything else or empty for a teacher of the school.  Another,
``room`` in ``lessons.csv``, says where a lesson is taught; the planner never sees
it, the board and the slips show it.
"""

from __future__ import annotations

import contextvars
import csv
import io
import os
import re
import stat
from collections import namedtuple
from collections.abc import Collection, Iterator, Sequence
from pathlib import Path

from .._planner import PERIOD_MAX, PERIOD_MIN
from ..subjects import resolve_subject
from .errors import InputError
from .guidance import did_you_mean, missing_file_hint
from .reading_checks import check_absences, subject_warning

__all__ = ["Day", "Record", "Absence", "read_table", "read_text", "read_teachers", "lesson_of", "read_absences",
           "add_lesson", "read_day", "parse_period",
           "parse_period_list", "periods_within",
           "DAY_FILES", "PERIOD_MIN", "PERIOD_MAX", "MAX_FILE_SIZE", "max_file_size"]

DAY_FILES = ("teachers.csv", "lessons.csv", "absences.csv")
DELIMITERS = (",", ";", "\t")
# A period or a range of them; compiled by re's cache when first used, as most days have no list.
_PERIOD_ITEM = r"([+-]?[0-9]+)(?:\s*[-\u2013]\s*([+-]?[0-9]+))?"
DELIMITER_NAMES = {",": "','", ";": "';'", "\t": "tabs"}
MAX_FILE_SIZE = 256 * 1024 * 1024
"""The largest input file read, in bytes, unless ``--max-file-size`` says otherwise."""
max_file_size: contextvars.ContextVar[int] = contextvars.ContextVar("max_file_size", default=MAX_FILE_SIZE)
"""The cap of this run, set by the command for the files it reads."""
_PERIOD_DIGITS = len(str(max(-PERIOD_MIN, PERIOD_MAX)))
SUPPLY_YES = "yes"
"""The ``supply`` value of a supply teacher, in any letter case; any other marks a teacher of the school."""
UTF8_HINT = 'save it as "CSV UTF-8" (in Excel: Save As, CSV UTF-8; in LibreOffice: Character set UTF-8)'


Record = namedtuple("Record", "line values")
Record.__doc__ = "One data row of a CSV file: its first line number and its trimmed values by column."


PeriodRanges = tuple[tuple[int, int], ...]


class Day:
    """One school day as read from its folder, checked and ready to plan.

    ``absences`` maps each absentee to its reason (``None`` for the default one);
    ``absent_periods`` holds the periods of part-day absentees, ``unavailable``
    the periods in which present teachers cannot cover, each limited to the
    periods that matter to the day (see :func:`periods_within`); ``absent_ranges`` holds the
    part-day absences as written, as ranges.  ``rooms`` maps a lesson
    (the triple of ``lessons``) to the room its row names, when it names one;
    ``lessons`` stays the triples the planner takes.  ``supply`` names the supply
    teachers, in the order of ``teachers``.  ``period_times`` holds the day's periods and
    their times (``"08:45-09:40"``) when the school gives them; then they, not the periods
    the lessons use, are the periods of the day.  ``cover_how`` says how a cover came, for
    those a school's ledger kept or an office set by hand (``"kept"``, ``"manual"``,
    ``"forced"``), by lesson; the board shows it in place of the rule.  Plain data, so
    that a day can be sent to another process.
    """

    def __init__(
        self,
        folder: Path,
        name: str,
        teachers: list[tuple[str, str]],
        lessons: list[tuple[str, int, str]],
        absences: dict[str, str | None],
        absent_periods: dict[str, tuple[int, ...]] | None = None,
        absent_ranges: dict[str, PeriodRanges] | None = None,
        unavailable: dict[str, tuple[int, ...]] | None = None,
        rooms: dict[tuple[str, int, str], str] | None = None,
        supply: tuple[str, ...] = (),
        warnings: list[str] | None = None,
        period_times: dict[int, str] | None = None,
        cover_how: dict[tuple[str, int, str], str] | None = None,
    ) -> None:
        self.folder = folder
        self.name = name
        self.teachers = teachers
        self.lessons = lessons
        self.absences = absences
        self.absent_periods = {} if absent_periods is None else absent_periods
        self.absent_ranges = {} if absent_ranges is None else absent_ranges
        self.unavailable = {} if unavailable is None else unavailable
        self.rooms = {} if rooms is None else rooms
        self.supply = supply
        self.warnings = [] if warnings is None else warnings
        self.period_times = {} if period_times is None else period_times
        self.cover_how = {} if cover_how is None else cover_how

    def __eq__(self, other: object) -> bool:
        return type(other) is Day and vars(self) == vars(other)

    __hash__ = None  # type: ignore[assignment]  # a value that changes

    def __repr__(self) -> str:
        return (f"Day(folder={self.folder!r}, name={self.name!r}, teachers={len(self.teachers)}, "
                f"lessons={len(self.lessons)}, absences={self.absences!r})")

    @property
    def files(self) -> tuple[Path, ...]:
        """The input files of the day."""
        return tuple(self.folder / name for name in DAY_FILES)

    @property
    def classes(self) -> list[str]:
        """The class names, in order of first appearance among the lessons."""
        return list(dict.fromkeys(class_name for _, _, class_name in self.lessons))

    def planner_absences(self) -> dict[str, str | tuple[str | None, tuple[int, ...]] | None]:
        """The absences as :func:`lessoncover_planner.plan` takes them."""
        return {name: (reason, self.absent_periods[name]) if name in self.absent_periods else reason
                for name, reason in self.absences.items()}


def read_text(path: Path) -> str:
    """The text of the UTF-8 file at path, read as the CSV files are: a regular file only, up to
    ``--max-file-size`` bytes, with the line of any byte that is not UTF-8."""
    return _decode(path)


def _decode(path: Path) -> str:
    data = _read_bytes(path, max_file_size.get())
    try:
        # As utf-8-sig reads it, without importing that codec; and the error's position
        # counts from the file's first byte, not from after a byte-order mark.
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        line = data.count(b"\n", 0, error.start) + 1
        raise InputError(path, line, f"not valid UTF-8 text; {UTF8_HINT}") from None
    return text[1:] if text.startswith("\ufeff") else text


def _read_bytes(path: Path, limit: int) -> bytes:
    """The bytes of the regular file at path, at most limit of them.

    Opened without blocking and checked before reading, so that a FIFO never
    waits for a writer and a device such as ``/dev/zero`` is never read.
    """
    try:
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as error:
        hint = missing_file_hint(path) if isinstance(error, FileNotFoundError) else None
        raise InputError(path, None, f"cannot read the file: {error.strerror}"
                         + (f"; {hint}" if hint is not None else "")) from None
    try:
        kind = os.fstat(descriptor).st_mode
        if stat.S_ISDIR(kind):
            raise InputError(path, None, "cannot read the file: Is a directory")
        if not stat.S_ISREG(kind):
            raise InputError(path, None, "not a regular file (a device, a pipe or a socket); refusing to read it")
        chunks, size = [], 0
        while size <= limit:
            chunk = os.read(descriptor, min(limit + 1 - size, 1 << 20))
            if not chunk:
                break
            chunks.append(chunk)
            size += len(chunk)
    except OSError as error:
        raise InputError(path, None, f"cannot read the file: {error.strerror}") from None
    finally:
        os.close(descriptor)
    if size > limit:
        raise InputError(path, None, f"larger than --max-file-size ({limit:,} bytes); refusing to read it")
    return b"".join(chunks)


def _header_key(text: str) -> str:
    return text.strip().lstrip("\ufeff").strip().lower()


def _first_row(text: str, delimiter: str) -> list[str] | None:
    """The first row with a non-empty value, read with delimiter; None if there is none."""
    try:
        for row in csv.reader(io.StringIO(text, newline=""), delimiter=delimiter):
            if any(value.strip() for value in row):
                return row
    except csv.Error:
        return None
    return None


def _sniff(text: str, columns: Sequence[str]) -> str:
    """The delimiter whose header names most of columns (comma first on a tie)."""
    best, best_score = DELIMITERS[0], -1
    for delimiter in DELIMITERS:
        row = _first_row(text, delimiter)
        if row is None:
            continue
        names = {_header_key(value) for value in row}
        score = sum(column in names for column in columns)
        if score > best_score:
            best, best_score = delimiter, score
    return best


def read_table(path: Path, columns: Sequence[str], optional: Sequence[str] = ()) -> Iterator[Record]:
    """Yield the data rows of the CSV file at path; its header must name columns.

    The values of columns and of those optional columns the header names are
    given, trimmed; a missing optional column is left out of ``values``.
    """
    text = _decode(path)
    delimiter = _sniff(text, columns)
    reader = csv.reader(io.StringIO(text, newline=""), delimiter=delimiter, strict=True)
    lines_read = 0
    header: list[str] | None = None
    positions: dict[str, int] = {}
    try:
        for row in reader:
            first_line, lines_read = lines_read + 1, reader.line_num
            if not any(value.strip() for value in row):  # a blank or all-empty row
                continue
            if header is None:
                header = [_header_key(value) for value in row]
                missing = [name for name in columns if name not in header]
                if missing:
                    expected = ",".join(columns)
                    near = did_you_mean(missing[0], [name for name in header if name not in columns])
                    raise InputError(path, first_line,
                                     f"header misses column {missing[0]!r}{near} (expected {expected!r})")
                positions = {name: header.index(name) for name in (*columns, *optional) if name in header}
                continue
            if len(row) < len(header) or any(value.strip() for value in row[len(header):]):
                raise InputError(path, first_line, f"expected {len(header)} values separated by "
                                 f"{DELIMITER_NAMES[delimiter]} (the header's delimiter), found {len(row)}")
            yield Record(first_line, {name: row[index].strip() for name, index in positions.items()})
    except csv.Error as error:
        raise InputError(path, reader.line_num, f"malformed CSV: {error}") from None
    if header is None:
        raise InputError(path, 1, f"empty file, expected the header {','.join(columns)!r}")


def parse_period(path: Path, line: int | None, text: str) -> int:
    """The period number of text, or an InputError."""
    digits = text[1:] if text[:1] in ("+", "-") else text
    if not (digits.isascii() and digits.isdigit()):
        raise InputError(path, line, f"period {text!r} is not a whole number")
    # Too many digits is out of range: int() is never asked for them (slow, and refused past 4,300).
    if len(text.lstrip("+-").lstrip("0")) > _PERIOD_DIGITS:
        shown = f"{text!r}" if len(text) <= 20 else f"of {len(text):,} characters ({text[:8]!r}...)"
        raise InputError(path, line, f"period {shown} is outside {PERIOD_MIN}..{PERIOD_MAX}")
    if not PERIOD_MIN <= int(text) <= PERIOD_MAX:
        raise InputError(path, line, f"period {text!r} is outside {PERIOD_MIN}..{PERIOD_MAX}")
    return int(text)


def parse_period_list(path: Path, line: int | None, column: str, text: str) -> PeriodRanges:
    """The periods of a list such as ``3-5`` or ``1;4`` (also ``1,4``), as sorted, disjoint
    ``(first, last)`` ranges: ``-32768-32767`` stays one pair, never 65,536 numbers."""
    ranges: list[tuple[int, int]] = []
    for item in re.split(r"[;,]", text):
        item = item.strip()
        match = re.fullmatch(_PERIOD_ITEM, item)
        if match is None:
            raise InputError(path, line, f"{column} {text!r} is not a list of periods such as '3-5' or '1;4'")
        first = parse_period(path, line, match[1])
        last = first if match[2] is None else parse_period(path, line, match[2])
        if last < first:
            raise InputError(path, line, f"{column} {text!r}: the range {item!r} runs backwards")
        ranges.append((first, last))
    merged: list[tuple[int, int]] = []
    for first, last in sorted(ranges):
        if merged and first <= merged[-1][1] + 1:
            merged[-1] = (merged[-1][0], max(merged[-1][1], last))
        else:
            merged.append((first, last))
    return tuple(merged)


def periods_within(ranges: PeriodRanges, used: Sequence[int]) -> tuple[int, ...]:
    """The periods of ranges that matter to a day whose lessons use the sorted periods used.

    Those are the periods in used, and the ends of each range, kept so that a list reads
    back as it was written (``3-5`` stays 3, 4, 5 when 4 has lessons) and is never empty.
    A period no lesson uses changes no plan, so the planner gets the same answer from
    this as from every period of the ranges, at a cost that follows the files' size.
    """
    from bisect import bisect_left, bisect_right  # only days with part-day absences or unavailability

    periods: set[int] = set()
    for first, last in ranges:
        periods.update(used[bisect_left(used, first):bisect_right(used, last)])
        periods.update((first, last))
    return tuple(sorted(periods))


def read_teachers(path: Path, warnings: list[str]) -> tuple[list[tuple[str, str]], dict[str, PeriodRanges],
                                                            dict[str, int], tuple[str, ...]]:
    """The teachers of teachers.csv in file order, the ``unavailable`` periods of each as ranges,
    the line of each and the supply teachers in file order; warnings gets the subjects that
    look like typos."""
    teachers: list[tuple[str, str]] = []
    unavailable_ranges: dict[str, PeriodRanges] = {}
    first_seen: dict[str, int] = {}
    supply: list[str] = []
    for record in read_table(path, ("name", "subject"), ("unavailable", "supply")):
        teacher, subject = record.values["name"], record.values["subject"]
        if teacher in first_seen:
            raise InputError(path, record.line, f"duplicate teacher {teacher!r} (first on line {first_seen[teacher]})")
        if resolve_subject(subject) is None:
            raise InputError(path, record.line, f"teacher {teacher!r} has an empty subject")
        near_subject = subject_warning(subject)
        if near_subject is not None:
            warnings.append(f"{path}, line {record.line}: teacher {teacher!r}: {near_subject}")
        first_seen[teacher] = record.line
        teachers.append((teacher, subject))
        unavailable = record.values.get("unavailable", "")
        if unavailable:
            unavailable_ranges[teacher] = parse_period_list(path, record.line, "unavailable", unavailable)
        if record.values.get("supply", "").lower() == SUPPLY_YES:
            supply.append(teacher)
    return teachers, unavailable_ranges, first_seen, tuple(supply)


def lesson_of(path: Path, record: Record, teachers: Collection[str]) -> tuple[str, int, str]:
    """The (teacher, period, class) of a lessons.csv row, its teacher checked against teachers."""
    teacher = record.values["teacher"]
    if teacher not in teachers:
        raise InputError(path, record.line, f"teacher {teacher!r} is not in teachers.csv"
                         + did_you_mean(teacher, teachers))
    return teacher, parse_period(path, record.line, record.values["period"]), record.values["class"]


# A row of absences.csv: line, name, reason, the periods as written, and as ranges (empty: all day).
Absence = tuple[int, str, str, str, PeriodRanges]


def read_absences(path: Path, teachers: Collection[str]) -> Iterator[Absence]:
    """The rows of absences.csv, each name checked against teachers and given once."""
    seen: dict[str, int] = {}
    for record in read_table(path, ("name", "reason"), ("periods",)):
        name, periods = record.values["name"], record.values.get("periods", "")
        if name not in teachers:
            raise InputError(path, record.line, f"absent teacher {name!r} is not in teachers.csv"
                             + did_you_mean(name, teachers))
        if name in seen:
            raise InputError(path, record.line, f"duplicate absence of {name!r} (first on line {seen[name]})")
        seen[name] = record.line
        ranges = parse_period_list(path, record.line, "periods", periods) if periods else ()
        yield record.line, name, record.values["reason"], periods, ranges


def add_lesson(day: Day, seen: dict[tuple[str, int, str], int], path: Path, line: int,
               lesson: tuple[str, int, str], room: str) -> None:
    """Add a lesson row of path to day; a repeated lesson is kept (the planner plans it once)
    with a warning naming the line seen first."""
    if lesson in seen:
        day.warnings.append(f"{path}, line {line}: duplicate lesson of {lesson[0]!r} in period {lesson[1]}"
                            f" with class {lesson[2]!r} (first on line {seen[lesson]}); planned once")
    else:
        seen[lesson] = line
    day.lessons.append(lesson)
    if room:  # a duplicate row fills in a room the first one left empty, never replaces it
        day.rooms.setdefault(lesson, room)


def read_day(folder: Path, name: str | None = None) -> Day:
    """Read and check the school day in folder; raise InputError on bad input."""
    teachers_path, lessons_path, absences_path = (folder / file for file in DAY_FILES)
    day = Day(folder=folder, name=name if name is not None else folder.name,
              teachers=[], lessons=[], absences={})

    # Period lists are kept as ranges until the lessons say which periods the day uses.
    day.teachers, unavailable_ranges, first_seen, day.supply = read_teachers(teachers_path, day.warnings)

    absent_seen: dict[str, int] = {}
    for line, name, reason, _, ranges in read_absences(absences_path, first_seen):
        absent_seen[name] = line
        day.absences[name] = reason or None
        if ranges:
            day.absent_ranges[name] = ranges

    lesson_seen: dict[tuple[str, int, str], int] = {}
    for record in read_table(lessons_path, ("teacher", "period", "class"), ("room",)):
        add_lesson(day, lesson_seen, lessons_path, record.line, lesson_of(lessons_path, record, first_seen),
                   record.values.get("room", ""))
    used = sorted({period for _, period, _ in day.lessons})
    day.unavailable = {name: periods_within(ranges, used) for name, ranges in unavailable_ranges.items()}
    day.absent_periods = {name: periods_within(ranges, used) for name, ranges in day.absent_ranges.items()}
    day.warnings.extend(check_absences(absences_path, day, absent_seen))
    return day
