"""The native planner: plans one school day in a single call."""

from collections.abc import Callable
from typing import Any, Literal

def plan_day(
    teachers: list[Any],
    lessons: list[Any],
    absences: dict[Any, Any],
    resolve_subject: Callable[[str], int | str | None],
    policy: tuple[Any, ...] | None,
    /,
) -> tuple[
    str,
    str,
    float,
    list[tuple[str, int, str, str, str, str, Literal["subject", "any", "double", "combined", "pinned"]]],
    list[tuple[str, int, str, str, str, int, int, int, int, int]],
    list[tuple[str, int, str, str, str, str, str | None]],
]:
    """Plan the day; return (report head, timing line, seconds, cover, uncovered and not-needed rows)."""
