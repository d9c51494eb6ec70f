"""Forms that send files: read within a size limit, CSRF-checked, and the files handed over.

Each file may be :data:`MAX_UPLOAD` bytes.  A request that says (``Content-Length``) it is
larger than its files may be is refused before its body is read; one that does not say,
or says less than it sends, is counted while it is read and refused as soon as it passes
the limit.  Parts are spooled to temporary files past 1 MiB, so a file never sits whole
in memory; each file's size is checked again once the form is read.
"""

from __future__ import annotations

from collections.abc import AsyncIterator
from contextlib import asynccontextmanager

from starlette.datastructures import FormData, UploadFile
from starlette.requests import Request
from starlette.types import Message

from ..cli.errors import UsageError
from .plumbing import checked_form

__all__ = ["MAX_UPLOAD", "UploadRefused", "upload_form", "sent_file"]

MAX_UPLOAD = 5 * 1024 * 1024
"""The largest file a form may send, in bytes (5 MiB)."""
FORM_ALLOWANCE = 64 * 1024
"""What a form's fields and part headers may add to its files."""
DRAIN_LIMIT = 64 * 1024 * 1024
"""How much of a refused body is read (and dropped) so the browser sees the answer rather than
a reset connection; a larger one is cut off."""


class UploadRefused(UsageError):
    """A form whose files are too large or missing: nothing of it was used."""


def _too_large() -> UploadRefused:
    return UploadRefused(f"a file sent is larger than {MAX_UPLOAD // (1024 * 1024)} MiB; nothing was saved")


class _CountedBody:
    """The request's ``receive``, refusing the body once it passes ``limit`` bytes."""

    def __init__(self, request: Request, limit: int) -> None:
        self.receive = request.receive
        self.limit = limit
        self.seen = 0
        self.more = True

    async def __call__(self) -> Message:
        message = await self.receive()
        if message["type"] == "http.request":
            self.seen += len(message.get("body", b""))
            self.more = bool(message.get("more_body", False))
            if self.seen > self.limit:
                raise _too_large()
        return message

    async def drain(self) -> None:
        """Read what is left of the body, up to :data:`DRAIN_LIMIT`, dropping it."""
        while self.more and self.seen <= DRAIN_LIMIT:
            message = await self.receive()
            if message["type"] != "http.request":
                return
            self.seen += len(message.get("body", b""))
            self.more = bool(message.get("more_body", False))


def _declared_length(request: Request) -> int | None:
    try:
        return int(request.headers.get("content-length", ""))
    except ValueError:
        return None


@asynccontextmanager
async def upload_form(request: Request, files: int) -> AsyncIterator[FormData]:
    """The form of a request sending up to ``files`` files, each at most :data:`MAX_UPLOAD`
    bytes, once its CSRF token matches; :class:`UploadRefused` for one too large.  The
    files' temporary copies are closed afterwards."""
    limit = files * MAX_UPLOAD + FORM_ALLOWANCE
    body = _CountedBody(request, limit)
    declared = _declared_length(request)
    if declared is not None and declared > limit:
        await body.drain()
        raise _too_large()
    try:
        form = await checked_form(Request(request.scope, receive=body))
    except UploadRefused:
        await body.drain()
        raise
    try:
        if any(isinstance(value, UploadFile) and (value.size or 0) > MAX_UPLOAD for _, value in form.multi_items()):
            raise _too_large()
        yield form
    finally:
        await form.close()


def sent_file(form: FormData, field: str, shown: str) -> UploadFile:
    """The file sent in ``field``; UploadRefused naming it as ``shown`` when none was chosen."""
    value = form.get(field)
    if not isinstance(value, UploadFile) or not value.filename:
        raise UploadRefused(f"choose the {shown} file to send; nothing was saved")
    return value
