"""The ledger: absences, covers and runs by date in SQLite; every write bumps its date's version,
a plan recorded again replaces the last, and a failed, interrupted, concurrent or killed write
leaves the date whole."""
import json
import os
import re
import signal
import sqlite3
import stat
import subprocess
import sys
from datetime import date

import pytest

from lessoncover_planner.cli.errors import UsageError, WriteError
from lessoncover_planner.office import ledger as ledger_module
from lessoncover_planner.office.ledger import (MIGRATIONS, SCHEMA_VERSION, AbsenceEntry, CoverEntry, Ledger,
                                               OpenLesson, PlanRun)

MON, TUE, WED = date(2025, 3, 10), date(2025, 3, 11), date(2025, 3, 12)
SICK, COURSE = AbsenceEntry("Asha", "Sick", ""), AbsenceEntry("Ben", None, "2-3")


def cover(period, substitute="Cleo", rule="subject", absent="Asha", class_name="7A", how="planned"):
    return CoverEntry(absent, period, class_name, substitute, how, rule)


def run_of(covered, at="2025-03-10T07:00:00+00:00", **options):
    return PlanRun(at, json.dumps(options), covered, 0, 0, 0, 0)


def record(ledger, day, covers, uncovered=(), not_needed=(), **options):
    ledger.record_plan(day, covers, list(uncovered), list(not_needed), run_of(len(covers), **options))


def state(ledger, day):
    """Everything the ledger holds for day."""
    return (ledger.absences_on(day), ledger.covers_on(day), ledger.open_lessons_on(day), ledger.runs_on(day),
            ledger.version(day))


def user_version(path):
    connection = sqlite3.connect(path)
    try:
        return connection.execute("PRAGMA user_version").fetchone()[0]
    finally:
        connection.close()


@pytest.fixture
def path(tmp_path):
    return tmp_path / "lessoncover.db"


@pytest.fixture
def ledger(path):
    with Ledger.open(path) as opened:
        yield opened


# --- absences ------------------------------------------------------------------------------

def test_an_absence_set_again_is_replaced_in_its_place(ledger):
    ledger.set_absence(MON, SICK)
    ledger.set_absence(MON, COURSE)
    ledger.set_absence(MON, AbsenceEntry("Asha", None, "1"))
    assert ledger.absences_on(MON) == [AbsenceEntry("Asha", None, "1"), COURSE]
    assert ledger.absences_on(TUE) == []


@pytest.mark.parametrize("entries", [[], [COURSE], [COURSE, AbsenceEntry("Dev", "Trip", "")]])
def test_replacing_the_absences_leaves_exactly_the_new_ones_in_their_order(ledger, entries):
    ledger.set_absence(MON, SICK)
    ledger.set_absence(TUE, SICK)
    ledger.replace_absences(MON, entries)
    assert ledger.absences_on(MON) == entries
    assert ledger.absences_on(TUE) == [SICK]


def test_a_name_absent_twice_in_a_replacement_changes_nothing(ledger):
    ledger.set_absence(MON, SICK)
    with pytest.raises(ValueError, match="'Ben' is absent twice on 2025-03-10"):
        ledger.replace_absences(MON, [COURSE, AbsenceEntry("Ben", "Sick", "")])
    assert (ledger.absences_on(MON), ledger.version(MON)) == ([SICK], 1)


@pytest.mark.parametrize("name, removed, left", [("Asha", True, [COURSE]), ("Dev", False, [SICK, COURSE])])
def test_clearing_an_absence(ledger, name, removed, left):
    ledger.replace_absences(MON, [SICK, COURSE])
    assert ledger.clear_absence(MON, name) is removed
    assert ledger.absences_on(MON) == left


# --- plans and covers ----------------------------------------------------------------------

def test_a_plan_recorded_again_replaces_the_last_and_logs_both_runs(ledger):
    first = [cover(1), cover(2), cover(3, rule="combined")]
    second = [cover(1, "Dev"), cover(2)]
    not_needed = [OpenLesson("Asha", 4, "7A", "class away")]
    uncovered = [OpenLesson("Asha", 3, "7A", "nobody free")]
    record(ledger, MON, first, not_needed=not_needed, max_covers=2)
    record(ledger, MON, first, not_needed=not_needed, max_covers=2)
    assert ledger.covers_on(MON) == first
    assert ledger.open_lessons_on(MON) == ([], not_needed)
    record(ledger, MON, second, uncovered=uncovered)
    assert ledger.covers_on(MON) == second
    assert ledger.open_lessons_on(MON) == (uncovered, [])
    assert [(run.covered, json.loads(run.options)) for run in ledger.runs_on(MON)] == [
        (3, {"max_covers": 2}), (3, {"max_covers": 2}), (2, {})]


