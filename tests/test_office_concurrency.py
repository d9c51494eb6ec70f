"""Two offices planning one date, and a run killed mid-plan: the ledger holds one whole plan."""
import datetime
import signal
import sqlite3
import subprocess
import sys
import textwrap
import time

import pytest
from office_support import MONDAY, covers, make_school

from lessoncover_planner.office.office import Office

DATE = datetime.date.fromisoformat(MONDAY)


@pytest.fixture
def school(tmp_path):
    folder = make_school(tmp_path / "school")
    with Office(folder) as office:
        office.record_absences(DATE, ["KMJ", "DEF"], "Sick")
    return folder


def start_plan(folder, *options):
    return subprocess.Popen([sys.executable, "-m", "lessoncover_planner", "plan", "--school", str(folder),
                             "--date", MONDAY, "--format", "csv", *options],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def test_a_plan_waits_for_another_writer_then_plans(school):
    holder = sqlite3.connect(school / "lessoncover.db", isolation_level=None)
    holder.execute("BEGIN IMMEDIATE")
    waiting = start_plan(school)
    try:
        time.sleep(1.5)
        assert waiting.poll() is None  # still waiting for the ledger
    finally:
        holder.execute("ROLLBACK")
        holder.close()
    out, err = waiting.communicate(timeout=60)
    assert waiting.returncode == 0, err
    assert len(covers(school, MONDAY)) == 7  # KMJ's four lessons and DEF's three on a Monday


def test_two_plans_of_one_date_at_once_leave_one_whole_plan(school):
    with Office(school) as office:
        alone = {(c.absent, c.period, c.class_name): c.substitute for c in office.plan(DATE, fresh=True).covers}
    runs = [start_plan(school, "--fresh") for _ in range(2)]
    for run in runs:
        _, err = run.communicate(timeout=60)
        assert run.returncode == 0, err
    recorded = covers(school, MONDAY)
    assert {lesson: substitute for lesson, (substitute, _) in recorded.items()} == alone
    with Office(school) as office:
        assert len(office.ledger.runs_on(DATE)) == 3
    checked = sqlite3.connect(school / "lessoncover.db")
    try:
        assert checked.execute("PRAGMA integrity_check").fetchall() == [("ok",)]
    finally:
        checked.close()


KILLED_MID_PLAN = textwrap.dedent("""
    import datetime, os, signal, sys
    from pathlib import Path
    from lessoncover_planner.office.ledger import Ledger
    from lessoncover_planner.office.office import Office

    original = Ledger.record_plan

    def record_then_die(self, *args, **kwargs):
        original(self, *args, **kwargs)   # written, not yet committed
        os.kill(os.getpid(), signal.SIGKILL)

    Ledger.record_plan = record_then_die
    with Office(Path(sys.argv[1])) as office:
        office.record_absences(datetime.date(2025, 3, 10), ["JKL"], "Sick")
        office.plan(datetime.date(2025, 3, 10))
""")


def test_a_run_killed_inside_the_plans_transaction_leaves_the_date_as_before(school):
    with Office(school) as office:
        office.plan(DATE)
        version = office.ledger.version(DATE)
        runs = len(office.ledger.runs_on(DATE))
    before = covers(school, MONDAY)
    killed = subprocess.run([sys.executable, "-c", KILLED_MID_PLAN, str(school)], capture_output=True, timeout=60)
    assert killed.returncode == -signal.SIGKILL
    with Office(school) as office:
        # The absence was recorded in a transaction of its own, before the plan began.
        assert [entry.name for entry in office.absences(DATE)] == ["KMJ", "DEF", "JKL"]
        assert office.ledger.version(DATE) == version + 1
        assert len(office.ledger.runs_on(DATE)) == runs
    assert covers(school, MONDAY) == before
