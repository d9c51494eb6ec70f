"""CoverPlan's surface: the report with and without timing, lazy records, repr and help, the
README's example, the installed files and the types (mypy --strict, stubtest)."""
import pydoc
import re
import subprocess
import sys
from pathlib import Path

import pytest

import lessoncover_planner
from lessoncover_planner import Cover, CoverPlan, Uncovered, plan, records
from planner_support import ROOT, SAMPLE, read_day

TIMING = re.compile(r'"Time taken to generate subs: ([0-9]+(?:\.[0-9]+)?)(s|ms|µs|ns)"')
UNITS = {"s": 1, "ms": 1e-3, "µs": 1e-6, "ns": 1e-9}
SOURCE = ROOT / "python" / "lessoncover_planner"
SAMPLE_DAY = read_day(SAMPLE)
TYPED_SCRIPT = '''
from lessoncover_planner import Cover, CoverPlan, Uncovered, plan

day: CoverPlan = plan([("Asha", "maths"), ("Ben", "French")], [("Asha", 1, "10A")], {"Asha": None})
first: Cover = day.covers[0]
rule: str = first.rule
counts: list[int] = [u.present_teachers + u.busy_teaching + u.busy_covering for u in day.uncovered]
reasons: list[str] = [u.why for u in day.uncovered]
text: str = day.report(timing=False) + str(day.elapsed)
'''


def test_report_with_and_without_timing():
    day = plan(*SAMPLE_DAY)
    head, timing = day.report().rsplit("\n", 1)
    assert head == day.report(timing=False) and not head.endswith("\n")
    number, unit = TIMING.fullmatch(timing).groups()
    assert float(number) * UNITS[unit] == pytest.approx(day.elapsed, rel=1e-6, abs=1e-9)
    assert plan(*SAMPLE_DAY).report(timing=False) == head


def test_records_are_made_once_and_only_when_asked_for(monkeypatch):
    made = []
    monkeypatch.setattr(records, "Cover", lambda *row: made.append(row) or Cover(*row))
    monkeypatch.setattr(records, "Uncovered", lambda *row: made.append(row) or Uncovered(*row))
    day = plan(*SAMPLE_DAY)
    day.report(), day.report(timing=False), repr(day)
    assert made == []
    covers = day.covers
    assert len(made) == len(covers) > 0 and day.covers is covers
    assert day.uncovered is day.uncovered == ()


def test_repr_gives_counts_not_the_report():
    shown = repr(plan(*SAMPLE_DAY))
    assert re.fullmatch(r"CoverPlan\(covers=19, uncovered=0, elapsed=[0-9.e+-]+\)", shown), shown


def test_help_documents_the_package():
    text = pydoc.render_doc(lessoncover_planner, renderer=pydoc.plaintext)
    for words in ["Plan cover for the absent teachers", "plan(teachers",
                  "first appear", "class CoverPlan", "class Cover", "class Uncovered", "no teacher is present",
                  "class Policy", "class NotNeeded", "max_covers", "(reason, periods)",
                  "SUBJECT_ALIASES", "resolve_subject(text", "class PlanSummary", "sum_of_squares", "strategy"]:
        assert words in text, words
    assert set(lessoncover_planner.__all__) == {
        "plan", "Policy", "CoverPlan", "Cover", "Uncovered", "NotNeeded", "PlanSummary", "SUBJECTS",
        "SUBJECT_ALIASES", "resolve_subject"}


@pytest.mark.parametrize("heading", ["## Planning with `lessoncover_planner`", "### Policies"])
def test_readme_example_prints_what_the_readme_shows(heading):
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    section = readme[readme.index(heading):]
    code, shown = re.findall(r"^```\w*\n(.*?)^```$", section, re.M | re.S)[:2]
    ran = subprocess.run([sys.executable, "-c", code], capture_output=True, encoding="utf-8", cwd=ROOT)
    assert ran.returncode == 0, ran.stderr
    assert TIMING.sub("TIME", ran.stdout) == TIMING.sub("TIME", shown)


def test_installed_package_is_this_source_and_typed():
    installed = Path(lessoncover_planner.__file__).parent
    for source in SOURCE.iterdir():
        if source.is_file():
            assert (installed / source.name).read_bytes() == source.read_bytes(), source.name
    assert (installed / "py.typed").is_file()
    assert [p for p in installed.glob("_planner.*") if p.suffix in (".so", ".pyd")]


@pytest.mark.parametrize("command", [["mypy", "--strict", "example.py"], ["mypy.stubtest", "lessoncover_planner"]],
                         ids=["mypy-strict-example", "stubtest"])
def test_mypy(command, tmp_path):
    (tmp_path / "example.py").write_text(TYPED_SCRIPT, encoding="utf-8")
    shown = subprocess.run([sys.executable, "-m", *command], capture_output=True, text=True, cwd=tmp_path)
    assert shown.returncode == 0, shown.stdout + shown.stderr


def test_cover_plan_is_read_only():
    day = plan(*SAMPLE_DAY)
    assert isinstance(day, CoverPlan)
    for name, value in [("elapsed", 0.0), ("covers", ()), ("extra", 1)]:
        with pytest.raises(AttributeError):
            setattr(day, name, value)
