"""lessoncover plan on a folder of days: all read and checked before anything is written, planned in
name order, outputs beside each day or under --out DIR, a summary table, a process pool for many
days, a progress bar on a terminal, and --history carrying the totals from day to day."""
import fcntl
import os
import pty
import subprocess
import struct
import sys
import termios
import threading

import pytest

from cli_support import (DAYS, SAMPLE, copy_day, csv_rows, plan, refused, run,
                         without_timing, write_day)

SMALL = ("name,subject\nA,maths\nB,maths\nD,maths\n", "teacher,period,class\nA,1,7A\n", "name,reason\nA,Sick\n")


@pytest.fixture
def week(tmp_path):
    """Three days of the sample school, named by date, made in the wrong order."""
    folder = tmp_path / "week"
    for name in ("2024-05-08", "2024-05-06", "2024-05-07"):
        copy_day(SAMPLE, folder / name)
    (folder / "notes").mkdir()  # not a day: holds none of the files
    (folder / ".hidden").mkdir()
    return folder


def outputs(folder, name):
    return sorted(path.relative_to(folder).as_posix() for path in folder.rglob(name))


def table_rows(stdout):
    return [line.split() for line in stdout.splitlines()[1:]]


def test_outputs_beside_each_day_and_a_summary(week):
    shown = plan("--data", week, "--format", "report")
    assert outputs(week, "cover.txt") == [f"2024-05-0{d}/cover.txt" for d in (6, 7, 8)]
    for day in ("2024-05-06", "2024-05-07", "2024-05-08"):
        text = (week / day / "cover.txt").read_text(encoding="utf-8")
        assert without_timing(text) == without_timing(plan("--data", week / day, "--format", "report").stdout)
    lines = shown.stdout.splitlines()
    assert lines[0].split()[:2] == ["day", "absent"] and "not needed" in lines[0]
    rows = table_rows(shown.stdout)
    assert [row[0] for row in rows] == ["2024-05-06", "2024-05-07", "2024-05-08", "total"]
    assert rows[0][1:5] == ["19", "19", "0", "0"] and rows[-1][1:5] == ["57", "57", "0", "0"]
    assert rows[0][5] == str(week / "2024-05-06" / "cover.txt")


@pytest.mark.parametrize("format_name, file_name", [("text", "board.txt"), ("report", "cover.txt"),
                                                    ("csv", "cover.csv"), ("json", "cover.json"),
                                                    ("html", "cover.html")])
def test_out_dir_takes_one_file_per_day(week, tmp_path, format_name, file_name):
    out = tmp_path / "out"
    plan("--data", week, "--out", out, "--format", format_name)
    assert outputs(out, "*.*") == [f"2024-05-0{d}/{file_name}" for d in (6, 7, 8)]
    assert outputs(week, "cover.*") == outputs(week, "board.*") == []


def test_bad_day_writes_nothing(week, tmp_path):
    (week / "2024-05-08" / "lessons.csv").write_text("teacher,period,class\nNobody,1,7A\n", encoding="utf-8")
    before = sorted(week.rglob("*"))
    shown = run("plan", "--data", week)
    refused(shown, 2, str(week / "2024-05-08" / "lessons.csv"), "line 2", "'Nobody'")
    assert shown.stdout == "" and sorted(week.rglob("*")) == before


def test_day_missing_a_file_is_bad_input(week):
    (week / "2024-05-07" / "absences.csv").unlink()
    refused(run("plan", "--data", week), 2, "absences.csv: cannot read the file")
    assert outputs(week, "cover.*") == []


def test_out_must_be_a_folder(week, tmp_path):
    (tmp_path / "file.txt").write_text("x", encoding="utf-8")
    refused(run("plan", "--data", week, "--out", tmp_path / "file.txt"), 2, "must be a folder")
    refused(run("plan", "--data", week, "--out", "-"), 2, "one day")


def test_write_failure_in_a_week_is_status_1(week, tmp_path):
    (tmp_path / "file.txt").write_text("x", encoding="utf-8")
    refused(run("plan", "--data", week, "--out", tmp_path / "file.txt" / "sub"), 1, "cannot write")


def test_away_class_of_one_day_only_is_accepted_for_the_week(tmp_path):
    folder = tmp_path / "week"
    write_day(folder / "mon", *SMALL)
    write_day(folder / "tue", "name,subject\nA,maths\n", "teacher,period,class\nA,1,8B\n", "name,reason\n")
    refused(run("plan", "--data", folder, "--away", "9Z"), 2, "--away '9Z'")
    plan("--data", folder, "--away", "8B")  # a class of Tuesday only


