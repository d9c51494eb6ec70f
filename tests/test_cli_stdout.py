"""lessoncover plan's standard output: every byte is written or the run fails (a non-blocking
descriptor is waited on), a closed standard output is one line and status 1, and a reader that
goes away (| head) ends the command quietly with status 141, as SIGPIPE ends Unix tools."""
import fcntl
import os
import subprocess
import sys
import time

import pytest

from cli_support import refused, write_day


@pytest.fixture(scope="module")
def big_day(tmp_path_factory):
    """A day whose page runs to several hundred KB: far more than a pipe holds."""
    teachers = "name,subject\n" + "".join(f"Teacher {i},{('Maths', 'English', 'Science')[i % 3]}\n"
                                         for i in range(300))
    lessons = "teacher,period,class\n" + "".join(f"Teacher {i},{p},C{i % 40}\n"
                                                 for i in range(300) for p in range(1, 9) if (i + p) % 4)
    absences = "name,reason\n" + "".join(f"Teacher {i},Ill\n" for i in range(0, 300, 3))
    return write_day(tmp_path_factory.mktemp("big") / "day", teachers, lessons, absences)


def command(*args):
    return [sys.executable, "-m", "lessoncover_planner", "plan", *map(str, args)]


def test_a_non_blocking_standard_output_gets_every_byte(big_day):
    expected = subprocess.run(command("--data", big_day, "--format", "html"), capture_output=True, check=True).stdout
    assert len(expected) > 4 * 65536
    reader, writer = os.pipe()
    fcntl.fcntl(writer, fcntl.F_SETFL, fcntl.fcntl(writer, fcntl.F_GETFL) | os.O_NONBLOCK)
    with subprocess.Popen(command("--data", big_day, "--format", "html"), stdout=writer,
                          stderr=subprocess.PIPE) as process:
        os.close(writer)
        time.sleep(1)  # the pipe fills and the command meets EAGAIN
        received = b""
        while chunk := os.read(reader, 1 << 16):
            received += chunk
        os.close(reader)
        assert process.wait(timeout=120) == 0, process.stderr.read()
        assert process.stderr.read() == b""
    assert len(received) == len(expected) and received == expected


def test_a_closed_standard_output_is_one_line_and_status_1(big_day):
    shown = subprocess.run(" ".join(command("--data", big_day)) + " >&-", shell=True,
                           capture_output=True, text=True, timeout=120)
    refused(shown, 1, "standard output")


@pytest.mark.parametrize("format_name, read_first", [("report", 0), ("html", 10)])
def test_a_reader_that_goes_away_ends_the_command_quietly_with_141(big_day, format_name, read_first):
    """As with '| head -c 10' on the page (more than a pipe holds) or '| true' on the report."""
    with subprocess.Popen(command("--data", big_day, "--format", format_name), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE) as process:
        if read_first:
            os.read(process.stdout.fileno(), read_first)
        process.stdout.close()
        assert process.wait(timeout=120) == 141
        assert process.stderr.read() == b""


def test_a_week_summary_to_a_gone_reader_is_quiet_too(tmp_path):
    for name in ("mon", "tue"):
        write_day(tmp_path / "week" / name, "name,subject\nA,maths\nB,maths\n", "teacher,period,class\nA,1,7A\n",
                  "name,reason\nA,Sick\n")
    with subprocess.Popen(command("--data", tmp_path / "week"), stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE) as process:
        process.stdout.close()
        assert process.wait(timeout=120) == 141
        assert process.stderr.read() == b""
    assert (tmp_path / "week" / "mon" / "board.txt").exists()
