"""One office worker's session against ``lessoncover serve``: its own cookie jar, what the
pages it last saw said (the CSRF token, each date's version, its absentees and lessons),
and every request it made with its latency on the client's side.

A change is a POST answered by a redirect (timed alone), then the page the redirect names
(timed as a page after a change); that page's message says whether the change was done or
refused.  Each change is kept as a :class:`Change` with what it tried and how it ended, so
that what the ledger holds afterwards can be checked against what the worker was told.
"""
from __future__ import annotations

import datetime
import html
import random
import re
import threading
import time
from dataclasses import dataclass, field

import httpx
from itsdangerous import URLSafeSerializer

from lessoncover_planner.office.office import DAY_CHANGED

DAY, CHANGE, FOLLOW = "day page", "change page", "page after a change"
PLAN, PIN, ADD, REMOVE = "plan", "pin", "absence add", "absence remove"
KINDS = (DAY, CHANGE, FOLLOW, PLAN, PIN, ADD, REMOVE)

# How a request ended.
OK, CONFLICT, REFUSED, GONE, ERROR, DOWN, SESSION_LOST = (
    "ok", "conflict", "refused", "lesson gone", "error", "server down", "session lost")

_CSRF = re.compile(r'name="csrf" value="([^"]+)"')
_VERSION = re.compile(r'name="version" value="(\d+)"')
CHANGE_LINK = re.compile(r'href="(/day/[0-9-]+/change\?[^"]+)"')
_ABSENTEE = re.compile(r'name="teacher" value="([^"]+)"')
_FLASH = re.compile(r'<div class="flash (\w+)"[^>]*>\s*<bdi>(.*?)</bdi>', re.S)
_UNDO = re.compile(r'name="token" value="([^"]+)"')
_PICKS = re.compile(r'<form method="post" action="[^"]+/assign">(.*?)</form>', re.S)  # the first: no force
_FIELD = re.compile(r'name="(absent|period|class)" value="([^"]*)"')
_CHOICE = re.compile(r'<button name="substitute" value="([^"]*)"(?![^>]*disabled)')


@dataclass
class Request:
    kind: str
    seconds: float
    outcome: str
    status: int = 0
    started: float = 0.0  # time.perf_counter() when it was sent
    detail: str = ""  # what an error was: its status and the page's first words, or the exception


@dataclass
class Change:
    """One change a worker tried: ``state`` is ``done`` (the next page said so), ``refused``
    (it said why not, or the request never reached the server) or ``in doubt`` (the server
    went away before the worker learnt the outcome)."""

    kind: str
    date: datetime.date
    fields: dict[str, str]
    state: str = "in doubt"
    message: str = ""
    version_after: int | None = None  # the date's version the change left (a pin's undo token says it)


@dataclass
class DayPage:
    version: int
    absentees: list[str]
    lessons: list[str]  # the change pages' addresses


@dataclass
class Mix:
    """Weights of the actions; a pin also reads the change page it picks from."""

    day: float = 0.72
    change: float = 0.18
    plan: float = 0.03
    pin: float = 0.03
    add: float = 0.02
    remove: float = 0.02

    def pick(self, rng: random.Random) -> str:
        actions = ("day", "change", "plan", "pin", "add", "remove")
        return rng.choices(actions, weights=[getattr(self, name) for name in actions])[0]


