"""Writing outputs safely.

* An output that resolves to one of the inputs is refused before anything is
  written (:func:`refuse_inputs`).
* An output the command names itself (``cover.<ext>`` beside a day's files, or
  under ``--out DIR``) never follows a symbolic link, neither at its own name
  nor at its day's folder: one planted there is refused before anything is
  written (:func:`refuse_links`, exit 2), and one planted while the command runs
  is refused when it is written (exit 1).  The folder is opened with
  ``O_NOFOLLOW`` and everything after happens inside that descriptor.  What
  is left: a link that replaces the output's name between the last check and
  the rename is itself replaced by the output; its target is never written.
* A path the user typed (``--out FILE``, ``--history FILE``) is followed if it
  is a link, which the user chose: the link stays and its target is replaced.
* A regular file (or a new one) is written to a temporary file in its folder,
  flushed to disk and renamed into place: a failure leaves any old file as it
  was.  A new file gets the mode the umask gives; a replaced file keeps its
  mode, and its owner and group where the system permits.  The replacement is
  a new file: hard links to the old one keep the old content.
* Anything else (``/dev/stdout``, ``/dev/full``, a pipe) is written in place.
* Every write goes on until all the bytes are written, waiting while a
  non-blocking descriptor is full.
* An ``OSError`` becomes a :class:`WriteError`, one line and exit status 1; a
  standard output whose reader went away (``| head``) a quiet
  :class:`BrokenPipe`.
"""

from __future__ import annotations

import errno
import io
import os
import stat
from collections.abc import Iterable
from pathlib import Path

from . import streams
from .errors import BrokenPipe, UsageError, WriteError

__all__ = ["current_umask", "refuse_inputs", "refuse_links", "same_file", "write_all", "write_file",
           "write_stdout"]

_CHUNK = 1 << 20
_LINK = "it is a symbolic link, which an output of the command never follows"
_FOLDER_LINK = "its folder is a symbolic link, which an output of the command never follows"


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


def refuse_inputs(outputs: Iterable[Path], inputs: Iterable[Path], option: str = "--out") -> None:
    """Raise UsageError when an output (given by option) would overwrite an input."""
    inputs = list(inputs)
    for output in outputs:
        for source in inputs:
            if same_file(output, source):
                raise UsageError(f"{option} {output} is the input file {source}; refusing to overwrite it")


def refuse_links(outputs: Iterable[Path], folders: bool) -> None:
    """Raise UsageError for an output (or, with folders, its folder) that is a symbolic link,
    or an output that exists and is not a regular file."""
    for output in outputs:
        if folders and os.path.islink(output.parent):
            raise UsageError(f"{output.parent} is a symbolic link; refusing to write {output.name} through it")
        try:
            mode = os.lstat(output).st_mode
        except OSError:
            continue  # missing, or a folder that --out DIR creates; the write reports anything else
        if stat.S_ISLNK(mode):
            raise UsageError(f"{output} is a symbolic link; refusing to write through it")
        if not stat.S_ISREG(mode):
            raise UsageError(f"{output} exists and is not a regular file; refusing to replace it")


def write_file(path: Path, data: bytes, *, follow_name: bool = True, follow_folder: bool = True) -> None:
    """Write data to path as the module describes; raise WriteError on failure.

    With follow_name (a path the user typed) a link at path is followed; without it
    a link there is refused, and without follow_folder a link at path's folder too.
    """
    try:
        if follow_name:
            try:
                mode: int | None = os.stat(path).st_mode  # follows links: /dev/stdout links to a descriptor
            except FileNotFoundError:
                mode = None
            if mode is not None and stat.S_ISDIR(mode):
                raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR))
            if mode is not None and not stat.S_ISREG(mode):
                _write_in_place(path, data)  # a device or a pipe
                return
            _replace(Path(os.path.realpath(path)), data, follow_folder=True)
        else:
            _replace(path, data, follow_folder=follow_folder)
    except OSError as error:
        raise WriteError(path, error) from None


def _write_in_place(path: Path, data: bytes) -> None:
    descriptor = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_CLOEXEC, 0o666)
    try:
        write_all(descriptor, data)
    finally:
        os.close(descriptor)


def _entry(folder: int, name: str) -> os.stat_result | None:
    """The folder's entry name, not followed; None if there is none."""
    try:
        return os.stat(name, dir_fd=folder, follow_symlinks=False)
    except FileNotFoundError:
        return None