def test_a_plan_of_one_date_leaves_the_others(ledger):
    record(ledger, MON, [cover(1)])
    record(ledger, TUE, [cover(2, "Dev")])
    record(ledger, MON, [])
    assert (ledger.covers_on(MON), ledger.covers_on(TUE)) == ([], [cover(2, "Dev")])
    assert (len(ledger.runs_on(MON)), len(ledger.runs_on(TUE))) == (2, 1)


def test_a_cover_set_by_hand_replaces_that_lessons_cover_and_closes_it(ledger):
    record(ledger, MON, [cover(1), cover(2)], uncovered=[OpenLesson("Asha", 3, "7A", "nobody free")])
    ledger.set_cover(MON, cover(1, "Dev", rule="", how="manual"))
    ledger.set_cover(MON, cover(3, "Eve", rule="", how="forced"))
    assert ledger.covers_on(MON) == [cover(1, "Dev", rule="", how="manual"), cover(2),
                                     cover(3, "Eve", rule="", how="forced")]
    assert ledger.open_lessons_on(MON) == ([], [])


@pytest.mark.parametrize("lesson, removed", [(("Asha", 2, "7A"), True), (("Asha", 2, "7B"), False),
                                             (("Ben", 2, "7A"), False), (("Asha", 5, "7A"), False)])
def test_removing_a_cover(ledger, lesson, removed):
    record(ledger, MON, [cover(1), cover(2)])
    assert ledger.remove_cover(MON, *lesson) is removed
    assert ledger.covers_on(MON) == ([cover(1)] if removed else [cover(1), cover(2)])


@pytest.mark.parametrize("bad", [
    pytest.param(lambda l: record(l, MON, [cover(1), cover(1, "Dev")]), id="one lesson covered twice"),
    pytest.param(lambda l: record(l, MON, [cover(1, how="guessed")]), id="an unknown how"),
    pytest.param(lambda l: record(l, MON, [cover("first")]), id="a period as text"),
    pytest.param(lambda l: l.record_plan(MON, [cover(1)], [], [], PlanRun("now", "{", 1, 0, 0, 0, 0)),
                 id="options not JSON"),
])
def test_a_plan_the_ledger_refuses_leaves_the_date_as_it_was(ledger, bad):
    ledger.set_absence(MON, SICK)
    record(ledger, MON, [cover(1), cover(2)])
    before = state(ledger, MON)
    with pytest.raises((sqlite3.IntegrityError, ValueError)):
        bad(ledger)
    assert state(ledger, MON) == before


# --- versions ------------------------------------------------------------------------------

WRITES = {
    "set_absence": lambda l: l.set_absence(MON, COURSE),
    "replace_absences": lambda l: l.replace_absences(MON, [COURSE]),
    "replace_absences with none": lambda l: l.replace_absences(MON, []),
    "clear_absence": lambda l: l.clear_absence(MON, "Asha"),
    "record_plan": lambda l: record(l, MON, [cover(1)]),
    "record_plan of nothing": lambda l: record(l, MON, []),
    "set_cover": lambda l: l.set_cover(MON, cover(3, "Dev", how="manual", rule="")),
    "remove_cover": lambda l: l.remove_cover(MON, "Asha", 1, "7A"),
}


@pytest.mark.parametrize("write", WRITES.values(), ids=WRITES.keys())
def test_every_write_bumps_its_dates_version_once(ledger, write):
    assert ledger.version(MON) == 0
    ledger.set_absence(MON, SICK)
    record(ledger, MON, [cover(1)])
    ledger.set_absence(TUE, SICK)
    assert (ledger.version(MON), ledger.version(TUE)) == (2, 1)
    write(ledger)
    assert (ledger.version(MON), ledger.version(TUE), ledger.version(WED)) == (3, 1, 0)


