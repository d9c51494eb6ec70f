"""The records of a cover plan: one per covered lesson, one per lesson left without cover, one
per lesson that needs none, and the plan's figures."""

from __future__ import annotations

from dataclasses import dataclass, field

from . import _planner

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from ._planner import _CoverRule as CoverRule

__all__ = ["Cover", "Uncovered", "NotNeeded", "PlanSummary"]

@dataclass(frozen=True, slots=True)
class Cover:
    """A lesson of an absent teacher and the present teacher who covers it.

    ``absent`` is the absent teacher's name, ``period`` the period of the lesson,
    ``subject`` the absent teacher's subject as the report shows it ("Maths",
    "French"), ``substitute`` the name of the teacher who covers the lesson,
    ``class_name`` the class taught and ``reason`` why the teacher is absent.
    ``rule`` says how the substitute was found: ``"subject"`` for a free colleague
    of the absent teacher's subject, ``"any"`` for the first free present teacher
    when no colleague of the subject was free.  With a :class:`Policy`, also
    ``"double"`` for the substitute of the same class's lesson in the period before
    or after (``keep_doubles``), ``"combined"`` for the substitute of the absent
    teacher's first lesson in the same period (``combined_lessons``) and
    ``"pinned"`` for a substitute fixed in advance (``pinned``) and ``"supply"`` for
    a supply teacher (``supply``; under the greedy strategy, tried when no teacher
    of the school is free).  ``why`` says in a few words why this teacher, such as
    ``same subject, fewest lessons (3)``; it is left out of comparisons, so two
    plans that give the same lessons to the same teachers by the same rules are
    equal.
    """

    absent: str
    period: int
    subject: str
    substitute: str
    class_name: str
    reason: str
    rule: CoverRule
    why: str = field(default="", compare=False)


@dataclass(frozen=True, slots=True)
class Uncovered:
    """A lesson of an absent teacher that no present teacher was free to cover.

    ``absent``, ``period``, ``subject``, ``class_name`` and ``reason`` describe
    the lesson as in :class:`Cover`.  ``present_teachers`` counts the teachers
    present in that period; each of them is counted once, in the first group that
    fits: ``busy_covering`` cover another lesson then (a pinned substitute counts
    here whatever else it does then), ``busy_teaching`` teach a lesson of their own
    then, ``busy_unavailable`` may not cover then
    (``Policy.unavailable``) and ``at_cap`` have given ``Policy.max_covers``
    covers.  ``why`` puts these counts in a sentence, for example
    ``all 38 present teachers are busy in period 3: 31 teach, 7 cover``
    (``..., 2 unavailable, 1 at the cap`` when those are not 0); with one teacher
    present it reads ``the only present teacher is busy in period 3: teaches``
    (or ``covers``, ``is unavailable``, ``is at the cap``), with nobody present
    ``no teacher is present``.
    """

    absent: str
    period: int
    subject: str
    class_name: str
    reason: str
    present_teachers: int
    busy_teaching: int
    busy_covering: int
    busy_unavailable: int = 0
    at_cap: int = 0
    why: str = field(init=False, compare=False)

    def __post_init__(self) -> None:
        why = _planner.why_uncovered(self.period, self.present_teachers, self.busy_teaching, self.busy_covering,
                                     self.busy_unavailable, self.at_cap)
        object.__setattr__(self, "why", why)


@dataclass(frozen=True, slots=True)
class NotNeeded:
    """A lesson of an absent teacher that needs no cover under the plan's :class:`Policy`.

    ``absent``, ``period``, ``subject``, ``class_name`` and ``reason`` describe the
    lesson as in :class:`Cover`.  ``why`` says why no cover is needed:
    ``class 10A is away`` (``Policy.away_classes``) or, for a lesson taught
    together with a present colleague (``Policy.co_taught_no_cover``),
    ``Ben also teaches 10A in period 3``.
    """

    absent: str
    period: int
    subject: str
    class_name: str
    reason: str
    why: str


@dataclass(frozen=True, slots=True)
class PlanSummary:
    """The figures of a plan, which the best strategy optimises and every plan reports.

    A cover counts as ``Policy.max_covers`` counts it: the lessons of a combined set are
    one cover, and pinned covers are covers.  A teacher's load is their
    ``Policy.prior_covers`` plus their covers in this plan.

    ``covered``: the lessons covered, ``len(plan.covers)`` (each lesson of a combined
    set counted).  ``subject``: covers by a teacher who is not a supply teacher and
    whose subject is the absent teacher's (compared as the planner compares subjects).
    ``supply``: covers by supply teachers (``Policy.supply``).  ``doubles_kept``: pairs
    of an absent teacher's covered lessons in one class in periods p and p+1 with the
    same substitute, whether or not ``keep_doubles`` asked for them.  ``largest_load``:
    the largest load of a teacher given at least one cover in this plan, 0 when nobody
    covers.  ``sum_of_squares``: the sum of the squared loads of the present teachers
    (all but those absent all day; supply teachers included).  ``knows_class``: covers
    whose substitute teaches a lesson that day (in any period) in the cover's class, or
    for a combined set in any class of the set.
    """

    covered: int
    subject: int
    supply: int
    doubles_kept: int
    largest_load: int
    sum_of_squares: int
    knows_class: int
