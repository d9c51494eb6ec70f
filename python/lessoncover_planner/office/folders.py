"""The names of a school folder's files, and what makes a folder a school: kept apart from
the readers so that the command line can tell a school folder without importing them."""

from __future__ import annotations

from pathlib import Path

__all__ = ["SCHOOL_FILE", "LEDGER_FILE", "TEACHERS_FILE", "LESSONS_FILE", "is_school"]

SCHOOL_FILE = "school.toml"
LEDGER_FILE = "lessoncover.db"
TEACHERS_FILE = "teachers.csv"
LESSONS_FILE = "lessons.csv"


def is_school(folder: Path) -> bool:
    """Whether folder is a school folder: one holding school.toml or the ledger."""
    return (folder / SCHOOL_FILE).is_file() or (folder / LEDGER_FILE).is_file()
