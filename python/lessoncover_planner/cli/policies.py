"""The cover policies the command takes from its flags and from the files' optional columns."""

from __future__ import annotations

from collections import namedtuple
from collections.abc import Mapping, Sequence

from .errors import UsageError
from .guidance import did_you_mean
from .reading import Day

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from ..policy import Policy

__all__ = ["PolicyOptions", "STRATEGIES", "build_policy", "check_away_classes"]

STRATEGIES = ("greedy", "best")
"""The planner's strategies (``Policy.strategy``); a day's files are planned with the first
unless the run says otherwise."""


PolicyOptions = namedtuple("PolicyOptions", "max_covers keep_doubles combined_lessons co_taught_no_cover "
                           "away_classes strategy", defaults=(None, False, False, False, (), None))
PolicyOptions.__doc__ = """The policy flags of one run; the same for every day of it.

``strategy`` is the strategy the run asked for; None leaves it to where the day comes from:
greedy for a day's files, the school's setting for a school folder."""


def check_away_classes(away: Sequence[str], days: Sequence[Day]) -> None:
    """Refuse an ``--away`` class that no day has a lesson of: it is most likely a typo."""
    known: set[str] = set()
    for day in days:
        known.update(day.classes)
    for class_name in away:
        if class_name not in known:
            where = days[0].folder / "lessons.csv" if len(days) == 1 else "any day's lessons.csv"
            raise UsageError(f"--away {class_name!r}: no lesson of that class in {where}"
                             + did_you_mean(class_name, known))


def build_policy(options: PolicyOptions, day: Day, prior_covers: Mapping[str, int] | None = None) -> Policy | None:
    """The ``Policy`` for day, or ``None`` when nothing asks for one.

    Each day gets the ``--away`` classes it has lessons of, as prior covers the
    totals of the teachers it knows, and the supply teachers of its ``teachers.csv``.
    ``None`` plans exactly as a default ``Policy()``.
    """
    known_classes = set(day.classes)
    away = tuple(class_name for class_name in options.away_classes if class_name in known_classes)
    names = {name for name, _ in day.teachers}
    prior = {name: count for name, count in (prior_covers or {}).items() if name in names}
    strategy = options.strategy or STRATEGIES[0]
    if not (options.max_covers is not None or prior or day.unavailable or options.keep_doubles
            or options.combined_lessons or options.co_taught_no_cover or away or strategy != STRATEGIES[0]
            or day.supply):
        return None  # what Policy().is_default() would say, without importing the policy's dataclass
    from ..policy import Policy

    return Policy(
        max_covers=options.max_covers,
        prior_covers=prior,
        unavailable=dict(day.unavailable),
        keep_doubles=options.keep_doubles,
        combined_lessons=options.combined_lessons,
        co_taught_no_cover=options.co_taught_no_cover,
        away_classes=away,
        strategy=strategy,
        supply=day.supply,
    )
