"""The command's errors: each becomes one line on standard error and an exit status."""

from __future__ import annotations

import os
import re
from pathlib import Path

__all__ = ["EXIT_OK", "EXIT_CANNOT_WRITE", "EXIT_BAD_INPUT", "EXIT_BROKEN_PIPE", "BrokenPipe", "CommandError",
           "EnvironmentProblem", "InputError", "UsageError", "WriteError", "one_line"]

EXIT_OK = 0
EXIT_CANNOT_WRITE = 1
EXIT_BAD_INPUT = 2
EXIT_BROKEN_PIPE = 128 + 13
"""What a shell reports for a tool that SIGPIPE ended: the reader went away (``| head``)."""

# What a terminal would act on or draw misleadingly: C0 and C1 controls, DEL, the line and
# paragraph separators, zero-width characters and the bidirectional marks, embeddings,
# overrides and isolates (which can make a name read backwards), and the byte-order mark.
_UNSAFE = "[\x00-\x1f\x7f-\x9f\u061c\u200b-\u200f\u2028-\u202e\u2060-\u2069\ufeff]"
_NAMED = {"\n": "\\n", "\r": "\\r", "\t": "\\t"}


def _escape(match: re.Match[str]) -> str:
    character = match[0]
    code = ord(character)
    return _NAMED.get(character) or (f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}")


def one_line(text: str) -> str:
    """Text as it may go to a terminal: on one line, with control and bidi characters escaped.

    A name from the files (a day folder, a teacher) shows as ``\\x1b[2J`` or ``\\u202e``
    instead of acting on the terminal or reordering the line around it.
    """
    return re.sub(_UNSAFE, _escape, text)  # re's cache compiles it once, when first needed


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


class EnvironmentProblem(CommandError):
    """The system failed the command: a planning process killed, memory or processes short."""

    status = EXIT_CANNOT_WRITE


class BrokenPipe(CommandError):
    """Standard output's reader went away: the command ends quietly, as SIGPIPE would end it."""

    status = EXIT_BROKEN_PIPE