@pytest.mark.parametrize("no_op", [lambda l: l.clear_absence(MON, "Dev"), lambda l: l.remove_cover(MON, "Asha", 9, "7A"),
                                   lambda l: l.clear_absence(WED, "Asha")], ids=["absence", "cover", "new date"])
def test_a_write_that_changes_nothing_keeps_the_version(ledger, no_op):
    ledger.set_absence(MON, SICK)
    no_op(ledger)
    assert (ledger.version(MON), ledger.version(WED)) == (1, 0)


def test_writes_in_one_transaction_bump_once_each(ledger):
    with ledger.transaction():
        ledger.set_absence(MON, SICK)
        record(ledger, MON, [cover(1)])
        ledger.set_cover(TUE, cover(2))
    assert (ledger.version(MON), ledger.version(TUE)) == (2, 1)


# --- covers by teacher ---------------------------------------------------------------------

@pytest.fixture
def term(ledger):
    record(ledger, MON, [cover(1), cover(2, "Dev"), cover(3, "Dev", rule="combined", class_name="7B")])
    record(ledger, TUE, [cover(1, "Dev"), cover(2, "Eve", rule="combined")])
    record(ledger, WED, [cover(1, "Cleo", how="kept", rule="double"), cover(2, "Cleo", how="manual", rule="")])
    return ledger


@pytest.mark.parametrize("first, last, expected", [
    (None, None, {"Cleo": 3, "Dev": 2}),
    (MON, MON, {"Cleo": 1, "Dev": 1}),
    (TUE, TUE, {"Dev": 1}),  # Eve's only cover is part of a combined set: nothing counted
    (TUE, None, {"Cleo": 2, "Dev": 1}),
    (None, TUE, {"Cleo": 1, "Dev": 2}),
    (MON, WED, {"Cleo": 3, "Dev": 2}),
    (date(2025, 3, 13), None, {}),
    (WED, MON, {}),
])
def test_covers_by_teacher_over_an_inclusive_range(term, first, last, expected):
    assert term.covers_by_teacher(first, last) == expected


def test_a_datetime_is_not_taken_for_a_date(ledger):
    from datetime import datetime

    with pytest.raises(TypeError):
        ledger.version(datetime(2025, 3, 10, 9))
    with pytest.raises(TypeError):
        ledger.set_absence("2025-03-10", SICK)


# --- transactions --------------------------------------------------------------------------

def _raise_value_error():
    raise ValueError("planning failed")


def _interrupt():
    raise KeyboardInterrupt


def _sigint():
    # Python's own handler raises KeyboardInterrupt here; set it, for a process started with
    # SIGINT ignored (a background job of a shell) runs without it
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        signal.raise_signal(signal.SIGINT)
    finally:
        signal.signal(signal.SIGINT, previous)


@pytest.mark.parametrize("fail, error", [(_raise_value_error, ValueError), (_interrupt, KeyboardInterrupt),
                                         (_sigint, KeyboardInterrupt)], ids=["error", "interrupt", "SIGINT"])
def test_a_transaction_that_fails_leaves_every_date_as_it_was(ledger, fail, error):
    ledger.set_absence(MON, SICK)
    record(ledger, MON, [cover(1), cover(2)])
    before = state(ledger, MON), state(ledger, TUE)
    with pytest.raises(error):
        with ledger.transaction():
            ledger.replace_absences(MON, [COURSE])
            record(ledger, MON, [cover(1, "Dev")])
            ledger.set_cover(MON, cover(5, "Eve"))
            ledger.set_absence(TUE, COURSE)
            fail()
    assert (state(ledger, MON), state(ledger, TUE)) == before
    ledger.set_absence(MON, COURSE)  # and the ledger goes on
    assert ledger.version(MON) == before[0][-1] + 1


def test_a_failed_write_inside_a_transaction_undoes_only_itself(ledger):
    with ledger.transaction():
        ledger.set_absence(MON, SICK)
        with pytest.raises(sqlite3.IntegrityError):
            record(ledger, MON, [cover(1), cover(1, "Dev")])
        ledger.set_absence(MON, COURSE)
    assert (ledger.absences_on(MON), ledger.covers_on(MON), ledger.runs_on(MON)) == ([SICK, COURSE], [], [])
    assert ledger.version(MON) == 2


# --- opening: migrations, newer ledgers, files that are not ledgers --------------------------

