"""Setting up a school folder: a commented ``school.toml`` and the timetable files to fill in,
or the bundled sample school.  A file already there is never replaced."""

from __future__ import annotations

import os
from pathlib import Path

from ..cli.errors import WriteError
from ..cli.writing import write_file

__all__ = ["init_school", "sample_files"]

# The timetable's two files, and absences.csv for an office that keeps a day's absences in a
# spreadsheet: the ledger holds them once `plan --absences` or `absent` records them.
_BLANK_FILES = {
    "teachers.csv": b"name,subject,unavailable\n",
    "lessons.csv": b"teacher,period,class,room,day\n",
    "absences.csv": b"name,reason,periods\n",
}
_TO_FILL_IN = {
    "teachers.csv": "fill in teachers.csv: one row per teacher with their subject; unavailable lists the periods "
                    "they can never cover, such as 3 or 4-5 (may stay empty)",
    "lessons.csv": "fill in lessons.csv: one row per lesson with its period and class; room is optional, and day "
                   "(Mon ... Fri, or a label of the cycle) says which days it is taught: empty is every day",
    "absences.csv": "absences.csv is for a day's absences kept in a spreadsheet: lessoncover plan --absences "
                    "absences.csv records them for the date; lessoncover absent records them one by one",
    "school.toml": "set the year in school.toml: holidays, terms and period times (each setting is explained there)",
}


def _package_file(*parts: str) -> bytes:
    from importlib import resources  # only here: it costs planning a date its typing and zipfile

    return resources.files(__package__).joinpath(*parts).read_bytes()


def sample_files() -> dict[str, bytes]:
    """The sample school's files by name."""
    return {name: _package_file("sample_school", name) for name in ("school.toml", "teachers.csv", "lessons.csv")}


def init_school(folder: Path, sample: bool = False) -> list[str]:
    """Write the school folder's files that are missing (creating folder if need be) and
    return the lines that say what was written, what was kept and what to do next."""
    files = sample_files() if sample else {"school.toml": _package_file("school_template.toml"), **_BLANK_FILES}
    try:
        folder.mkdir(parents=True, exist_ok=True)
    except OSError as error:
        raise WriteError(folder, error) from None
    lines, written = [], []
    for name, data in files.items():
        path = folder / name
        if os.path.lexists(path):
            lines.append(f"kept {path}: it exists already")
            continue
        write_file(path, data, follow_name=False)
        lines.append(f"wrote {path}")
        written.append(name)
    if sample:
        lines.append(f"{folder} holds a sample school: 12 teachers, 8 classes, 5 periods, a timetable for each "
                     "weekday; record an absence and plan a school day to see it work")
    else:
        lines.extend(_TO_FILL_IN[name] for name in written)
    return lines
