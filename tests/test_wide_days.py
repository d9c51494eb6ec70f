"""The wide days of benchmarks/wide_workload.py: what bench.py --periods relies on them to be,
and plan() on them against lessoncover's object pipeline and the plain model of the rules.

These days put absent lessons in far more than 64 distinct periods with every teacher busy
in most of them, so that cover runs short: small ones here check the answers, the
benchmark times large ones.
"""
from collections import Counter

import pytest

from benchmarks import wide_workload
from benchmarks.workload import plan_inputs
from lessoncover_planner import plan
from planner_support import lessoncover_report
from tests.model.day import plan_default as model_plan


def lessons_of(day):
    return [(teacher, period, day.class_names[k]) for k in range(len(day.class_names))
            for teacher, period in day.lessons(k)]


@pytest.mark.parametrize("size, periods", [(60, 80), (200, 200)])
def test_a_wide_day_is_a_timetable_spread_over_every_period(size, periods):
    day = wide_workload.make_wide_workload(size, periods, seed=7)
    rows = lessons_of(day)
    assert len(rows) == day.lesson_count
    assert {period for _, period, _ in rows} == set(range(1, periods + 1))
    # Nobody teaches two classes at once, and no class has two teachers at once.
    assert max(Counter((t, p) for t, p, _ in rows).values()) == 1
    assert max(Counter((c, p) for _, p, c in rows).values()) == 1
    # Busy: every teacher teaches in most periods, and a tenth of them are free in each.
    loads = Counter(t for t, _, _ in rows)
    assert len(loads) == size and min(loads.values()) >= periods // 2
    assert all(count == size - size // 10 for count in Counter(p for _, p, _ in rows).values())
    absent = {k for k, data in enumerate(day.teachers) if not data.present}
    assert len({p for t, p, _ in rows if t in absent}) == periods


def test_a_wide_day_is_the_same_for_the_same_seed():
    first, again, other = (wide_workload.make_wide_workload(50, 70, seed) for seed in (3, 3, 4))
    assert lessons_of(first) == lessons_of(again) and first.teachers == again.teachers
    assert lessons_of(first) != lessons_of(other)


def test_a_wide_day_takes_no_period_offset():
    with pytest.raises(ValueError):
        wide_workload.chosen_workload("S", 2024, period_offset=100, periods=80)


@pytest.mark.parametrize("size, periods", [(40, 70), (60, 80), (45, 200)])
def test_plan_on_a_wide_day_agrees_with_lessoncover_and_the_model(size, periods):
    teachers, lessons, absences = plan_inputs(wide_workload.make_wide_workload(size, periods, seed=11))
    report = plan(teachers, lessons, absences).report(timing=False)
    assert report == lessoncover_report(teachers, lessons, absences)
    assert report == model_plan(teachers, lessons, absences)[0]
    assert report.count("\n") > periods  # an absent lesson in every period, at least
