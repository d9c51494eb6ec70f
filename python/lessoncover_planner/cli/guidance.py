"""Hints that name the likely fix: the near spelling of a name, the file that sits beside a
missing one."""

from __future__ import annotations

from collections.abc import Iterable
from pathlib import Path


__all__ = ["close_match", "did_you_mean", "missing_file_hint", "SPREADSHEET_SUFFIXES"]

SPREADSHEET_SUFFIXES = (".xlsx", ".xls", ".ods")
SAVE_AS_CSV = 'save it as "CSV UTF-8" (in Excel: Save As, CSV UTF-8; in LibreOffice: Character set UTF-8)'


def close_match(word: str, candidates: Iterable[str], cutoff: float = 0.6) -> str | None:
    """The candidate word most likely meant: the same letters in another case first, else the
    nearest spelling difflib finds, else None."""
    by_fold: dict[str, str] = {}
    for candidate in candidates:
        by_fold.setdefault(candidate.casefold(), candidate)
    folded = word.casefold()
    if folded in by_fold and by_fold[folded] != word:
        return by_fold[folded]
    import difflib  # wanted only once a name is not found: kept off the start of every run

    found = difflib.get_close_matches(folded, [key for key in by_fold if by_fold[key] != word], n=1, cutoff=cutoff)
    return by_fold[found[0]] if found else None


def did_you_mean(word: str, candidates: Iterable[str], cutoff: float = 0.6) -> str:
    """`` (did you mean 'X'?)`` for the likely meant candidate, or an empty string."""
    match = close_match(word, candidates, cutoff)
    return "" if match is None else f" (did you mean {match!r}?)"


def missing_file_hint(path: Path) -> str | None:
    """What to do about a missing file when something like it sits in its folder: the same name
    in another letter case, or a spreadsheet of that name to save as CSV."""
    try:
        neighbours = [entry.name for entry in path.parent.iterdir() if entry.is_file()]
    except OSError:
        return None
    stem = path.stem.casefold()
    for name in sorted(neighbours):
        if Path(name).stem.casefold() == stem and Path(name).suffix.casefold() in SPREADSHEET_SUFFIXES:
            return f"{name} is a spreadsheet there: {SAVE_AS_CSV} as {path.name}"
    match = close_match(path.name, neighbours, cutoff=0.8)
    if match is not None:
        return f"there is {match}: file names are matched exactly, rename it to {path.name}"
    return None