def test_a_first_version_ledger_is_migrated_with_its_data(path):
    connection = sqlite3.connect(path, isolation_level=None)
    for statement in MIGRATIONS[0]:
        connection.execute(statement)
    connection.execute("PRAGMA user_version = 1")
    connection.execute("INSERT INTO days (day) VALUES ('2025-03-10')")
    connection.execute("INSERT INTO absences VALUES ('2025-03-10', 'Ben', NULL, '2-3', 0)")
    connection.execute("INSERT INTO absences VALUES ('2025-03-10', 'Asha', 'Sick', '', 1)")
    connection.execute("INSERT INTO covers (day, absent, period, class_name, substitute, how, rule) "
                       "VALUES ('2025-03-10', 'Asha', 1, '7A', 'Cleo', 'planned', 'subject')")
    connection.execute("INSERT INTO open_lessons (day, needed, absent, period, class_name, why) "
                       "VALUES ('2025-03-10', 1, 'Ben', 2, '9B', 'nobody free')")
    connection.close()
    with Ledger.open(path) as ledger:
        assert ledger.absences_on(MON) == [COURSE, SICK]
        assert ledger.covers_on(MON) == [cover(1)]
        assert ledger.open_lessons_on(MON) == ([OpenLesson("Ben", 2, "9B", "nobody free")], [])
        assert (ledger.version(MON), ledger.runs_on(MON), ledger.covers_by_teacher(None, None)) == (1, [], {"Cleo": 1})
        record(ledger, MON, [cover(1, "Dev")])
        assert (ledger.version(MON), len(ledger.runs_on(MON))) == (2, 1)
    assert user_version(path) == SCHEMA_VERSION == 4


def test_a_second_version_ledger_gains_the_covers_why(path):
    connection = sqlite3.connect(path, isolation_level=None)
    for statement in (*MIGRATIONS[0], *MIGRATIONS[1]):
        connection.execute(statement)
    connection.execute("PRAGMA user_version = 2")
    connection.execute("INSERT INTO days (day, version) VALUES ('2025-03-10', 1)")
    connection.execute("INSERT INTO covers (day, absent, period, class_name, substitute, how, rule) "
                       "VALUES ('2025-03-10', 'Asha', 1, '7A', 'Cleo', 'planned', 'subject')")
    connection.close()
    why = "same subject, fewest lessons (2)"
    with Ledger.open(path) as ledger:
        assert ledger.covers_on(MON) == [cover(1)] and ledger.covers_on(MON)[0].why == ""
        ledger.set_cover(MON, CoverEntry("Asha", 2, "7A", "Dev", "planned", "any", why))
        assert [entry.why for entry in ledger.covers_on(MON)] == ["", why]
        ledger.set_cover(MON, CoverEntry("Asha", 2, "7A", "Dev", "manual", ""))  # replaced whole, why too
        assert [entry.why for entry in ledger.covers_on(MON)] == ["", ""]
        record(ledger, MON, [CoverEntry("Asha", 1, "7A", "Cleo", "planned", "subject", why)])
    with Ledger.open(path, create=False) as ledger:
        assert [(entry.substitute, entry.why) for entry in ledger.covers_on(MON)] == [("Cleo", why)]
    assert user_version(path) == SCHEMA_VERSION


def test_a_ledger_reopened_keeps_everything(path):
    with Ledger.open(path) as ledger:
        ledger.set_absence(MON, SICK)
        record(ledger, MON, [cover(1)], not_needed=[OpenLesson("Asha", 2, "7A", "class away")])
        before = state(ledger, MON)
    with Ledger.open(path, create=False) as ledger:
        assert state(ledger, MON) == before
    assert user_version(path) == SCHEMA_VERSION


def test_a_ledger_of_a_newer_program_is_refused_unchanged(path):
    Ledger.open(path).close()
    connection = sqlite3.connect(path)
    connection.execute(f"PRAGMA user_version = {SCHEMA_VERSION + 1}")
    connection.close()
    before = path.read_bytes()
    with pytest.raises(UsageError, match=f"{path} was written by a newer lessoncover .ledger version {SCHEMA_VERSION + 1}, "
                       f"this one knows up to {SCHEMA_VERSION}"):
        Ledger.open(path)
    assert path.read_bytes() == before


