"""Files sent to the office (from a page) rather than named on a command line.

Each is written to a staging folder and read by the same readers as the commands read
the school folder with, so a sent file is accepted or refused exactly as the same file
in the folder would be.  A refusal names the file as the office knows it
(``teachers.csv, line 4: ...``), not the staging folder it was read from.

The school's files are replaced together or not at all: the staging folder sits inside
the school folder (one file system, so each move is an atomic rename), the new files are
read there as a school first, and only then moved in.  The files they replace are kept
(hard links, or copies) until every move is done; a move that fails puts the old ones
back, and if even that fails the old files are left in the staging folder and the
message says where.
"""

from __future__ import annotations

import contextlib
import dataclasses
import os
import re
import shutil
import tempfile
from collections.abc import Iterator, Sequence
from pathlib import Path
from typing import BinaryIO

from ..cli.errors import CommandError, UsageError, WriteError
from .fet_import import import_fet
from .folders import LESSONS_FILE, SCHOOL_FILE, TEACHERS_FILE
from .school_folder import School, read_school

__all__ = ["replace_timetable", "import_fet_export", "staged_file"]

STAGING_PREFIX = ".upload-"
_BEFORE = "before"  # the staging folder's subfolder that keeps the replaced files
_EXPORT = "export"  # and the one the FET export is read from, apart from the files it writes
_PLAIN_NAME = re.compile(r"[\w][\w .()+-]{0,99}")
_replace = os.replace  # one name for every move, so that a test can make one of them fail


def _save(source: BinaryIO, path: Path) -> None:
    try:
        with open(path, "xb") as out:
            shutil.copyfileobj(source, out)
    except OSError as error:
        raise WriteError(path, error) from None


def _as_sent(text: str, folders: Sequence[Path]) -> str:
    """A reader's message naming the files as sent rather than by their place in a staging folder."""
    for folder in folders:
        text = text.replace(str(folder) + os.sep, "")
    return text


@contextlib.contextmanager
def _named_as_sent(*folders: Path) -> Iterator[None]:
    try:
        yield
    except CommandError as error:
        raise UsageError(_as_sent(str(error), folders)) from None


def _read_staged(staging: Path, *folders: Path) -> School:
    """The staged school, read as the school folder is; its warnings name the files as sent."""
    with _named_as_sent(*folders, staging):
        school = read_school(staging)
    return dataclasses.replace(school, warnings=[_as_sent(text, (*folders, staging)) for text in school.warnings])


@contextlib.contextmanager
def _staging(folder: Path) -> Iterator[Path]:
    """A new folder inside ``folder``, removed afterwards unless it was marked to keep (a
    file named ``keep`` in it: the old files could not be put back)."""
    try:
        staging = Path(tempfile.mkdtemp(prefix=STAGING_PREFIX, dir=folder))
    except OSError as error:
        raise WriteError(folder, error) from None
    try:
        yield staging
    finally:
        if not (staging / "keep").exists():
            shutil.rmtree(staging, ignore_errors=True)


def _keep_aside(target: Path, backup: Path) -> None:
    """The file at target, kept at backup as it is now: the same file where the file system allows."""
    try:
        os.link(target, backup, follow_symlinks=False)
    except OSError:
        shutil.copy2(target, backup, follow_symlinks=False)


def _move_into(folder: Path, staging: Path, names: Sequence[str]) -> None:
    """Move the named files from staging into folder, all of them or (as far as the file
    system lets) none."""
    before = staging / _BEFORE
    before.mkdir()
    kept: set[str] = set()
    try:
        for name in names:
            if os.path.lexists(folder / name):
                _keep_aside(folder / name, before / name)
                kept.add(name)
    except OSError as error:
        raise WriteError(folder / name, error) from None
    moved: list[str] = []
    try:
        for name in names:
            _replace(staging / name, folder / name)
            moved.append(name)
    except OSError as error:
        stuck = _put_back(folder, before, moved, kept)
        if stuck:
            (staging / "keep").touch()
            raise UsageError(f"cannot write {folder / name}: {error.strerror or error}; {', '.join(moved)} "
                             f"were replaced and putting back the old {', '.join(stuck)} failed too: the old "
                             f"files are in {before}") from None
        raise UsageError(f"cannot write {folder / name}: {error.strerror or error}; "
                         "nothing was changed") from None


def _put_back(folder: Path, before: Path, moved: list[str], kept: set[str]) -> list[str]:
    """Undo the moves made; the names that could not be put back."""
    stuck = []
    for name in reversed(moved):
        try:
            if name in kept:
                _replace(before / name, folder / name)
            else:
                os.unlink(folder / name)
        except OSError:
            stuck.append(name)
    return stuck


def _copy_settings(folder: Path, staging: Path) -> None:
    if os.path.lexists(folder / SCHOOL_FILE):
        try:
            shutil.copyfile(folder / SCHOOL_FILE, staging / SCHOOL_FILE)
        except OSError as error:
            raise WriteError(staging / SCHOOL_FILE, error) from None


def replace_timetable(folder: Path, teachers: BinaryIO, lessons: BinaryIO) -> School:
    """Make the sent files the school's teachers.csv and lessons.csv, both or neither; the
    school as they read with its school.toml.  UsageError naming the file and line of a fault."""
    with _staging(folder) as staging:
        _copy_settings(folder, staging)
        _save(teachers, staging / TEACHERS_FILE)
        _save(lessons, staging / LESSONS_FILE)
        school = _read_staged(staging)
        _move_into(folder, staging, (TEACHERS_FILE, LESSONS_FILE))
    return dataclasses.replace(school, folder=folder)


def import_fet_export(folder: Path, export: BinaryIO, name: str) -> tuple[School, list[str]]:
    """Import a FET timetable export sent as ``name``: its teachers.csv, lessons.csv and the
    days and periods of school.toml replace the school's, all or none, once they read as a
    school; the school and what the import guessed."""
    shown = Path(name).name
    shown = shown if _PLAIN_NAME.fullmatch(shown) else "export.csv"
    with _staging(folder) as staging:
        _copy_settings(folder, staging)
        (staging / _EXPORT).mkdir()
        _save(export, staging / _EXPORT / shown)
        with _named_as_sent(staging / _EXPORT, staging):
            lines = import_fet(staging / _EXPORT / shown, staging, overwrite=True)
        school = _read_staged(staging, staging / _EXPORT)
        _move_into(folder, staging, (TEACHERS_FILE, LESSONS_FILE, SCHOOL_FILE))
    # the import's last line names the staging folder's files, which are the school's now
    return dataclasses.replace(school, folder=folder), lines[:-1]


@contextlib.contextmanager
def staged_file(source: BinaryIO, name: str) -> Iterator[Path]:
    """The sent file at a path of its own named ``name``, for a reader that reads a path;
    a refusal inside names it as ``name``."""
    with tempfile.TemporaryDirectory(prefix=STAGING_PREFIX) as folder:
        path = Path(folder) / name
        _save(source, path)
        with _named_as_sent(Path(folder)):
            yield path
