"""Plan cover for the absent teachers of a school day in one call.

``lessoncover_planner`` is the companion of ``lessoncover``: where a
``lessoncover`` script builds ``Teacher``, ``Class`` and ``School`` objects and
registers every lesson, :func:`plan` takes the day as plain data and returns a
:class:`CoverPlan`::

    from lessoncover_planner import plan

    day = plan(
        teachers=[("Asha", "Mathematics"), ("Ben", "maths"), ("Cleo", "French")],
        lessons=[("Asha", 1, "10A"), ("Cleo", 2, "10B"), ("Ben", 2, "10C")],
        absences={"Asha": "Course, off site", "Cleo": None},
    )
    print(day.report(timing=False))
    for cover in day.covers:
        print(cover.absent, cover.period, cover.substitute, cover.rule)
    for lesson in day.uncovered:
        print(lesson.absent, lesson.period, lesson.why)

The report is the one ``lessoncover`` writes.  Beside it the plan holds the
records: a :class:`Cover` for each covered lesson (with the rule that found the
substitute and why), an :class:`Uncovered` for each lesson nobody could take (with
how many teachers were present, teaching and covering in that period) and a
:class:`PlanSummary` of the plan's figures.

Subjects are matched without regard to case or surrounding white space against
the ``lessoncover`` spellings, the twenty display names in :data:`SUBJECTS` and
the aliases in :data:`SUBJECT_ALIASES`; any other text is a subject of its own.
"""


from .subjects import SUBJECT_ALIASES, SUBJECTS, resolve_subject

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from .cover_plan import CoverPlan
    from .planning import plan
    from .policy import Policy
    from .records import Cover, NotNeeded, PlanSummary, Uncovered

__all__ = ["plan", "Policy", "CoverPlan", "Cover", "Uncovered", "NotNeeded", "PlanSummary", "SUBJECTS",
           "SUBJECT_ALIASES", "resolve_subject"]

# The rest is imported when first asked for: the records and the policy are dataclasses, and
# the command that plans a day's files and prints its board needs neither, nor their import
# of dataclasses and inspect, which would be most of its start-up.
_LAZY = {"plan": ".planning", "Policy": ".policy", "CoverPlan": ".cover_plan", "Cover": ".records",
         "Uncovered": ".records", "NotNeeded": ".records", "PlanSummary": ".records"}


def __getattr__(name: str) -> object:
    try:
        module = _LAZY[name]
    except KeyError:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}") from None
    import importlib

    value = getattr(importlib.import_module(module, __name__), name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted(set(globals()) | set(__all__))
