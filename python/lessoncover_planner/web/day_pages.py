"""The pages of one date: the day (absences, board, open lessons, Plan), changing a cover and
undoing that, the printable page and the downloads.

Every form that changes the date carries the version the page showed; the change is made
in one ledger transaction that first checks it (:meth:`Office.changing`).
"""

from __future__ import annotations

import datetime
import json
import threading
from dataclasses import asdict
from typing import Any
from urllib.parse import quote, urlencode

from itsdangerous import BadSignature, URLSafeSerializer
from markupsafe import Markup
from starlette.exceptions import HTTPException
from starlette.requests import Request
from starlette.responses import RedirectResponse, Response
from starlette.routing import Route

from ..cli.errors import CommandError, UsageError
from ..cli.board import BoardRow
from ..cli.formats import csv_document, page_context, render_page
from ..office.date_view import DateView
from ..office.day_facts import Lesson, lesson_text
from ..office.ledger import CoverEntry, OpenLesson
from ..office.office import Office
from ..subjects import SUBJECTS, resolve_subject
from .plumbing import SchoolSource, change, checked_form, get_template, date_param, form_int, form_text, page, show

__all__ = ["routes", "day_url"]


def day_url(date: datetime.date) -> str:
    return f"/day/{date.isoformat()}"


def _school_days_near(office: Office, date: datetime.date) -> tuple[datetime.date | None, datetime.date | None]:
    """The school days before and after the date, within a month."""
    calendar = office.school.calendar
    found: list[datetime.date | None] = []
    for step in (-1, 1):
        near = None
        for days in range(1, 32):
            other = date + datetime.timedelta(days=step * days)
            if calendar.is_school_day(other):
                near = other
                break
        found.append(near)
    return found[0], found[1]


def change_url(date: datetime.date, row: BoardRow) -> str:
    """The change-a-cover page of a board row's lesson."""
    query = urlencode({"absent": row.absent, "period": row.period, "class": row.class_name}, quote_via=quote)
    return f"{day_url(date)}/change?{query}"


def _view(request: Request, office: Office, date: datetime.date) -> DateView:
    source: SchoolSource = request.app.state.source
    return source.view(office, date)


_boards: dict[int, tuple[DateView, Markup]] = {}
_boards_lock = threading.Lock()
BOARDS_KEPT = 16


def board_section(view: DateView) -> Markup:
    """The board and the open lessons of the view, rendered once for each view: a view stands
    for one version of its date, and the board carries nothing of a visitor's session."""
    with _boards_lock:
        kept = _boards.get(id(view))
    if kept is not None and kept[0] is view:  # an id is unique only while its view lives
        return kept[1]
    context: dict[str, Any] = {"date": view.date, "view": view, "board": [], "open_rows": [], "quiet": [],
                               "links": {}, "rooms": any(item.row.room for item in view.rows)}
    for item in view.rows:
        status = item.row.status
        context["quiet" if status == "not needed" else "board"].append(item)
        if status in ("uncovered", "not planned"):
            context["open_rows"].append(item)
        context["links"][item.lesson] = change_url(view.date, item.row)
    made = Markup(get_template("day_board.html.j2").render(context))
    with _boards_lock:
        if len(_boards) >= BOARDS_KEPT:
            _boards.pop(next(iter(_boards)))
        _boards[id(view)] = (view, made)
    return made


async def day_page(request: Request) -> Response:
    date = date_param(request)

    def read(office: Office) -> dict[str, Any]:
        before, after = _school_days_near(office, date)
        facts: dict[str, Any] = {"date": date, "before": before, "after": after,
                                 "teachers": [name for name, _ in office.school.teachers], "view": None,
                                 "not_school": "", "board_section": ""}
        try:
            view = facts["view"] = _view(request, office, date)
        except UsageError as error:
            facts["not_school"] = str(error)
            return facts
        facts["board_section"] = board_section(view)
        return facts

    return page(request, "day.html.j2", **await show(request, read))


def _version(form: object) -> int | None:
    return form_int(form, "version")  # type: ignore[arg-type]


async def add_absence(request: Request) -> Response:
    date = date_param(request)
    form = await checked_form(request)
    name, reason, periods = form_text(form, "teacher"), form_text(form, "reason"), form_text(form, "periods")

    def work(office: Office) -> str:
        if not name:
            raise UsageError("choose the absent teacher")
        with office.changing(date, _version(form)):
            office.record_absences(date, [name], reason or None, periods)
        return f"{name} is absent " + (f"in periods {periods}" if periods else "all day") + "; plan again to cover."

    return await change(request, work, day_url(date))


