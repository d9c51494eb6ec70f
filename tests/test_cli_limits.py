"""lessoncover plan's limits: a file's cost follows its size, not the numbers written in it; a
period of any length, a file that is not a regular file or is too large, a folder that cannot be
read and a planning process that dies each give one line and their documented status."""
import json
import os
import signal
import subprocess
import sys
import tracemalloc

import pytest

from cli_support import SAMPLE, copy_day, json_plan, plan, refused, run, write_day
from lessoncover_planner.cli import week as week_module
from lessoncover_planner.cli.errors import EnvironmentProblem, InputError
from lessoncover_planner.cli.policies import PolicyOptions
from lessoncover_planner.cli.reading import parse_period_list, periods_within, read_day

TEACHERS = "name,subject,unavailable\n"
LESSONS = "teacher,period,class\nT0,1,7A\nT1,2,7B\nT0,3,7C\n"


def peak_bytes(function, *args):
    tracemalloc.start()
    try:
        function(*args)
        return tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()


@pytest.mark.parametrize("column", ["unavailable", "periods"])
def test_a_wide_range_costs_what_its_text_costs(tmp_path, column):
    rows = 200
    if column == "unavailable":
        teachers = TEACHERS + "".join(f"T{i},maths,-32768-32767\n" for i in range(rows))
        absences = "name,reason\nT0,Sick\n"
    else:
        teachers = TEACHERS + "".join(f"T{i},maths,\n" for i in range(rows))
        absences = "name,reason,periods\n" + "".join(f"T{i},Sick,-32768-32767\n" for i in range(rows))
    day = write_day(tmp_path / "day", teachers, LESSONS, absences)
    size = sum((day / name).stat().st_size for name in ("teachers.csv", "lessons.csv", "absences.csv"))
    peak = peak_bytes(read_day, day)
    # Expanded, the ranges held 200 x 65,536 periods: some hundreds of MB.
    assert peak < 1_000_000 + 200 * size, (peak, size)
    read = read_day(day)
    held = read.unavailable if column == "unavailable" else read.absent_periods
    assert held["T1"] == (-32768, 1, 2, 3, 32767)


@pytest.mark.parametrize("text, ranges", [
    ("3-5", ((3, 5),)),
    ("1;4", ((1, 1), (4, 4))),
    ("5-7; 1-3, 4", ((1, 7),)),
    ("-32768-32767", ((-32768, 32767),)),
    ("2-2;2", ((2, 2),)),
])
def test_period_lists_read_as_ranges(text, ranges):
    assert parse_period_list("f", 1, "periods", text) == ranges


@pytest.mark.parametrize("ranges, used, periods", [
    (((3, 5),), [1, 2, 3, 4, 5, 6], (3, 4, 5)),
    (((3, 5),), [1, 3, 6], (3, 5)),  # the ends stay, so the list never empties
    (((1, 1), (4, 9)), [2, 5, 7], (1, 4, 5, 7, 9)),
    (((-32768, 32767),), [], (-32768, 32767)),
])
def test_periods_within_keeps_the_used_periods_and_the_ends(ranges, used, periods):
    assert periods_within(ranges, used) == periods


PART_DAY = ("name,subject,unavailable\nA,maths,\nB,maths,2-4\nC,maths,1;3\nD,art,\nE,art,-5-40\n",
            "teacher,period,class\nA,1,7A\nA,2,7A\nA,3,7B\nA,5,7C\nB,1,8A\nC,2,8B\nD,4,9A\nE,1,9B\n",
            "name,reason,periods\nA,Sick,2-30\nD,Course,\n")


@pytest.mark.parametrize("extra", [(), ("--keep-doubles",), ("--max-covers", "1")])
def test_limiting_periods_to_the_day_changes_no_plan(tmp_path, extra):
    """The same day with its lists written out period by period, 1..8 and beyond, plans the same."""
    limited = write_day(tmp_path / "ranges", *PART_DAY)
    spelled = PART_DAY[0].replace("2-4", "2;3;4").replace("-5-40", ";".join(map(str, range(-5, 41))))
    spelled_absences = PART_DAY[2].replace("2-30", ";".join(map(str, range(2, 31))))
    written = write_day(tmp_path / "spelled", spelled, PART_DAY[1], spelled_absences)
    shown = [run("plan", "--data", folder, "--format", "json", *extra) for folder in (limited, written)]
    assert [result.returncode for result in shown] == [0, 0], [result.stderr for result in shown]
    first, second = (json.loads(result.stdout) for result in shown)
    for document in (first, second):
        document.pop("elapsed")
        document.pop("day", None)
    assert first == second
    assert first["covers"] or first["uncovered"]
    # Both spellings ask for periods 6-30, which no lesson uses: the same one warning each.
    warnings = [result.stderr.replace(str(folder), "DAY") for result, folder in zip(shown, (limited, written))]
    assert warnings[0] == warnings[1] == (
        "lessoncover: warning: DAY/absences.csv, line 2: periods 6-30 of 'A' are not periods of this day "
        "(its lessons use 1-5); nothing to cover in them\n")


