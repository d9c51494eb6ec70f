"""Where a run of the command writes: its standard output and standard error.

``main(argv, stdout=..., stderr=...)`` runs the command on streams of the caller's (a test's
``BytesIO``, a harness's ``StringIO``): standard output takes the outputs' bytes (a text
stream their UTF-8 text), standard error the one-line messages, usage and progress bar.
Without them a run writes to the process's ``sys.stdout`` and ``sys.stderr``, looked up
when written to, so that whatever stands in for them then (pytest's capture, a redirect)
receives the text.
"""

from __future__ import annotations

import io
import sys
from contextvars import ContextVar

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import IO, Any

__all__ = ["Streams", "current", "say", "stderr_text", "stdout", "text_on"]


class Streams:
    """A run's two streams; None stands for the process's own."""

    def __init__(self, stdout: IO[Any] | None = None, stderr: IO[Any] | None = None) -> None:
        self._stdout = stdout
        self._stderr = stderr

    @property
    def stdout(self) -> IO[Any] | None:
        return sys.stdout if self._stdout is None else self._stdout

    @property
    def stderr(self) -> IO[Any] | None:
        return sys.stderr if self._stderr is None else self._stderr


_CURRENT: ContextVar[Streams] = ContextVar("lessoncover_streams", default=Streams())


def current() -> ContextVar[Streams]:
    """The variable holding the running command's streams (set and reset by ``main``)."""
    return _CURRENT


def stdout() -> IO[Any] | None:
    return _CURRENT.get().stdout


class _TextOnBytes:
    """Text written to a binary stream as UTF-8, undecodable characters escaped as Python's own
    standard error escapes them; never closes the stream it writes to."""

    def __init__(self, stream: IO[bytes]) -> None:
        self._stream = stream

    def write(self, text: str) -> int:
        self._stream.write(text.encode("utf-8", "backslashreplace"))
        return len(text)

    def flush(self) -> None:
        self._stream.flush()

    def isatty(self) -> bool:
        return self._stream.isatty()


def _is_binary(stream: object) -> bool:
    return isinstance(stream, (io.RawIOBase, io.BufferedIOBase))


def text_on(stream: Any) -> Any:
    """The stream as one that takes text."""
    return _TextOnBytes(stream) if _is_binary(stream) else stream


def stderr_text() -> Any:
    """Standard error as a stream that takes text (None when the process has none)."""
    stream = _CURRENT.get().stderr
    return None if stream is None else text_on(stream)


def say(line: str) -> None:
    """Print one line on standard error."""
    print(line, file=stderr_text())
