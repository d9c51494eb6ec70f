"""What every route shares: the school as last read, an office per request, the checked form,
messages carried over a redirect, and the rendering of a page.

A route reads its request, hands a function of the office to :func:`change` (a POST) or
:func:`show` (a GET) and gets back a response.  A POST always answers with a redirect
(POST-redirect-GET); what it did, or why it was refused, shows on the next page.
"""

from __future__ import annotations

import datetime
import os
import threading
from collections.abc import Callable
from contextlib import contextmanager
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Iterator, TypeVar

from starlette.concurrency import run_in_threadpool
from starlette.datastructures import FormData
from starlette.exceptions import HTTPException
from starlette.requests import Request
from starlette.responses import RedirectResponse, Response
from starlette.templating import Jinja2Templates

from ..cli.errors import CommandError, UsageError
from ..cli.templates_env import environment
from ..office.folders import LEDGER_FILE, LESSONS_FILE, SCHOOL_FILE, TEACHERS_FILE
from ..office.ledger import Ledger
from ..office.date_view import DateView
from ..office.office import Office, VersionConflict
from ..office.school_folder import School, read_school
from .security import csrf_ok, csrf_token

__all__ = ["SchoolSource", "Flash", "change", "show", "checked_form", "page", "flash", "date_param"]

T = TypeVar("T")
VIEWS_KEPT = 16
"""Dates' views kept for reuse, the oldest dropped first."""
RETRIES = 5
"""Reads of a school whose files change while they are read, before the page gives up."""
_templates = Jinja2Templates(env=environment("lessoncover_planner.web"))


class SchoolSource:
    """The school folder, read again only when one of its files changed (or was replaced)."""

    def __init__(self, folder: Path) -> None:
        self.folder = folder
        self._lock = threading.Lock()
        self._stamp: tuple[tuple[int, int, int], ...] | None = None
        self._school: School | None = None
        self._connections = threading.local()
        self._views: dict[tuple[int, datetime.date, int], tuple[School, DateView]] = {}

    def _stamp_now(self) -> tuple[tuple[int, int, int], ...]:
        stamps = []
        for name in (TEACHERS_FILE, LESSONS_FILE, SCHOOL_FILE):
            path = self.folder / name
            try:
                info = os.stat(path)
            except OSError:
                stamps.append((0, 0, 0))
            else:
                stamps.append((info.st_ino, info.st_mtime_ns, info.st_size))
        return tuple(stamps)

    def school(self) -> School:
        """The school as its files are now. A replacement moves its files in one after the
        other: a read that saw them change under it reads again, so it never keeps a new
        teachers.csv with the old lessons.csv."""
        with self._lock:
            stamp = self._stamp_now()
            if self._school is not None and stamp == self._stamp:
                return self._school
            for _ in range(RETRIES):
                try:
                    school = read_school(self.folder)
                except CommandError:
                    if self._stamp_now() == stamp:
                        raise
                else:
                    if self._stamp_now() == stamp:
                        self._school, self._stamp = school, stamp
                        return school
                stamp = self._stamp_now()
            raise UsageError(f"{self.folder}: the timetable files keep changing; try again in a moment")

    def forget(self) -> None:
        with self._lock:
            self._school = None

    def view(self, office: Office, date: datetime.date) -> DateView:
        """The office's view of the date, kept for the date's version: every write to a date
        bumps its version, so a view is good until the next write, and the pages read far more
        often than they change.  Views of another reading of the school are never reused."""
        key = (id(office.school), date, office.ledger.version(date))
        with self._lock:
            kept = self._views.get(key)
        if kept is not None and kept[0] is office.school:  # an id is unique only while its school lives
            return kept[1]
        made = office.view(date)
        if made.version == key[2]:
            with self._lock:
                if len(self._views) >= VIEWS_KEPT:
                    self._views.pop(next(iter(self._views)))
                self._views[key] = (office.school, made)
        return made

    @contextmanager
    def office(self) -> Iterator[Office]:
        """An office over the school as it is now and this thread's connection to the ledger:
        a connection is opened once per worker thread (SQLite's are not shared between threads),
        not once per request, and every use leaves it outside any transaction."""
        ledger = getattr(self._connections, "ledger", None)
        if ledger is None:
            ledger = self._connections.ledger = Ledger.open(self.folder / LEDGER_FILE)
        with Office(self.folder, school=self.school(), ledger=ledger) as office:
            yield office


@dataclass(frozen=True)
class Flash:
    """A message for the next page: ``kind`` is ``done`` or ``refused``; ``undo`` a signed token
    that puts back what the change replaced."""

    kind: str
    text: str
    undo: str = ""


def flash(request: Request, kind: str, text: str, undo: str = "") -> None:
    request.session.setdefault("flash", []).append([kind, text, undo])


def take_flashes(request: Request) -> list[Flash]:
    return [Flash(*entry) for entry in request.session.pop("flash", [])]


def date_param(request: Request) -> datetime.date:
    text = request.path_params.get("date")
    if text is None:
        today: datetime.date = request.app.state.today()
        return today
    try:
        return datetime.date.fromisoformat(text)
    except ValueError:
        raise HTTPException(404, f"{text!r} is not a date (write it as 2026-12-09)") from None


async def checked_form(request: Request) -> FormData:
    """The posted form, once its CSRF token matches the session's; 403 otherwise."""
    form = await request.form()
    if not csrf_ok(request.session, form.get("csrf")):
        raise HTTPException(403, "This form has expired or did not come from this office. "
                                 "Go back, reload the page and try again.")
    return form


def form_int(form: FormData, name: str) -> int | None:
    value = form.get(name)
    if not isinstance(value, str) or not value.strip():
        return None
    try:
        return int(value)
    except ValueError:
        raise HTTPException(400, f"{name} must be a whole number") from None


def form_text(form: FormData, name: str) -> str:
    value = form.get(name)
    return value.strip() if isinstance(value, str) else ""


async def change(request: Request, work: Callable[[Office], str | tuple[str, str]], back: str) -> Response:
    """Run ``work`` with the office in a worker thread and redirect to ``back``; what it returns
    (a message, or a message and an undo token) or why it was refused shows there."""
    try:
        done = await show(request, work)
    except VersionConflict as error:
        flash(request, "refused", str(error) + "; it shows the latest now. Nothing was changed.")
    except CommandError as error:
        flash(request, "refused", str(error))
    else:
        text, undo = done if isinstance(done, tuple) else (done, "")
        flash(request, "done", text, undo)
    return RedirectResponse(back, status_code=303)


async def show(request: Request, work: Callable[[Office], T]) -> T:
    """Run ``work`` with the office in a worker thread and give what it returns."""
    source: SchoolSource = request.app.state.source

    def run() -> T:
        with source.office() as office:
            return work(office)

    return await run_in_threadpool(run)


def get_template(name: str) -> Any:
    """One of the web app's templates, for a part of a page rendered on its own."""
    return _templates.get_template(name)


def page(request: Request, template: str, status_code: int = 200, **context: Any) -> Response:
    """The template rendered with what every page has: the CSRF token, the nonce, the messages."""
    context.setdefault("date", None)
    context.update(request=request, csrf=csrf_token(request.session), nonce=request.state.nonce,
                   flashes=take_flashes(request), signed_in=request.app.state.password is None
                   or request.session.get("user") is True, today=request.app.state.today())
    return _templates.TemplateResponse(request, template, context, status_code=status_code)
