"""Helpers for the tests of the ``lessoncover`` command (tests/test_cli_*.py)."""
import contextlib
import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
from lessoncover_planner.cli import main
from planner_support import DAYS as ALL_DAYS, ROOT, SAMPLE, TIMETABLES

PLAN_COVER = ROOT / "examples" / "plan_cover.py"
DAYS = [day for day in ALL_DAYS if day != SAMPLE]  # the real timetables
REAL_DAY = TIMETABLES / "UK-SP-06"
TIMING = re.compile(r'"Time taken to generate subs: [0-9.]+(?:s|ms|µs|ns)"')
FILES = ("teachers.csv", "lessons.csv", "absences.csv")
SAMPLE_NOTE = ("lessoncover: no teachers.csv in the current folder and no --data: "
               "planning the bundled sample school\n")
CSV_HEADER = ["absent", "period", "subject", "class", "reason", "status", "substitute", "rule", "why", "room"]
real_day = pytest.mark.skipif(not REAL_DAY.is_dir(), reason=f"no real timetable at {REAL_DAY}")


def run(*args, cwd=None, umask=None, process=False, **kwargs):
    """``lessoncover`` with args, in this process (see :func:`run_in_process`); with process (a
    test of the descriptors, /dev/stdout) or any other keyword (a process's own streams, a time
    limit) in a process of its own. Text output."""
    if process or kwargs:
        return run_process(*args, cwd=cwd, umask=umask, **kwargs)
    return run_in_process(*args, cwd=cwd, umask=umask)


def run_process(*args, cwd=None, umask=None, **kwargs):
    """Run ``python -m lessoncover_planner`` with args; text output."""
    preexec = (lambda: os.umask(umask)) if umask is not None else None
    if "stdout" not in kwargs and "stderr" not in kwargs:
        kwargs["capture_output"] = True
    kwargs.setdefault("timeout", 300)
    return subprocess.run([sys.executable, "-m", "lessoncover_planner", *map(str, args)],
                          text=True, encoding="utf-8", cwd=cwd, preexec_fn=preexec, **kwargs)


def _as_text(data):
    """Bytes read as ``subprocess.run(text=True)`` reads them: UTF-8, universal newlines."""
    return data.decode("utf-8").replace("\r\n", "\n").replace("\r", "\n")


def run_in_process(*args, cwd=None, umask=None, merged=False):
    """``main`` with args on streams in memory, in cwd and under umask as a process started
    there would be; the same result as :func:`run_process`. With merged, standard error goes
    into standard output, as ``stderr=subprocess.STDOUT`` puts it (stderr is then empty)."""
    args = [str(arg) for arg in args]
    out = io.BytesIO()
    err = out if merged else io.BytesIO()
    old_umask = os.umask(umask) if umask is not None else None
    try:
        with contextlib.chdir(cwd) if cwd is not None else contextlib.nullcontext():
            try:
                status = main(args, prog="lessoncover", stdout=out, stderr=err)
            except SystemExit as done:  # argparse's --help and usage errors
                status = 0 if done.code is None else done.code
    finally:
        if old_umask is not None:
            os.umask(old_umask)
    return subprocess.CompletedProcess(["lessoncover", *args], status, _as_text(out.getvalue()),
                                       "" if merged else _as_text(err.getvalue()))


def quiet_stderr(args, cwd=None):
    """What a successful run with args prints on standard error: nothing, or the line saying
    the bundled sample school is planned (no --data, and no day's file in the current folder)."""
    folder = Path(cwd) if cwd is not None else Path.cwd()
    if "--data" in map(str, args) or any((folder / name).exists() for name in FILES):
        return ""
    return SAMPLE_NOTE


def plan_bytes(*args):
    """The standard output of a successful ``lessoncover plan`` with args, as bytes."""
    out, err = io.BytesIO(), io.BytesIO()
    status = main(["plan", *map(str, args)], prog="lessoncover", stdout=out, stderr=err)
    assert status == 0 and err.getvalue() == quiet_stderr(args).encode(), err.getvalue()
    return out.getvalue()


def plan(*args, **kwargs):
    """``lessoncover plan`` with args; must succeed with no warning on standard error."""
    shown = run("plan", *args, **kwargs)
    assert shown.returncode == 0, shown.stderr
    assert shown.stderr == quiet_stderr(args, kwargs.get("cwd")), shown.stderr
    return shown


def refused(shown, status, *words):
    """The run failed with status and one line on standard error holding words."""
    assert shown.returncode == status, (shown.returncode, shown.stderr)
    assert shown.stderr.count("\n") == 1 and shown.stderr.startswith("lessoncover: error: "), shown.stderr
    assert "Traceback" not in shown.stderr
    for word in words:
        assert word in shown.stderr, (word, shown.stderr)


def without_timing(text):
    """The report text less its final timing line, which must be there."""
    assert text.endswith("\n") and not text.endswith("\n\n")
    head, timing = text[:-1].rsplit("\n", 1)
    assert TIMING.fullmatch(timing), timing
    return head


def plan_cover(folder):
    shown = subprocess.run([sys.executable, str(PLAN_COVER), "--data", str(folder)],
                           capture_output=True, text=True, encoding="utf-8", timeout=120)
    assert shown.returncode == 0, shown.stderr
    return shown.stdout


def copy_day(source, target):
    target.mkdir(parents=True, exist_ok=True)
    for name in FILES:
        shutil.copyfile(source / name, target / name)
    return target


def write_day(folder, teachers, lessons, absences):
    """A day from the three files' texts."""
    folder.mkdir(parents=True, exist_ok=True)
    for name, text in zip(FILES, (teachers, lessons, absences)):
        (folder / name).write_text(text, encoding="utf-8")
    return folder


def csv_rows(text):
    rows = list(csv.reader(io.StringIO(text.lstrip("\ufeff"), newline="")))
    assert rows[0] == CSV_HEADER
    return [dict(zip(CSV_HEADER, row)) for row in rows[1:]]


def json_plan(*args, **kwargs):
    return json.loads(plan(*args, "--format", "json", **kwargs).stdout)
