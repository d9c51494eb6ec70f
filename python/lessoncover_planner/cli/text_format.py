"""The ``text`` format: the day's cover as an office reads it in a terminal or prints it.

The day's name heads the page, then who is absent, the board with a heading per
period and one line per lesson in columns aligned over the whole board, the
lessons without cover with their why, the lessons that need none, the counts
and the plan's figures.  Columns are aligned by the width a terminal gives each
character (two for East Asian wide ones, none for combining marks); control characters and
bidirectional overrides from the files are shown as ``\\x1b``-style escapes, so
a name can neither move the cursor nor reorder the line it is on.
"""

from __future__ import annotations

from collections.abc import Sequence

from ..cover_plan import CoverPlan
from .board import BoardRow, absentees, board_rows, summary
from .reading import Day

__all__ = ["render_text", "display_width", "clean"]

NO_COVER = "NO COVER"
GAP = "  "
_BIDI_CONTROLS = frozenset("\u061c\u200e\u200f\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069")


def clean(text: str) -> str:
    """text with control characters and bidirectional controls escaped, one line."""
    if text.isprintable():
        return text
    import unicodedata  # here and below: most schools' names are ASCII, which never need it

    out = []
    for char in text:
        if unicodedata.category(char) == "Cc" or char in _BIDI_CONTROLS:
            code = ord(char)
            out.append(f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}")
        else:
            out.append(char)
    return "".join(out)


def display_width(text: str) -> int:
    """The columns a terminal gives text."""
    if text.isascii():
        return len(text)
    import unicodedata

    width = 0
    for char in text:
        if unicodedata.combining(char) or unicodedata.category(char) in ("Mn", "Me", "Cf"):
            continue
        width += 2 if unicodedata.east_asian_width(char) in ("W", "F") else 1
    return width


def _table(rows: Sequence[Sequence[str]], indent: str = "  ") -> list[str]:
    """rows as lines of left-aligned columns; trailing spaces trimmed, empty columns dropped."""
    keep = [column for column in range(len(rows[0])) if any(row[column] for row in rows[1:])]
    widths = {column: max(display_width(row[column]) for row in rows) for column in keep}
    lines = []
    for row in rows:
        cells = [row[column] + " " * (widths[column] - display_width(row[column])) for column in keep]
        lines.append((indent + GAP.join(cells)).rstrip())
    return lines


def _heading(text: str, underline: str = "-") -> list[str]:
    return [text, underline * display_width(text)]


def _board(rows: list[BoardRow]) -> list[str]:
    """A heading per period, then its lessons; the columns line up over the whole board."""
    header = ("Class", "Room", "Subject", "Absent", "Cover", "How", "Why")
    cells = [header] + [
        (clean(row.class_name), clean(row.room), clean(row.subject), clean(row.absent),
         clean(row.substitute) if row.status == "covered" else NO_COVER,
         row.how if row.status == "covered" else "see below",
         clean(row.why) if row.status == "covered" else "")
        for row in rows]
    table = _table(cells)
    lines = [table[0]]
    period = None
    for row, line in zip(rows, table[1:]):
        if row.period != period:
            period = row.period
            lines += ["", f"Period {period}"]
        lines.append(line)
    return lines


def _lessons_with_why(rows: list[BoardRow]) -> list[str]:
    cells = [("Period", "Class", "Room", "Subject", "Absent", "Why")] + [
        (str(row.period), clean(row.class_name), clean(row.room), clean(row.subject), clean(row.absent),
         clean(row.why)) for row in rows]
    return _table(cells)


def _counts(counts: dict[str, int]) -> str:
    parts = [f"{counts['absent_lessons']} absent lessons", f"{counts['covered']} covered",
             f"{counts['uncovered']} uncovered"]
    if counts["not_needed"]:
        parts.append(f"{counts['not_needed']} not needed")
    parts.append(f"{counts['substitutes']} substitutes")
    return ", ".join(parts)


def _figures(counts: dict[str, int]) -> str:
    """The plan's figures beyond the counts, as the best strategy ranks plans by them."""
    covers = "cover" if counts["subject"] == 1 else "covers"
    return (f"Figures: {counts['subject']} {covers} by the same subject, {counts['supply']} by supply staff, "
            f"{counts['knows_class']} by a teacher of the class; {counts['doubles_kept']} doubles kept; "
            f"largest load {counts['largest_load']}, sum of squared loads {counts['sum_of_squares']}")


def render_text(day: Day, result: CoverPlan) -> bytes:
    """The day's cover in plain text, UTF-8, ending in one line break."""
    rows = board_rows(day, result)
    board = [row for row in rows if row.status != "not needed"]
    uncovered = [row for row in rows if row.status == "uncovered"]
    not_needed = [row for row in rows if row.status == "not needed"]
    lines = _heading(f"Cover for {clean(day.name)}", "=")

    people = absentees(day)
    lines += ["", *_heading(f"Absent ({len(people)})")]
    if people:
        lines += _table([("Name", "Subject", "Reason", "Periods")] + [
            (clean(person.name), clean(person.subject), clean(person.reason) or "no reason given",
             person.periods or "all day") for person in people])
    else:
        lines.append("  Nobody is absent.")

    lines += ["", *_heading("Cover board")]
    lines += _board(board) if board else ["  No lesson needs cover."]
    if uncovered:
        lines += ["", *_heading(f"Without cover ({len(uncovered)})"), *_lessons_with_why(uncovered)]
    if not_needed:
        lines += ["", *_heading(f"No cover needed ({len(not_needed)})"), *_lessons_with_why(not_needed)]
    counts = summary(result)
    lines += ["", _counts(counts), _figures(counts)]
    return ("\n".join(lines) + "\n").encode("utf-8")
