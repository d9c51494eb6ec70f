"""The pages of the school rather than of one date: the week, the staff's covers, the timetable."""

from __future__ import annotations

from starlette.routing import Route

__all__ = ["routes"]

routes: list[Route] = []