@pytest.mark.parametrize("file_name, line, column, content", [
    ("lessons.csv", 2, None, "teacher,period,class\nLiam Walsh,{},7A\n"),
    ("absences.csv", 2, "periods", "name,reason,periods\nLiam Walsh,Sick,1-{}\n"),
])
def test_a_period_of_thousands_of_digits_is_out_of_range(tmp_path, file_name, line, column, content):
    day = copy_day(SAMPLE, tmp_path / "day")
    (day / file_name).write_text(content.format("1" * 5000), encoding="utf-8")
    refused(run("plan", "--data", day), 2, f"{file_name}, line {line}: period of 5,000 characters",
            "outside -32768..32767")


def test_a_device_as_an_input_is_refused_unread(tmp_path):
    day = copy_day(SAMPLE, tmp_path / "day")
    (day / "lessons.csv").unlink()
    (day / "lessons.csv").symlink_to("/dev/zero")
    refused(run("plan", "--data", day), 2, "lessons.csv: not a regular file")


def test_a_fifo_as_an_input_is_refused_without_waiting(tmp_path):
    day = copy_day(SAMPLE, tmp_path / "day")
    (day / "absences.csv").unlink()
    os.mkfifo(day / "absences.csv")
    shown = subprocess.run([sys.executable, "-m", "lessoncover_planner", "plan", "--data", str(day)],
                           capture_output=True, text=True, timeout=30)  # the reading waited for a writer
    refused(shown, 2, "absences.csv: not a regular file")


@pytest.mark.parametrize("limit, accepted", [("2000", False), ("2K", False), ("3k", True), ("1M", True)])
def test_max_file_size_caps_every_input(tmp_path, limit, accepted):
    day = copy_day(SAMPLE, tmp_path / "day")
    assert 2048 < (day / "lessons.csv").stat().st_size < 3072
    shown = run("plan", "--data", day, "--max-file-size", limit)
    if accepted:
        assert shown.returncode == 0, shown.stderr
    else:
        refused(shown, 2, "lessons.csv: larger than --max-file-size")


@pytest.mark.parametrize("limit", ["", "ten", "-1", "1T", "1.5M"])
def test_max_file_size_takes_bytes_with_k_m_or_g(limit):
    shown = run("plan", "--max-file-size", limit)
    assert shown.returncode == 2 and "--max-file-size" in shown.stderr


def test_a_data_folder_that_cannot_be_read_is_one_line_and_status_2(tmp_path):
    """Tests run as root, who reads any folder, so a name too long for the system stands in for
    an unreadable folder: both fail the same call with an OSError."""
    refused(run("plan", "--data", tmp_path / ("d" * 300)), 2, "cannot read the folder", "File name too long")


def test_a_folder_the_system_refuses_is_one_line_and_status_2(tmp_path, monkeypatch):
    def refuse(path):
        raise PermissionError(13, "Permission denied", str(path))
    monkeypatch.setattr(week_module.os, "scandir", refuse)
    with pytest.raises(InputError, match="cannot read the folder: Permission denied") as caught:
        week_module.find_days(tmp_path)
    assert caught.value.status == 2


class KillingTask:
    """Stands for plan_day in the pool: the process that unpickles it is killed at once."""

    def __reduce__(self):
        return signal.raise_signal, (signal.SIGKILL,)

    def __call__(self, *args):
        raise AssertionError("never called in this process")


def test_a_killed_planning_process_is_one_line_and_status_1(tmp_path, monkeypatch):
    days = [read_day(copy_day(SAMPLE, tmp_path / name), name) for name in ("mon", "tue")]
    monkeypatch.setattr(week_module, "plan_day", KillingTask())
    with pytest.raises(EnvironmentProblem, match="a planning process ended unexpectedly") as caught:
        week_module.plan_days(days, PolicyOptions(), "report", None, jobs=2)
    assert caught.value.status == 1



@pytest.mark.parametrize("failure, message", [
    (MemoryError(), "out of memory"),
    (OSError(24, "Too many open files"), "Too many open files"),
])
def test_a_system_failure_anywhere_is_one_line_and_status_1(tmp_path, monkeypatch, capsys, failure, message):
    from lessoncover_planner import cli

    def fail(*args, **kwargs):
        raise failure
    monkeypatch.setattr(cli, "plan_days", fail)
    assert cli.main(["plan", "--data", str(copy_day(SAMPLE, tmp_path / "day"))]) == 1
    stderr = capsys.readouterr().err
    assert stderr.count("\n") == 1 and stderr.startswith("lessoncover: error: ") and message in stderr


@pytest.mark.parametrize("written, shown", [("2-30", "2–30"), ("-32768-32767", "-32768–32767"), ("1;3-4", "1, 3–4")])
def test_a_part_day_absence_is_shown_as_written_not_as_limited_to_the_day(tmp_path, written, shown):
    day = write_day(tmp_path / "day", "name,subject\nA,maths\nB,maths\n", "teacher,period,class\nA,1,7A\nA,2,7A\nB,3,7B\n",
                    f"name,reason,periods\nA,Sick,{written}\n")
    for format_name in ("text", "html"):
        output = run("plan", "--data", day, "--format", format_name).stdout
        assert shown in output, (format_name, output)
