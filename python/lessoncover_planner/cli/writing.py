"""Writing outputs safely.

* An output that resolves to one of the inputs is refused before anything is
  written (:func:`refuse_inputs`).
* A regular file (or a new one) is written to a temporary file in its folder,
  with the mode the umask gives a new file, flushed to disk and renamed into
  place: a failure leaves any old file as it was.  A symbolic link is followed
  and its target replaced, so the link stays.
* Anything else (``/dev/stdout``, ``/dev/full``, a pipe) is written in place.
* An ``OSError`` becomes a :class:`WriteError`, one line and exit status 1.
"""

from __future__ import annotations

import contextlib
import errno
import os
import stat
import sys
from collections.abc import Iterable
from pathlib import Path

from .errors import UsageError, WriteError

__all__ = ["current_umask", "refuse_inputs", "same_file", "write_file", "write_stdout"]


def current_umask() -> int:
    """The process's umask, read without changing it where Linux allows."""
    try:
        with open("/proc/self/status", encoding="ascii") as status:
            for line in status:
                if line.startswith("Umask:"):
                    return int(line.split()[1], 8)
    except (OSError, ValueError):
        pass
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


def same_file(first: Path, second: Path) -> bool:
    """Whether the two paths name one file: the same resolved path, or the same inode."""
    if os.path.realpath(first) == os.path.realpath(second):
        return True
    try:
        return os.path.samefile(first, second)
    except OSError:
        return False


def refuse_inputs(outputs: Iterable[Path], inputs: Iterable[Path]) -> None:
    """Raise UsageError when an output would overwrite an input."""
    inputs = list(inputs)
    for output in outputs:
        for source in inputs:
            if same_file(output, source):
                raise UsageError(f"--out {output} is the input file {source}; refusing to overwrite it")


def write_file(path: Path, data: bytes) -> None:
    """Write data to path as the module describes; raise WriteError on failure."""
    try:
        mode = os.stat(path).st_mode  # follows links: /dev/stdout is a link to the process's fd
    except FileNotFoundError:
        mode = None
    except OSError as error:
        raise WriteError(path, error) from None
    try:
        if mode is not None and stat.S_ISDIR(mode):
            raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR))
        if mode is not None and not stat.S_ISREG(mode):
            with open(path, "wb") as stream:  # a device or a pipe: in place
                stream.write(data)
            return
        _replace(Path(os.path.realpath(path)), data)
    except OSError as error:
        raise WriteError(path, error) from None


def _replace(target: Path, data: bytes) -> None:
    import tempfile

    descriptor, temporary = tempfile.mkstemp(dir=target.parent, prefix=f".{target.name}.", suffix=".tmp")
    try:
        with os.fdopen(descriptor, "wb") as stream:
            os.fchmod(stream.fileno(), 0o666 & ~current_umask())
            stream.write(data)
            stream.flush()
            os.fsync(stream.fileno())
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise
    with contextlib.suppress(OSError):  # make the rename itself durable where the system allows
        folder = os.open(target.parent, os.O_RDONLY)
        try:
            os.fsync(folder)
        finally:
            os.close(folder)


def write_stdout(data: bytes) -> None:
    """Write data to standard output as bytes; raise WriteError on failure."""
    try:
        sys.stdout.flush()
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
    except OSError as error:
        _silence_stdout()
        raise WriteError("standard output", error) from None


def _silence_stdout() -> None:
    """After a failed write, keep the interpreter from failing again when it flushes at exit."""
    with contextlib.suppress(OSError, ValueError):
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