@pytest.mark.skipif(len(DAYS) < 6, reason="the six real timetables are not here")
def test_pool_gives_what_one_process_gives(tmp_path):
    folder = tmp_path / "schools"
    for day in DAYS:
        copy_day(day, folder / day.name)
    plan("--data", folder, "--format", "csv", "--out", tmp_path / "one", "--jobs", "1")
    shown = plan("--data", folder, "--format", "csv", "--out", tmp_path / "pool", "--jobs", "3")
    for day in DAYS:
        one = csv_rows((tmp_path / "one" / day.name / "cover.csv").read_text(encoding="utf-8"))
        assert one == csv_rows((tmp_path / "pool" / day.name / "cover.csv").read_text(encoding="utf-8"))
    assert [row[0] for row in table_rows(shown.stdout)] == [day.name for day in DAYS] + ["total"]


def test_progress_bar_shows_on_a_terminal_for_many_days(tmp_path):
    folder = tmp_path / "term"
    for index in range(10):
        write_day(folder / f"day{index:02}", *SMALL)
    controller, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))  # a terminal has a size
    seen = []

    def drain():
        while True:
            try:
                chunk = os.read(controller, 65536)
            except OSError:  # the terminal's other end closed
                return
            if not chunk:
                return
            seen.append(chunk)

    reader = threading.Thread(target=drain)
    reader.start()
    try:
        shown = subprocess.run([sys.executable, "-m", "lessoncover_planner", "plan", "--data", str(folder)],
                               stdout=subprocess.PIPE, stderr=terminal, timeout=120)
    finally:
        os.close(terminal)
        reader.join(timeout=30)
        os.close(controller)
    seen = b"".join(seen)
    assert shown.returncode == 0
    assert b"10/10" in seen and b"day" in seen
    # not on a pipe
    assert plan("--data", folder).stderr == ""


def test_without_history_each_day_starts_afresh(tmp_path):
    folder = tmp_path / "week"
    for name in ("1-mon", "2-tue"):
        write_day(folder / name, *SMALL)
    plan("--data", folder, "--format", "csv")
    for name in ("1-mon", "2-tue"):
        (row,) = csv_rows((folder / name / "cover.csv").read_text(encoding="utf-8"))
        assert row["substitute"] == "B"


def test_history_carries_totals_from_day_to_day(tmp_path):
    folder = tmp_path / "week"
    write_day(folder / "1-mon", *SMALL)
    write_day(folder / "2-tue", *SMALL)
    write_day(folder / "3-wed", "name,subject\nA,maths\nD,maths\nF,maths\n", *SMALL[1:])
    history = tmp_path / "history.csv"
    history.write_text("name,covers\nE,5\n", encoding="utf-8")
    shown = run("plan", "--data", folder, "--format", "csv", "--history", history, "--update-history")
    assert shown.returncode == 0
    assert shown.stderr == (f"lessoncover: warning: {history}: 1 name(s) not in any day's teachers.csv, "
                            "their covers are not counted: 'E'\n")
    substitutes = [csv_rows((folder / day / "cover.csv").read_text(encoding="utf-8"))[0]["substitute"]
                   for day in ("1-mon", "2-tue", "3-wed")]
    # Monday: B (first of equals); Tuesday: D (B has one); Wednesday knows no B: F (D has one)
    assert substitutes == ["B", "D", "F"]
    assert history.read_text(encoding="utf-8") == "day,name,covers\n,E,5\n1-mon,B,1\n2-tue,D,1\n3-wed,F,1\n"
    assert [row[0] for row in table_rows(shown.stdout)] == ["1-mon", "2-tue", "3-wed", "total"]


def test_history_is_left_alone_when_a_day_is_bad(tmp_path):
    folder = tmp_path / "week"
    write_day(folder / "1-mon", *SMALL)
    write_day(folder / "2-tue", SMALL[0], "teacher,period,class\nA,x,7A\n", SMALL[2])
    history = tmp_path / "history.csv"
    history.write_text("name,covers\nB,1\n", encoding="utf-8")
    refused(run("plan", "--data", folder, "--history", history, "--update-history"), 2, "period 'x'")
    assert history.read_text(encoding="utf-8") == "name,covers\nB,1\n"
    assert outputs(folder, "cover.*") == []