async def remove_absence(request: Request) -> Response:
    date = date_param(request)
    form = await checked_form(request)
    name = form_text(form, "teacher")

    def work(office: Office) -> str:
        with office.changing(date, _version(form)):
            removed = office.clear_absence(date, name)
        return f"{name} is no longer absent." if removed else f"{name} was not recorded absent."

    return await change(request, work, day_url(date))


async def plan_date(request: Request) -> Response:
    date = date_param(request)
    form = await checked_form(request)
    fresh = form.get("fresh") == "1"

    def work(office: Office) -> str:
        with office.changing(date, _version(form)):
            planned = office.plan(date, fresh=fresh)
        covered, uncovered = len(planned.result.covers), len(planned.result.uncovered)
        text = f"Planned: {covered} covered, {uncovered} without cover"
        if planned.kept:
            text += f", {planned.kept} kept from before"
        return ". ".join([text, *planned.released]) + "."

    return await change(request, work, day_url(date))


def _lesson_query(request: Request) -> tuple[str | None, int, str]:
    query = request.query_params
    try:
        period = int(query.get("period", ""))
    except ValueError:
        raise HTTPException(400, "the lesson's period must be a whole number") from None
    class_name = query.get("class", "")
    if not class_name:
        raise HTTPException(400, "say which class: ?class=...&period=...")
    return query.get("absent") or None, period, class_name


async def change_page(request: Request) -> Response:
    """Who could take a lesson, ranked, and who could not; choosing one pins them."""
    date = date_param(request)
    absent, period, class_name = _lesson_query(request)

    def read(office: Office) -> dict[str, Any]:
        view = _view(request, office, date)  # first: a change since only makes the form's version stale
        found = office.candidates(date, absent, period, class_name, facts=view.facts)
        lesson = found.lesson
        row = next(row for row in view.rows if row.lesson == lesson)
        return {"date": date, "found": found, "row": row, "version": view.version}

    try:
        context = await show(request, read)
    except CommandError as error:
        return page(request, "message.html.j2", 404, title="No such lesson", text=str(error),
                    back=day_url(date))
    return page(request, "change.html.j2", **context)


def _undo_signer(request: Request) -> URLSafeSerializer:
    return URLSafeSerializer(request.app.state.secret, salt="undo")


def _lesson_fields(form: object) -> tuple[str, int, str]:
    absent, class_name = form_text(form, "absent"), form_text(form, "class")  # type: ignore[arg-type]
    period = form_int(form, "period")  # type: ignore[arg-type]
    if not absent or not class_name or period is None:
        raise HTTPException(400, "the form does not say which lesson")
    return absent, period, class_name


def _undo_token(request: Request, office: Office, date: datetime.date, lessons: list[Lesson],
                before: list[CoverEntry], open_before: list[OpenLesson]) -> str:
    return _undo_signer(request).dumps({
        "date": date.isoformat(), "lessons": lessons, "version": office.ledger.version(date),
        "covers": [asdict(cover) for cover in before], "open": [asdict(entry) for entry in open_before]})


async def assign(request: Request) -> Response:
    date = date_param(request)
    form = await checked_form(request)
    absent, period, class_name = _lesson_fields(form)
    substitute, force = form_text(form, "substitute"), form.get("force") == "1"

    def work(office: Office) -> tuple[str, str]:
        with office.changing(date, _version(form)):
            before, open_before = office.covers_of(date, class_name, period, absent)
            entries = office.assign(date, class_name, period, substitute, absent=absent, force=force)
        lessons = list(dict.fromkeys([(e.absent, e.period, e.class_name) for e in entries]
                                     + [(c.absent, c.period, c.class_name) for c in before]))
        token = _undo_token(request, office, date, lessons, before, open_before)
        return f"{substitute} covers {lesson_text(class_name, period)} for {absent}.", token

    return await change(request, work, day_url(date))


async def unassign(request: Request) -> Response:
    date = date_param(request)
    form = await checked_form(request)
    absent, period, class_name = _lesson_fields(form)

    def work(office: Office) -> tuple[str, str]:
        with office.changing(date, _version(form)):
            removed = office.unassign(date, class_name, period, absent=absent)
        if not removed:
            return f"{lesson_text(class_name, period)} had no cover.", ""
        lessons = [(c.absent, c.period, c.class_name) for c in removed]
        token = _undo_token(request, office, date, lessons, removed, [])
        return f"{removed[0].substitute} no longer covers {lesson_text(class_name, period)}.", token

    return await change(request, work, day_url(date))