@dataclass
class Worker:
    number: int
    base_url: str
    dates: list[datetime.date]
    teachers: list[str]  # whom this worker marks absent or back
    mix: Mix
    think: float  # mean seconds between actions
    stop: threading.Event
    seed: int
    requests: list[Request] = field(default_factory=list)
    changes: list[Change] = field(default_factory=list)
    pages: dict[datetime.date, DayPage] = field(default_factory=dict)
    csrf: str = ""
    serial: int = 0
    versions_seen: dict[datetime.date, int] = field(default_factory=dict)

    def run(self) -> None:
        rng = random.Random(self.seed)
        with httpx.Client(base_url=self.base_url, follow_redirects=False, timeout=30.0) as client:
            while not self.stop.is_set():
                # a pause first, so that the workers do not all start at once (nor all end at once)
                if self.think > 0 and self.stop.wait(rng.expovariate(1 / self.think)):
                    break
                date = rng.choice(self.dates)
                action = self.mix.pick(rng)
                if not self.csrf or date not in self.pages or action == "day":
                    self.read_day(client, date)
                elif action == "change":
                    self.read_change(client, rng, date)
                elif action == "plan":
                    self.post(client, PLAN, date, "plan", {})
                elif action == "pin":
                    self.pin(client, rng, date)
                elif action == "add":
                    self.add_absence(client, rng, date)
                else:
                    self.remove_absence(client, rng, date)

    # -- requests ---------------------------------------------------------------------------

    def _send(self, client: httpx.Client, kind: str, method: str, url: str,
              data: dict[str, str] | None = None) -> tuple[httpx.Response | None, Request]:
        began = time.perf_counter()
        try:
            response = client.request(method, url, data=data)
        except httpx.ConnectError:  # nothing reached the server
            record = Request(kind, time.perf_counter() - began, DOWN)
            self._forget()
            self.requests.append(record)
            return None, record
        except httpx.HTTPError as error:  # the server went away while it had the request
            record = Request(kind, time.perf_counter() - began, ERROR, detail=type(error).__name__)
            self._forget()
            self.requests.append(record)
            return None, record
        record = Request(kind, time.perf_counter() - began, OK, response.status_code, began)
        self.requests.append(record)
        return response, record

    @staticmethod
    def _unexpected(record: Request, response: httpx.Response) -> None:
        record.outcome = ERROR
        record.detail = f"{response.status_code} {response.text[:200]!r}"

    def _forget(self) -> None:
        """A new server signs sessions with a new secret: start again from a page."""
        self.csrf = ""
        self.pages.clear()
        self.stop.wait(0.05)

    def _page(self, response: httpx.Response, date: datetime.date) -> None:
        text = response.text
        csrf = _CSRF.search(text)
        if csrf:
            self.csrf = html.unescape(csrf.group(1))
        version = _VERSION.search(text)
        if version:
            self.versions_seen[date] = max(self.versions_seen.get(date, 0), int(version.group(1)))
            self.pages[date] = DayPage(int(version.group(1)),
                                       [html.unescape(name) for name in _ABSENTEE.findall(text)],
                                       [html.unescape(link) for link in CHANGE_LINK.findall(text)])

    def read_day(self, client: httpx.Client, date: datetime.date, kind: str = DAY) -> httpx.Response | None:
        response, record = self._send(client, kind, "GET", f"/day/{date.isoformat()}")
        if response is not None:
            if response.status_code != 200:
                self._unexpected(record, response)
            else:
                self._page(response, date)
        return response

    def read_change(self, client: httpx.Client, rng: random.Random, date: datetime.date) -> str | None:
        page = self.pages.get(date)
        if page is None or not page.lessons:
            self.read_day(client, date)
            return None
        response, record = self._send(client, CHANGE, "GET", rng.choice(page.lessons))
        if response is None:
            return None
        if response.status_code == 404:  # its absence was removed since the day page showed it
            record.outcome = GONE
            return None
        if response.status_code != 200:
            self._unexpected(record, response)
            return None
        csrf = _CSRF.search(response.text)
        if csrf:
            self.csrf = html.unescape(csrf.group(1))
        return response.text

    def post(self, client: httpx.Client, kind: str, date: datetime.date, path: str, fields: dict[str, str],
             version: int | None = None) -> Change:
        page = self.pages[date]
        change = Change(kind, date, fields)
        self.changes.append(change)
        form = {"csrf": self.csrf, "version": str(page.version if version is None else version), **fields}
        response, record = self._send(client, kind, "POST", f"/day/{date.isoformat()}/{path}", form)
        if response is None:
            if record.outcome == DOWN:
                change.state = "refused"
                change.message = "the server was down"
            return change
        if response.status_code == 403:  # a CSRF token of the server before a restart
            record.outcome = SESSION_LOST
            change.state, change.message = "refused", "session lost"
            self._forget()
            return change
        if response.status_code != 303:
            self._unexpected(record, response)
            return change
        after = self.read_day(client, date, FOLLOW)
        if after is None or after.status_code != 200:
            return change
        flashes = _FLASH.findall(after.text)  # this change's message is the last
        if not flashes:
            self._unexpected(record, after)
            return change
        kind, text = flashes[-1]
        change.state = "done" if kind == "done" else "refused"
        change.message = html.unescape(text)
        if change.state == "refused":
            record.outcome = CONFLICT if DAY_CHANGED in change.message else REFUSED
        undo = _UNDO.findall(after.text)
        if undo and change.state == "done":
            # the token is signed, not sealed: its payload reads without the server's secret
            _, saved = URLSafeSerializer("not the server's secret", salt="undo").loads_unsafe(html.unescape(undo[-1]))
            if isinstance(saved, dict) and "version" in saved:
                change.version_after = int(saved["version"])
        return change

    # -- the changes ------------------------------------------------------------------------

    def pin(self, client: httpx.Client, rng: random.Random, date: datetime.date) -> None:
        text = self.read_change(client, rng, date)
        if text is None:
            return
        picks = []
        form = _PICKS.search(text)
        if form is not None:
            lesson = {name: html.unescape(value) for name, value in _FIELD.findall(form[1])}
            picks = [{**lesson, "substitute": html.unescape(name)} for name in _CHOICE.findall(form[1])]
        version = _VERSION.search(text)
        if not picks or version is None:
            return
        self.post(client, PIN, date, "assign", rng.choice(picks[:3]), int(version.group(1)))

    def add_absence(self, client: httpx.Client, rng: random.Random, date: datetime.date) -> None:
        self.serial += 1
        periods = rng.choice(("", "", "1-3", "4-6", "2,5"))
        self.post(client, ADD, date, "absences", {"teacher": rng.choice(self.teachers),
                                                  "reason": f"witness {self.number}-{self.serial}",
                                                  "periods": periods})

    def remove_absence(self, client: httpx.Client, rng: random.Random, date: datetime.date) -> None:
        owned = set(self.teachers)
        mine = [name for name in self.pages[date].absentees if name in owned]
        if not mine:
            self.add_absence(client, rng, date)
            return
        self.post(client, REMOVE, date, "absences/remove", {"teacher": rng.choice(mine)})