def _another_programs_database(path):
    connection = sqlite3.connect(path)
    connection.execute("CREATE TABLE photos (id INTEGER)")
    connection.close()


def _another_programs_versioned_database(path):
    connection = sqlite3.connect(path)
    connection.execute("CREATE TABLE photos (id INTEGER)")
    connection.execute("PRAGMA user_version = 1")
    connection.close()


@pytest.mark.parametrize("make, problem", [
    (lambda p: p.write_text("name,subject\nAsha,maths\n", encoding="utf-8"), "not a lessoncover ledger"),
    (lambda p: p.write_bytes(bytes(range(256)) * 64), "not a lessoncover ledger"),
    (_another_programs_database, "an SQLite database of another program"),
    (_another_programs_versioned_database, "an SQLite database of another program"),
], ids=["csv", "binary", "sqlite", "sqlite with a version"])
def test_a_file_that_is_not_a_ledger_is_refused_unchanged(path, make, problem):
    make(path)
    before = path.read_bytes()
    with pytest.raises(UsageError, match=problem) as refused:
        Ledger.open(path)
    assert str(path) in str(refused.value) and path.read_bytes() == before


def test_a_missing_ledger_is_not_created_unless_asked(path):
    with pytest.raises(UsageError, match="not a school folder; run lessoncover init"):
        Ledger.open(path, create=False)
    assert not path.exists()


def test_a_ledger_that_cannot_be_made_is_a_write_error(tmp_path):
    path = tmp_path / "no such folder" / "lessoncover.db"
    with pytest.raises(WriteError, match=f"cannot write {re.escape(str(path))}: No such file or directory"):
        Ledger.open(path)


@pytest.mark.parametrize("umask, mode", [(0o077, 0o600), (0o022, 0o644), (0o002, 0o664)])
def test_a_new_ledger_and_its_companions_get_the_umasks_mode(path, umask, mode):
    old = os.umask(umask)
    try:
        with Ledger.open(path) as ledger:
            ledger.set_absence(MON, SICK)
            companions = [path.with_name(path.name + suffix) for suffix in ("-wal", "-shm")]
            assert [oct(stat.S_IMODE(os.stat(file).st_mode)) for file in [path, *companions]] == [oct(mode)] * 3
    finally:
        os.umask(old)


@pytest.mark.parametrize("suffix", ["", "-wal", "-shm", "-journal"])
@pytest.mark.parametrize("dangling", [False, True], ids=["link", "dangling link"])
def test_a_link_at_the_ledger_or_beside_it_is_refused(tmp_path, path, suffix, dangling):
    if suffix:
        Ledger.open(path).close()
    secret = tmp_path / "secret"
    if not dangling:
        secret.write_bytes(b"keep me\n")
    link = path.with_name(path.name + suffix)
    link.symlink_to(secret)
    with pytest.raises(UsageError, match="is a symbolic link") as refused:
        Ledger.open(path)
    assert str(link) in str(refused.value)
    assert secret.read_bytes() == b"keep me\n" if not dangling else not secret.exists()


@pytest.mark.parametrize("suffix", ["", "-wal", "-shm"])
@pytest.mark.parametrize("make", [os.mkdir, os.mkfifo], ids=["folder", "fifo"])
def test_something_else_than_a_file_at_the_ledger_or_beside_it_is_refused(path, suffix, make):
    make(path.with_name(path.name + suffix))
    with pytest.raises(UsageError, match="is not a regular file") as refused:
        Ledger.open(path)
    assert str(path.with_name(path.name + suffix)) in str(refused.value)


# --- other processes -----------------------------------------------------------------------

CHILD = r"""
import sys, time
from datetime import date
from pathlib import Path
from lessoncover_planner.office.ledger import CoverEntry, Ledger, PlanRun

path, substitute, mode = sys.argv[1:]
day = date(2025, 3, 10)
covers = [CoverEntry("Asha", period, "7A", substitute, "planned", "subject") for period in range(1, 7)]
with Ledger.open(Path(path)) as ledger:
    print("trying", flush=True)
    with ledger.transaction():
        # A planning run reads the date before it writes: the lock must be taken at BEGIN, since
        # a snapshot read before another process's commit could not be written from.
        seen = ledger.version(day)
        ledger.record_plan(day, covers[:3], [], [], PlanRun("now", f'{{"seen": {seen}}}', 6, 0, 0, 0, 0))
        if mode == "hold":  # half the covers written: wait for a line (or a kill)
            print("holding", flush=True)
            sys.stdin.readline()
        for cover in covers[3:]:
            ledger.set_cover(day, cover)
    print("done", flush=True)
"""