async def undo(request: Request) -> Response:
    date = date_param(request)
    form = await checked_form(request)
    try:
        saved = _undo_signer(request).loads(form_text(form, "token"))
    except BadSignature:
        raise HTTPException(400, "this undo does not come from this office") from None
    if saved.get("date") != date.isoformat():
        raise HTTPException(400, "this undo is for another date")

    def work(office: Office) -> str:
        with office.changing(date, int(saved["version"])):
            office.restore(date, [tuple(lesson) for lesson in saved["lessons"]],
                           [CoverEntry(**cover) for cover in saved["covers"]],
                           [OpenLesson(**entry) for entry in saved["open"]])
        return "Undone: the cover is as it was before."

    return await change(request, work, day_url(date))


async def print_page(request: Request) -> Response:
    """The printable page and slips of the date as recorded, as ``--format html`` lays them out."""
    date = date_param(request)

    def render(office: Office) -> bytes:
        view = _view(request, office, date)
        counts = view.counts
        # the printed page has no "not planned": such a lesson is without cover, as it lists it
        counts["uncovered"] += counts.pop("not_planned")
        return render_page(page_context(view.day, [row.row for row in view.rows], counts,
                                        nonce=request.state.nonce, back=day_url(date)))

    try:
        body = await show(request, render)
    except CommandError as error:
        return page(request, "message.html.j2", 404, title="Nothing to print", text=str(error), back=day_url(date))
    return Response(body, media_type="text/html; charset=utf-8")


def _report_subject(text: str) -> str:
    """A subject as the records name it: the planner's display name for a subject it knows."""
    known = resolve_subject(text)
    return SUBJECTS[known] if isinstance(known, int) else text.strip()


def _download_rows(view: DateView) -> list[dict[str, object]]:
    subjects = dict(view.day.teachers)
    return [{"absent": v.row.absent, "period": v.row.period, "subject": _report_subject(subjects.get(v.row.absent, "")),
             "class": v.row.class_name, "reason": v.reason, "status": v.row.status, "substitute": v.row.substitute,
             "rule": v.rule, "why": v.row.why, "room": v.row.room, "how": v.came} for v in view.rows]


async def download(request: Request) -> Response:
    """The date as recorded: ``cover.csv`` in the command's CSV columns, or ``cover.json``."""
    date = date_param(request)
    kind = request.path_params["kind"]
    if kind not in ("csv", "json"):
        raise HTTPException(404, "the day downloads as cover.csv or cover.json")
    rows = _download_rows(await show(request, lambda office: _view(request, office, date)))
    name = f"cover-{date.isoformat()}.{kind}"
    headers = {"Content-Disposition": f'attachment; filename="{name}"'}
    if kind == "csv":
        body = csv_document([[row[key] for key in ("absent", "period", "subject", "class", "reason", "status",
                                                   "substitute", "rule", "why", "room")] for row in rows])
        return Response(body, media_type="text/csv; charset=utf-8", headers=headers)
    document = {"day": date.isoformat(), "lessons": rows}
    return Response(json.dumps(document, ensure_ascii=False, indent=2) + "\n",
                    media_type="application/json", headers=headers)


async def go_to_date(request: Request) -> Response:
    """The date picker's target: the date's page."""
    try:
        date = datetime.date.fromisoformat(request.query_params.get("date", ""))
    except ValueError:
        raise HTTPException(400, "write the date as 2026-12-09") from None
    return RedirectResponse(day_url(date), status_code=303)


routes = [
    Route("/", day_page, name="today"),
    Route("/go", go_to_date),
    Route("/day/{date}", day_page, name="day"),
    Route("/day/{date}/absences", add_absence, methods=["POST"]),
    Route("/day/{date}/absences/remove", remove_absence, methods=["POST"]),
    Route("/day/{date}/plan", plan_date, methods=["POST"]),
    Route("/day/{date}/change", change_page),
    Route("/day/{date}/assign", assign, methods=["POST"]),
    Route("/day/{date}/unassign", unassign, methods=["POST"]),
    Route("/day/{date}/undo", undo, methods=["POST"]),
    Route("/day/{date}/print", print_page),
    Route("/day/{date}/cover.{kind:str}", download),
]