def _open_folder(path: Path, follow: bool) -> int:
    flags = os.O_RDONLY | os.O_DIRECTORY | os.O_CLOEXEC | (0 if follow else os.O_NOFOLLOW)
    try:
        return os.open(path, flags)
    except OSError as error:
        if not follow and error.errno in (errno.ELOOP, errno.ENOTDIR) and os.path.islink(path):
            raise OSError(errno.ELOOP, _FOLDER_LINK) from None
        raise


def _replace(target: Path, data: bytes, follow_folder: bool) -> None:
    """Write data to a new file in target's folder and rename it to target's name, all
    through the folder's descriptor, so the folder cannot be swapped for a link meanwhile."""
    name = target.name
    folder = _open_folder(target.parent, follow_folder)
    try:
        old = _entry(folder, name)
        if old is not None and stat.S_ISLNK(old.st_mode):
            raise OSError(errno.ELOOP, _LINK)
        if old is not None and stat.S_ISDIR(old.st_mode):
            raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR))
        temporary, descriptor = _create_temporary(folder, name)
        try:
            try:
                if old is not None and stat.S_ISREG(old.st_mode):
                    _keep_owner_and_mode(descriptor, old)
                write_all(descriptor, data)
                os.fsync(descriptor)
            finally:
                os.close(descriptor)
            # rename() replaces a link at name rather than following it, so a link planted
            # after this check loses its place to the output; its target stays untouched.
            now = _entry(folder, name)
            if now is not None and stat.S_ISLNK(now.st_mode):
                raise OSError(errno.ELOOP, _LINK)
            os.rename(temporary, name, src_dir_fd=folder, dst_dir_fd=folder)
        except BaseException:
            try:
                os.unlink(temporary, dir_fd=folder)
            except OSError:
                pass
            raise
        try:  # make the rename itself durable where the system allows
            os.fsync(folder)
        except OSError:
            pass
    finally:
        os.close(folder)


def _create_temporary(folder: int, name: str) -> tuple[str, int]:
    """A new file beside name, opened for writing, with the mode the umask gives a new file."""
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW | os.O_CLOEXEC
    for _ in range(100):
        temporary = f".{name}.{os.urandom(4).hex()}.tmp"
        try:
            return temporary, os.open(temporary, flags, 0o666, dir_fd=folder)
        except FileExistsError:
            continue
    raise FileExistsError(errno.EEXIST, "no free name for a temporary file")


def _keep_owner_and_mode(descriptor: int, old: os.stat_result) -> None:
    try:
        os.fchown(descriptor, old.st_uid, old.st_gid)
    except PermissionError:  # only root may give a file away
        pass
    os.fchmod(descriptor, stat.S_IMODE(old.st_mode))  # after fchown, which may clear set-id bits


def write_all(descriptor: int, data: bytes) -> None:
    """Write all of data to descriptor: short writes go on, a full non-blocking one is waited on."""
    view = memoryview(data)
    while view:
        try:
            written = os.write(descriptor, view[:_CHUNK])
        except BlockingIOError:
            import select  # only for an output that would block: a non-blocking pipe that is full

            poller = select.poll()
            poller.register(descriptor, select.POLLOUT)
            poller.poll()
            continue
        if written == 0:
            raise OSError(errno.EIO, "the output took no bytes")
        view = view[written:]


def write_stdout(data: bytes) -> None:
    """Write data to the run's standard output as bytes; raise WriteError (or BrokenPipe) on failure."""
    stream = streams.stdout()
    if stream is None:  # started with standard output closed
        raise WriteError("standard output", OSError(errno.EBADF, "it is closed"))
    try:
        stream.flush()
        try:
            descriptor = stream.fileno()
        except (AttributeError, ValueError):  # a stream in memory (a test's, a harness's)
            target = getattr(stream, "buffer", stream)
            if isinstance(target, io.TextIOBase):  # text with no bytes beneath, such as a StringIO
                target.write(data.decode("utf-8"))
            else:
                target.write(data)
        else:
            write_all(descriptor, data)
    except BrokenPipeError:
        _silence_stdout(stream)
        raise BrokenPipe() from None
    except OSError as error:
        _silence_stdout(stream)
        raise WriteError("standard output", error) from None


def _silence_stdout(stream: object) -> None:
    """After a failed write, keep the interpreter from failing again when it flushes at exit."""
    try:
        descriptor = stream.fileno()  # type: ignore[attr-defined]
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, descriptor)
        os.close(devnull)
    except (OSError, ValueError, AttributeError):
        pass
