"""The native planner: plans one school day in a single call, and gives the facts of the
core that the package reads rather than restates."""

from collections.abc import Callable
from typing import Any, Literal

# The rules of RULES that choose a substitute, for the type checker; a test holds the two
# together.
_CoverRule = Literal["subject", "any", "double", "combined", "pinned", "supply"]

RULES: tuple[str, ...]
SUBJECTS: tuple[str, ...]
TEACHER_SPELLINGS: tuple[tuple[str, str], ...]
SUBJECT_ALIASES: tuple[tuple[str, str], ...]
SUBJECT_SPELLINGS: tuple[tuple[str, str], ...]
PERIOD_MIN: int
PERIOD_MAX: int
MOST_PRIOR_COVERS: int

def plan_day(
    teachers: list[Any],
    lessons: list[Any],
    absences: dict[Any, Any],
    resolve_subject: Callable[[str], int | str | None],
    policy: object,
    /,
) -> tuple[
    str,
    str,
    float,
    list[tuple[str, int, str, str, str, str, _CoverRule, str]],
    list[tuple[str, int, str, str, str, int, int, int, int, int]],
    list[tuple[str, int, str, str, str, str]],
    tuple[int, int, int, int, int, int, int],
]:
    """Plan the day; return (report head, timing line, seconds, cover, uncovered and not-needed rows,
    and the summary's figures in the order of PlanSummary's fields)."""

def subject_key(text: str, /) -> str:
    """The core's full lower-case mapping of a subject text."""

def known_subject(text: str, /) -> int | None:
    """The number of the known subject a trimmed text names, or None."""

def why_uncovered(period: int, present: int, teaching: int, covering: int, unavailable: int, at_cap: int, /) -> str:
    """Why nobody was free in period, from an uncovered lesson's counts."""

def check_policy(policy: object, /) -> None:
    """Check a policy's options by name as plan_day() reads them, its strategy and supply teachers too."""
