"""The pages of the school rather than of one date: the week, the staff's covers, the timetable,
and the forms that send files (a new timetable, a FET export, a date's absences)."""

from __future__ import annotations

import datetime
from collections.abc import Callable
from typing import Any

from starlette.datastructures import FormData
from starlette.requests import Request
from starlette.responses import RedirectResponse, Response
from starlette.routing import Route

from ..office.history_report import two_ranges_context
from ..office.office import Office
from ..office.school_folder import School
from .plumbing import change, date_param, flash, form_int, page, show
from .uploads import UploadRefused, sent_file, upload_form

__all__ = ["routes"]

TIMETABLE = "/timetable"
_WARNINGS_SHOWN = 3


def _week_url(date: datetime.date) -> str:
    return f"/week/{date.isoformat()}"


def _shifted(date: datetime.date, days: int) -> datetime.date | None:
    try:
        return date + datetime.timedelta(days=days)
    except OverflowError:
        return None


async def this_week(request: Request) -> Response:
    return RedirectResponse(_week_url(request.app.state.today()), status_code=303)


async def week_page(request: Request) -> Response:
    date = date_param(request)
    week = await show(request, lambda office: office.week(date))
    return page(request, "week.html.j2", date=date, week=week, before=_shifted(week.monday, -7),
                after=_shifted(week.monday, 7))


def _window_words(window: str | int) -> str:
    if window == "week":
        return "this week so far"
    if window == "term":
        return "this term so far"
    return f"the last {window} school days and today"


async def staff_page(request: Request) -> Response:
    today: datetime.date = request.app.state.today()

    def read(office: Office) -> dict[str, Any]:
        staff = office.staff_covers(today)
        return {"chart": two_ranges_context(staff.rows, staff.window, staff.term),
                "window_words": _window_words(office.school.calendar.fairness_window),
                "subjects": dict(office.school.teachers), "supply": set(office.school.supply)}

    return page(request, "staff.html.j2", **await show(request, read))


async def timetable_page(request: Request) -> Response:
    def read(office: Office) -> dict[str, Any]:
        school = office.school
        return {"teachers": school.teachers, "supply": set(school.supply), "days": office.timetable(),
                "lessons": len(school.lessons), "warnings": school.warnings}

    return page(request, "timetable.html.j2", **await show(request, read))


def _school_text(school: School) -> str:
    supply = f" ({len(school.supply)} supply)" if school.supply else ""
    text = f"{len(school.teachers)} teachers{supply} and {len(school.lessons)} lessons"
    if school.warnings:
        text += "; " + "; ".join(school.warnings[:_WARNINGS_SHOWN])
        if len(school.warnings) > _WARNINGS_SHOWN:
            text += f" and {len(school.warnings) - _WARNINGS_SHOWN} more warnings"
    return text


async def _sending(request: Request, files: int, back: str,
                   work_of: Callable[[FormData], Callable[[Office], str]]) -> Response:
    """Read a form sending files and run the work it makes with the office, as :func:`change`
    runs a form's; a form too large, or without its files, is refused with nothing done."""
    try:
        async with upload_form(request, files) as form:
            return await change(request, work_of(form), back)
    except UploadRefused as error:
        flash(request, "refused", str(error))
        return RedirectResponse(back, status_code=303)


async def _sending_timetable(request: Request, files: int,
                             work_of: Callable[[FormData], Callable[[Office], str]]) -> Response:
    try:
        return await _sending(request, files, TIMETABLE, work_of)
    finally:
        request.app.state.source.forget()  # the next page reads the folder afresh, whatever happened


async def replace_timetable(request: Request) -> Response:
    def work_of(form: FormData) -> Callable[[Office], str]:
        teachers, lessons = sent_file(form, "teachers", "teachers.csv"), sent_file(form, "lessons", "lessons.csv")
        return lambda office: "Timetable replaced: " + _school_text(office.replace_timetable(teachers.file,
                                                                                            lessons.file)) + "."

    return await _sending_timetable(request, 2, work_of)


async def import_export(request: Request) -> Response:
    def work_of(form: FormData) -> Callable[[Office], str]:
        export = sent_file(form, "export", "FET export")

        def work(office: Office) -> str:
            school, lines = office.import_timetable(export.file, export.filename or "export.csv")
            return f"Imported {export.filename}: {_school_text(school)}. " + "; ".join(lines) + "."

        return work

    return await _sending_timetable(request, 1, work_of)


async def upload_absences(request: Request) -> Response:
    date = date_param(request)

    def work_of(form: FormData) -> Callable[[Office], str]:
        sent, version = sent_file(form, "absences", "absences.csv"), form_int(form, "version")

        def work(office: Office) -> str:
            entries = office.read_sent_absences(sent.file)
            with office.changing(date, version):
                office.replace_absences(date, entries)
            return (f"The absences of {date.isoformat()} are now those of {sent.filename}: {len(entries)} absent"
                    + ("; plan again to cover." if entries else "."))

        return work

    return await _sending(request, 1, f"/day/{date.isoformat()}", work_of)


routes = [
    Route("/week", this_week),
    Route("/week/{date}", week_page),
    Route("/staff", staff_page),
    Route(TIMETABLE, timetable_page),
    Route(TIMETABLE + "/replace", replace_timetable, methods=["POST"]),
    Route(TIMETABLE + "/import", import_export, methods=["POST"]),
    Route("/day/{date}/absences/upload", upload_absences, methods=["POST"]),
]
