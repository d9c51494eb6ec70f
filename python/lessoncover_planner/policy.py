"""Cover policies: what the office may say beyond who is absent. Every option is off by default."""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from dataclasses import dataclass, field
from types import MappingProxyType

__all__ = ["Policy"]

_NO_COUNTS: Mapping[str, int] = MappingProxyType({})
_NO_PERIODS: Mapping[str, frozenset[int]] = MappingProxyType({})
# With a teacher's lessons, prior covers must still fit the planner's 32-bit counts.
MOST_PRIOR_COVERS = 2**31 - 1


# The periods a lesson may have.
PERIOD_MIN, PERIOD_MAX = -32768, 32767


def _period(value: object, where: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{where}: a period must be an int, got {value!r}")
    if not PERIOD_MIN <= value <= PERIOD_MAX:
        raise ValueError(f"{where}: period {value!r} is outside {PERIOD_MIN}..{PERIOD_MAX}")
    return value


@dataclass(frozen=True)
class Policy:
    """Options of the cover planner, all off by default: ``plan(..., policy=Policy())``
    plans exactly as ``plan(...)``.

    Names in ``prior_covers`` and ``unavailable``, and classes in ``away_classes``,
    are checked against the day when it is planned: one that the day does not know
    raises ``ValueError`` there, which catches typos.  So are the lessons and
    substitutes of ``pinned``.
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

    def __post_init__(self) -> None:
        """Check every option and keep read-only copies of the mappings and sets."""
        cap = self.max_covers
        if cap is not None:
            if isinstance(cap, bool) or not isinstance(cap, int):
                raise TypeError(f"max_covers must be an int or None, got {cap!r}")
            if cap < 0:
                raise ValueError(f"max_covers must not be negative, got {cap!r}")
        prior: dict[str, int] = {}
        for name, count in _items(self.prior_covers, "prior_covers"):
            if isinstance(count, bool) or not isinstance(count, int):
                raise TypeError(f"prior_covers[{name!r}]: a count must be an int, got {count!r}")
            if count < 0:
                raise ValueError(f"prior_covers[{name!r}]: a count must not be negative, got {count!r}")
            if count > MOST_PRIOR_COVERS:
                raise ValueError(f"prior_covers[{name!r}]: count {count!r} is more than {MOST_PRIOR_COVERS}")
            prior[name] = count
        unavailable: dict[str, frozenset[int]] = {}
        for name, periods in _items(self.unavailable, "unavailable"):
            if isinstance(periods, (str, bytes)) or not isinstance(periods, Iterable):
                raise TypeError(f"unavailable[{name!r}]: expected an iterable of periods, got {periods!r}")
            unavailable[name] = frozenset(_period(p, f"unavailable[{name!r}]") for p in periods)
        if isinstance(self.away_classes, (str, bytes)):
            raise TypeError("away_classes must be an iterable of class names, not a str")
        away = frozenset(self.away_classes)
        for name in away:
            if not isinstance(name, str):
                raise TypeError(f"away_classes: a class name must be a str, got {name!r}")
        for flag in ("keep_doubles", "combined_lessons", "co_taught_no_cover"):
            if not isinstance(getattr(self, flag), bool):
                raise TypeError(f"{flag} must be a bool, got {getattr(self, flag)!r}")
        object.__setattr__(self, "prior_covers", MappingProxyType(prior))
        object.__setattr__(self, "unavailable", MappingProxyType(unavailable))
        object.__setattr__(self, "away_classes", away)
        object.__setattr__(self, "pinned", _pins(self.pinned))

    def __hash__(self) -> int:
        return hash((self.max_covers, frozenset(self.prior_covers.items()), frozenset(self.unavailable.items()),
                     self.keep_doubles, self.combined_lessons, self.co_taught_no_cover, self.away_classes,
                     self.pinned))

    def is_default(self) -> bool:
        """Whether every option is off."""
        return self == _DEFAULT

    def native_options(self) -> tuple[object, ...] | None:
        """The options as the native planner takes them; None when every option is off."""
        if self.is_default():
            return None
        return (
            self.max_covers,
            dict(self.prior_covers),
            {name: tuple(sorted(periods)) for name, periods in self.unavailable.items()},
            self.keep_doubles,
            self.combined_lessons,
            self.co_taught_no_cover,
            tuple(sorted(self.away_classes)),
            self.pinned,
        )


def _pins(pinned: object) -> tuple[tuple[str, int, str, str], ...]:
    if isinstance(pinned, (str, bytes)) or not isinstance(pinned, Iterable):
        raise TypeError(f"pinned must be an iterable of (absent, period, class_name, substitute) tuples, "
                        f"got {pinned!r}")
    pins = []
    for index, pin in enumerate(pinned):
        if not isinstance(pin, tuple) or len(pin) != 4:
            raise TypeError(f"pinned[{index}]: expected an (absent, period, class_name, substitute) tuple, "
                            f"got {pin!r}")
        absent, period, class_name, substitute = pin
        for what, name in (("absent", absent), ("class_name", class_name), ("substitute", substitute)):
            if not isinstance(name, str):
                raise TypeError(f"pinned[{index}] {pin!r}: {what} must be a str, got {name!r}")
        _period(period, f"pinned[{index}] {pin!r}")
        pins.append(pin)
    return tuple(pins)


def _items(mapping: object, name: str) -> Iterable[tuple[str, object]]:
    if not isinstance(mapping, Mapping):
        raise TypeError(f"{name} must be a mapping of teacher name to value, not {type(mapping).__name__}")
    for key, value in mapping.items():
        if not isinstance(key, str):
            raise TypeError(f"{name}: a teacher name must be a str, got {key!r}")
        yield key, value


_DEFAULT = Policy()
