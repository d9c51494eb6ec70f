"""plan(): hands a school day to the native planner."""

from __future__ import annotations

from collections.abc import Iterable, Mapping

from . import _planner
from .cover_plan import CoverPlan
from .subjects import resolve_subject

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any

    from .policy import Policy

# Why a teacher is absent (None or "" for the default reason), or that with the periods
# of a part-day absence.
Absence = str | None | tuple[str | None, Iterable[int]]

__all__ = ["plan"]


def _as_list(values: Iterable[Any], name: str, items: str) -> list[Any]:
    # A str is iterable too, but never a list of records: say so rather than
    # complain about its first character.
    if isinstance(values, (str, bytes)):
        raise TypeError(f"{name} must be an iterable of {items}, not {type(values).__name__}")
    try:
        iterator = iter(values)
    except TypeError:
        raise TypeError(f"{name} must be an iterable of {items}, not {type(values).__name__}") from None
    return list(iterator)


def _as_dict(absences: Mapping[str, Absence] | None) -> dict[Any, Any]:
    if absences is None:
        return {}
    if not isinstance(absences, Mapping):
        raise TypeError(f"absences must be a mapping of name to reason, not {type(absences).__name__}")
    read = dict(absences)
    for name, absence in read.items():
        if absence is None or isinstance(absence, str):
            continue
        if not isinstance(absence, tuple) or len(absence) != 2:
            # Anything else is refused by the planner, naming the absentee.
            continue
        reason, periods = absence
        if isinstance(periods, (str, bytes)) or not isinstance(periods, Iterable):
            raise TypeError(f"absences[{name!r}]: expected (reason, periods) with an iterable of periods, "
                            f"got {absence!r}")
        read[name] = (reason, tuple(periods))
    return read


def plan(
    teachers: Iterable[tuple[str, str]],
    lessons: Iterable[tuple[str, int, str]],
    absences: Mapping[str, Absence] | None = None,
    policy: Policy | None = None,
) -> CoverPlan:
    """Plan cover for the absent teachers of one school day.

    ``teachers`` holds ``(name, subject)`` pairs in the school's order, each name
    once.  ``lessons`` holds ``(teacher name, period, class name)`` rows; a
    period is an int from -32768 to 32767.  ``absences`` maps the name of each
    teacher absent all day to the reason (``None`` or ``""`` for the default
    reason, "Planned Absense"), or to ``(reason, periods)`` for a teacher absent
    in those periods only, who teaches and may cover in the others.  Any iterable
    of pairs or rows and any mapping will do; they are read once and left
    unchanged.

    ``policy`` says more than who is absent: caps, prior covers, unavailable
    periods, doubles, combined and co-taught lessons, classes away, covers
    pinned in advance; see
    :class:`Policy`.  ``Policy()``, every option off, plans as no policy does.

    A subject is one of the twenty the planner knows, under any name
    :func:`lessoncover_planner.resolve_subject` accepts, or any other text,
    which is then a subject of its own (compared without regard to letter case,
    shown as first written).

    The day is planned the way a ``lessoncover`` script builds its school:

    1. the teachers, in order, absentees marked absent with their reason, each
       added to a school;
    2. every lesson registered, in order;
    3. the classes added, in the order in which they first appear in
       ``lessons``, after all lessons are registered;
    4. one generation of the substitutions.

    So for a day whose subjects are all ``lessoncover`` subjects,
    ``plan(...).report()`` is, timing line aside, byte for byte what
    ``School.generate_substitutions()`` returns for that school.

    Nothing outside the call changes: planning the same day twice gives the
    same plan.  Bad input raises ``TypeError`` (a value of the wrong type, a
    row that is not a pair or triple) or ``ValueError`` (a lesson of an
    unknown teacher, a teacher named twice, an absentee who is not a teacher,
    a period out of range, an empty subject, a part-day absence without
    periods, a policy naming a teacher or class the day does not have, a pin
    the day cannot take: see :attr:`Policy.pinned`); the message names the
    position and the value at fault.
    """
    if policy is not None:
        from .policy import Policy  # a dataclass: imported only by a caller who has one to give

        if not isinstance(policy, Policy):
            raise TypeError(f"policy must be a Policy or None, not {type(policy).__name__}")
    return CoverPlan(*_planner.plan_day(
        _as_list(teachers, "teachers", "(name, subject) pairs"),
        _as_list(lessons, "lessons", "(teacher, period, class) rows"),
        _as_dict(absences),
        resolve_subject,
        policy,
    ))
