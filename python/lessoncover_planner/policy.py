"""Cover policies: what the office may say beyond who is absent. Every option is off by default."""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from dataclasses import dataclass, field
from types import MappingProxyType

from . import _planner

__all__ = ["Policy"]

_NO_COUNTS: Mapping[str, int] = MappingProxyType({})
_NO_PERIODS: Mapping[str, frozenset[int]] = MappingProxyType({})


@dataclass(frozen=True)
class Policy:
    """Options of the cover planner, all off by default: ``plan(..., policy=Policy())``
    plans exactly as ``plan(...)``.

    Names in ``prior_covers``, ``unavailable`` and ``supply``, and classes in
    ``away_classes``, are checked against the day when it is planned: one that the day
    does not know raises ``ValueError`` there, which catches typos.  So are the lessons
    and substitutes of ``pinned``.
    """

    max_covers: int | None = None
    """Covers one teacher may give in this plan; a teacher who has given that many is no
    longer a candidate. The lessons of a combined set count as one cover. None: no cap."""

    prior_covers: Mapping[str, int] = field(default_factory=lambda: _NO_COUNTS)
    """Covers each teacher gave already (earlier this week, say). They count as lessons
    wherever the number of lessons ranks teachers: among colleagues of a subject, the
    fewest first; and in the school's list order, which puts fewer lessons first."""

    unavailable: Mapping[str, Iterable[int]] = field(default_factory=lambda: _NO_PERIODS)
    """Periods in which a present teacher cannot cover (a duty, part-time hours, a
    meeting). The teacher is never chosen in them; they do not count as lessons."""

    keep_doubles: bool = False
    """Keep a double period with one substitute: when the absent teacher's lesson in the
    same class in the period before (tried first) or after was covered in this plan by S,
    S takes this one too if free, available and under the cap (rule ``"double"``)."""

    combined_lessons: bool = False
    """An absent teacher's lessons in one period, over several classes, are one lesson:
    the first planned is decided by the rules, the others go to the same substitute
    (rule ``"combined"``) without counting another cover."""

    co_taught_no_cover: bool = False
    """A lesson needs no cover when a teacher present in that period also teaches the class
    then (team teaching; covers do not count)."""

    away_classes: Iterable[str] = frozenset()
    """Classes away for the day (a trip, an exam): their lessons need no cover, and a
    teacher whose lessons in a period are all with away classes is free then."""

    pinned: Iterable[tuple[str, int, str, str]] = ()
    """Covers fixed in advance, as ``(absent, period, class_name, substitute)``: kept from an
    earlier plan of the day, or changed by hand.  They are applied before any rule: each
    pinned lesson goes to its substitute (rule ``"pinned"``), who is busy in that period
    from the start, and each counts towards ``max_covers`` and the substitute's lessons
    as a cover chosen by the rules does; then the rules decide the other lessons.  With
    ``combined_lessons`` the other lessons of a pinned first lesson's set follow it, and
    lessons of one set pinned to one substitute count as one cover.  A pin may put a
    teacher where the rules never would (teaching, unavailable, at the cap then).
    ``plan()`` raises ``ValueError`` naming the pin when its lesson is not an absent
    lesson of the day that needs cover, its substitute is not a teacher of the day or is
    absent then, or it pins a lesson pinned already or a substitute pinned already in
    that period (but for one combined set).  Kept as a tuple of tuples, in order."""

    strategy: str = "greedy"
    """How substitutes are chosen.  ``"greedy"``: the rules above, lesson by lesson, as
    ``School.generate_substitutions()`` chooses them.  ``"best"``: the plan that is best
    over the whole day, each aim counting only among the plans best on the aims before
    it: the most lessons covered; with ``keep_doubles`` the most doubles kept whole; the
    fewest covers by ``supply`` teachers; the most covers by a teacher of the absent
    teacher's subject; the smallest largest load (prior plus today's covers) of a teacher
    who covers; the smallest sum of the squared loads; the most covers by a teacher of the
    class that day; then a fixed tie-break, so the same day gives the same plan.  Both
    keep every other option as a hard rule.  Anything else raises ``ValueError``."""

    supply: Iterable[str] = frozenset()
    """Supply teachers, by name: external staff the school pays for each cover, so used
    last.  Under ``"greedy"`` they never cover by the subject or ``any`` rule: when the
    ``any`` rule finds nobody, the first free supply teacher in the day's order of
    teachers takes the lesson.  Under ``"best"`` they give as few covers as the aims
    before theirs allow.  Their covers have rule ``"supply"`` (but ``"pinned"`` and
    ``"combined"`` as ever).  Not a str; kept as a frozenset."""

    def __post_init__(self) -> None:
        """Check every option and keep read-only copies of the mappings and sets.

        The options are checked by the native planner's own reader, which ``plan()`` reads
        them with: a policy is refused here with the words ``plan()`` would use."""
        unavailable = _as_dict(self.unavailable)
        if isinstance(unavailable, dict):
            unavailable = {name: _as_tuple(periods) for name, periods in unavailable.items()}
        object.__setattr__(self, "prior_covers", _as_dict(self.prior_covers))
        object.__setattr__(self, "unavailable", unavailable)
        object.__setattr__(self, "away_classes", _as_tuple(self.away_classes))
        object.__setattr__(self, "pinned", _as_tuple(self.pinned))
        object.__setattr__(self, "supply", _as_tuple(self.supply))
        _planner.check_policy(self)
        object.__setattr__(self, "prior_covers", MappingProxyType(self.prior_covers))
        object.__setattr__(self, "unavailable",
                           MappingProxyType({name: frozenset(periods) for name, periods in self.unavailable.items()}))
        object.__setattr__(self, "away_classes", frozenset(self.away_classes))
        object.__setattr__(self, "supply", frozenset(self.supply))

    def __hash__(self) -> int:
        return hash((self.max_covers, frozenset(self.prior_covers.items()), frozenset(self.unavailable.items()),
                     self.keep_doubles, self.combined_lessons, self.co_taught_no_cover, self.away_classes,
                     self.pinned, self.strategy, self.supply))

    def is_default(self) -> bool:
        """Whether every option is off: the greedy strategy and no supply teachers too."""
        return self == _DEFAULT


# Copies in the containers the native reader takes; anything else is left as given, for
# the reader to refuse by name.

def _as_dict(mapping: object) -> object:
    return dict(mapping) if isinstance(mapping, Mapping) else mapping


def _as_tuple(values: object) -> object:
    if isinstance(values, (str, bytes)) or not isinstance(values, Iterable):
        return values
    return tuple(values)


_DEFAULT = Policy()
