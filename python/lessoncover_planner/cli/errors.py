"""The command's errors: each becomes one line on standard error and an exit status."""

from __future__ import annotations

import os
from pathlib import Path

__all__ = ["EXIT_OK", "EXIT_CANNOT_WRITE", "EXIT_BAD_INPUT", "CommandError", "InputError",
           "UsageError", "WriteError", "one_line"]

EXIT_OK = 0
EXIT_CANNOT_WRITE = 1
EXIT_BAD_INPUT = 2


def one_line(text: str) -> str:
    """Keep a message on one line whatever the input held."""
    return text.replace("\r", "\\r").replace("\n", "\\n")


class CommandError(Exception):
    """An error that ends the command with ``status`` and one line on standard error."""

    status = EXIT_BAD_INPUT


class InputError(CommandError):
    """A problem in one of the input files, located by file and line."""

    def __init__(self, path: Path, line: int | None, problem: str) -> None:
        where = f"{path}" if line is None else f"{path}, line {line}"
        super().__init__(f"{where}: {problem}")
        self.path, self.line, self.problem = path, line, problem


class UsageError(CommandError):
    """Options that cannot work together, or an output that would overwrite an input."""


class WriteError(CommandError):
    """An output that could not be written: a full disk, a missing folder, ..."""

    status = EXIT_CANNOT_WRITE

    def __init__(self, path: Path | str, error: OSError) -> None:
        reason = error.strerror or os.strerror(error.errno or 0) if error.errno else str(error)
        super().__init__(f"cannot write {path}: {reason}")
