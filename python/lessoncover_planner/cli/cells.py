"""Text cells that a spreadsheet would run as formulas, and their guard.

A spreadsheet program takes a cell that starts with ``=``, ``+``, ``-`` or ``@`` (and, in
some, a tab or a carriage return) as a formula, so a teacher named ``=HYPERLINK(...)`` in an
input file would become a live formula in the CSV written for Excel.  The common guidance
(OWASP's "CSV injection") is to put an apostrophe before such a cell: the spreadsheet then
shows the text as written.  A cell that already starts with apostrophes before such a
character gets one more, so that :func:`unguard` gives back exactly the text that was guarded.

Only text is guarded: the numbers the command writes itself (periods, counts) go as they are,
a negative period included.
"""

from __future__ import annotations

__all__ = ["FORMULA_STARTS", "guard", "unguard"]

FORMULA_STARTS = ("=", "+", "-", "@", "\t", "\r")


def _needs_guard(text: str) -> bool:
    return text.lstrip("'").startswith(FORMULA_STARTS)


def guard(value: object) -> object:
    """The cell to write for value: text that a spreadsheet would run gets a leading ``'``."""
    if isinstance(value, str) and _needs_guard(value):
        return "'" + value
    return value


def unguard(text: str) -> str:
    """The text a guarded cell stands for: one leading ``'`` less where :func:`guard` put it."""
    if text.startswith("'") and _needs_guard(text[1:]):
        return text[1:]
    return text
