"""The model's two ways into the rules agree with each other, without the extension module:
the module's API over the school's records (module_api), built in plan()'s order, writes
the report of the plain day (day.plan_default)."""
import pytest
from hypothesis import HealthCheck, given, settings

from benchmarks import workload
from planner_support import DAYS, lessoncover_report, read_day
from tests.model import module_api
from tests.model.day import plan_default
from tests.test_planner_equivalence import KNOWN, days


@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(days(KNOWN))
def test_random_days_give_one_report_through_either_way(day):
    assert lessoncover_report(*day, api=module_api) == plan_default(*day)[0]


@pytest.mark.parametrize("folder", DAYS, ids=[folder.name for folder in DAYS])
def test_real_timetables_give_one_report_through_either_way(folder):
    day = read_day(folder)
    report, covers, _ = plan_default(*day)
    assert lessoncover_report(*day, api=module_api) == report
    assert covers, "a real day should need some cover"


@pytest.mark.parametrize("size", ["S", "M"])
def test_benchmark_schools_give_one_report_through_either_way(size):
    school = workload.make_workload(workload.SIZES[size])
    pipeline = workload.run_pipeline_plan_order(module_api, school)
    assert pipeline.result.rsplit("\n", 1)[0] == plan_default(*workload.plan_inputs(school))[0]
