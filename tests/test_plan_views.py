"""What the command reads of a plan without making its records (cover_plan.planned_lessons,
covered_lessons, plan_counts) must be what the records say: the same lessons, values and
order, and the same counts, on every day and with policies that leave lessons uncovered or
needing no cover."""
import dataclasses

import pytest

from lessoncover_planner import PlanSummary, Policy, plan
from lessoncover_planner.cover_plan import SUMMARY_FIELDS, covered_lessons, plan_counts, planned_lessons
from planner_support import DAYS, read_day

LESSON_FIELDS = ("absent", "period", "subject", "class_name", "reason")


def policies(lessons, absences):
    """No policy; every cover capped away (all uncovered, the cap counted); a class of an
    absent teacher away and co-taught lessons needing none, with doubles and combined lessons
    kept."""
    away = next(class_name for name, _, class_name in lessons if name in absences)
    return [None, Policy(max_covers=0),
            Policy(away_classes=(away,), co_taught_no_cover=True, keep_doubles=True, combined_lessons=True,
                   max_covers=2)]


def lessons_of_records(result):
    """Every absent lesson as the records give it, in planned_lessons' order."""
    def of(status, record, substitute="", rule=""):
        return (status, *(getattr(record, name) for name in LESSON_FIELDS), substitute, rule, record.why)

    return ([of("covered", cover, cover.substitute, cover.rule) for cover in result.covers]
            + [of("uncovered", record) for record in result.uncovered]
            + [of("not needed", record) for record in result.not_needed])


def counts_of_records(result):
    covers = result.covers
    return {"absent_lessons": len(covers) + len(result.uncovered) + len(result.not_needed),
            "covered": len(covers), "uncovered": len(result.uncovered), "not_needed": len(result.not_needed),
            "substitutes": len({cover.substitute for cover in covers}), **dataclasses.asdict(result.summary)}


def test_the_summary_fields_are_the_records():
    assert SUMMARY_FIELDS == tuple(field.name for field in dataclasses.fields(PlanSummary))


@pytest.mark.parametrize("folder", DAYS, ids=[folder.name for folder in DAYS])
def test_plan_views_say_what_the_records_say(folder):
    teachers, lessons, absences = read_day(folder)
    statuses = set()
    for policy in policies(lessons, absences):
        result = plan(teachers, lessons, absences, policy=policy)
        planned = planned_lessons(result)
        assert [tuple(lesson) for lesson in planned] == lessons_of_records(result)
        assert covered_lessons(result) == [lesson for lesson in planned if lesson.status == "covered"]
        assert plan_counts(result) == counts_of_records(result)
        statuses |= {lesson.status for lesson in planned}
    assert statuses == {"covered", "uncovered", "not needed"}  # every kind of lesson was compared