def child(path, substitute, mode):
    return subprocess.Popen([sys.executable, "-c", CHILD, str(path), substitute, mode], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def finish(process, line=""):
    stdout, stderr = process.communicate(line, timeout=60)
    assert process.returncode == 0, stderr
    return stdout


def test_a_second_process_writing_the_date_waits_and_the_plan_stays_whole(ledger, path):
    record(ledger, MON, [cover(1, "Zoe")])
    holder = child(path, "Dev", "hold")
    try:
        assert holder.stdout.readline() == "trying\n" and holder.stdout.readline() == "holding\n"
        waiter = child(path, "Eve", "write")
        try:
            assert waiter.stdout.readline() == "trying\n"
            with pytest.raises(subprocess.TimeoutExpired):
                waiter.wait(timeout=1.0)  # it cannot begin while the holder's transaction is open
            assert ledger.covers_on(MON) == [cover(1, "Zoe")]  # nor does a reader see half a plan
        finally:
            assert finish(holder, "go on\n").endswith("done\n")
            assert finish(waiter) == "done\n"
    finally:
        holder.kill()
    assert ledger.covers_on(MON) == [cover(period, "Eve") for period in range(1, 7)]
    assert (ledger.version(MON), [json.loads(run.options) for run in ledger.runs_on(MON)]) == (
        1 + 4 + 4, [{}, {"seen": 1}, {"seen": 5}])


def test_a_write_locked_out_past_the_timeout_is_a_write_error(path, monkeypatch):
    Ledger.open(path).close()
    holder = child(path, "Dev", "hold")
    try:
        assert holder.stdout.readline() == "trying\n" and holder.stdout.readline() == "holding\n"
        monkeypatch.setattr(ledger_module, "BUSY_TIMEOUT_MS", 200)
        with Ledger.open(path) as ledger:
            with pytest.raises(WriteError, match=f"cannot write {path}: database is locked"):
                ledger.set_absence(MON, SICK)
    finally:
        finish(holder, "go on\n")
    with Ledger.open(path) as ledger:
        assert ledger.absences_on(MON) == [] and len(ledger.covers_on(MON)) == 6


def test_a_process_killed_inside_a_transaction_leaves_the_date_as_before(ledger, path):
    ledger.set_absence(MON, SICK)
    record(ledger, MON, [cover(1, "Zoe"), cover(2, "Zoe")])
    before = state(ledger, MON)
    ledger.close()
    holder = child(path, "Dev", "hold")
    try:
        assert holder.stdout.readline() == "trying\n" and holder.stdout.readline() == "holding\n"
    finally:
        holder.send_signal(signal.SIGKILL)
        holder.communicate(timeout=60)
    assert holder.returncode == -signal.SIGKILL
    with Ledger.open(path) as reopened:
        assert state(reopened, MON) == before
        record(reopened, MON, [cover(3, "Dev")])  # and the ledger takes writes again
        assert reopened.covers_on(MON) == [cover(3, "Dev")]


OPENER = r"""
import sys
from datetime import date
from pathlib import Path
from lessoncover_planner.office.ledger import AbsenceEntry, Ledger

sys.stdin.readline()  # every process starts at once
with Ledger.open(Path(sys.argv[1])) as ledger:
    ledger.set_absence(date(2025, 3, 10), AbsenceEntry(sys.argv[2], None, ""))
"""


def test_processes_making_one_new_ledger_at_once_all_open_it(path):
    names = [f"T{number}" for number in range(6)]
    openers = [subprocess.Popen([sys.executable, "-c", OPENER, str(path), name], stdin=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True) for name in names]
    for opener in openers:
        opener.stdin.write("go\n")
        opener.stdin.flush()
    for opener in openers:
        assert opener.wait(timeout=60) == 0, opener.stderr.read()
    with Ledger.open(path) as ledger:
        assert sorted(entry.name for entry in ledger.absences_on(MON)) == names and ledger.version(MON) == 6
    assert user_version(path) == SCHEMA_VERSION
