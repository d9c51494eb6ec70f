"""Planning many days: a week of one school, or one day of many schools.

``--data`` names a folder whose subfolders each hold a day.  Every day is read
and checked first; then the days are planned in name order.  With a history the
days run one after another in this process, each starting from the totals the
days before it left.  Without one, many days are spread over a process pool; a
few small days are planned here, since starting a pool costs more than they do.
"""

from __future__ import annotations

import importlib
import os
from collections import namedtuple
from collections.abc import Callable, Mapping, Sequence
from pathlib import Path

from ..cover_plan import covered_lessons
from ..planning import plan
from . import streams
from .errors import EnvironmentProblem, InputError, UsageError, one_line
from .formats import render, summary
from .history import History, count_covers
from .policies import PolicyOptions, build_policy
from .reading import DAY_FILES, Day

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import Any

__all__ = ["DayResult", "find_days", "plan_day", "plan_days", "use_pool", "summary_table",
           "POOL_MIN_DAYS", "POOL_MIN_LESSONS", "PROGRESS_MIN_DAYS"]

POOL_MIN_DAYS = 4
"""Fewer days than this are always planned in this process."""
POOL_MIN_LESSONS = 50_000
"""Days with fewer lesson rows than this in all are planned in this process: a pool's start
(0.2 s or more) costs more than planning and rendering them (about 0.4 µs a row for the
report, 4 µs for the HTML page)."""
PROGRESS_MIN_DAYS = 8
"""A progress bar shows on a terminal from this many days."""


DayResult = namedtuple("DayResult", "output counts covers_given")
DayResult.__doc__ = "A planned day: the output bytes, the counts and the covers each substitute gave."


def find_days(folder: Path) -> list[tuple[str, Path]] | None:
    """The day subfolders of folder in name order, or None when folder is itself a day.

    A folder holding any of the three files is a day.  Otherwise each subfolder that
    holds any of them is a day (hidden ones and others are passed over); with none,
    folder is taken as a day, so the error names its missing file.
    """
    try:
        if any((folder / name).exists() for name in DAY_FILES):
            return None
        try:
            children = sorted(os.scandir(folder), key=lambda entry: entry.name)
        except (FileNotFoundError, NotADirectoryError):
            return None
        days = [(entry.name, Path(entry.path)) for entry in children
                if not entry.name.startswith(".") and entry.is_dir()
                and any((Path(entry.path) / name).exists() for name in DAY_FILES)]
    except OSError as error:  # a folder that cannot be read, a name too long, ...
        raise InputError(folder, None, f"cannot read the folder: {error.strerror}") from None
    return days or None


def plan_day(day: Day, options: PolicyOptions, prior: Mapping[str, int] | None, format_name: str,
             slip_per_page: bool = False) -> DayResult:
    """Plan one day and render it; planner errors become UsageError naming the day."""
    policy = build_policy(options, day, prior)
    try:
        result = plan(day.teachers, day.lessons, day.planner_absences(), policy=policy)
    except (TypeError, ValueError) as error:
        raise UsageError(f"{day.folder}: the planner refused the day: {error}") from None
    return DayResult(render(format_name, day, result, slip_per_page), summary(result),
                     count_covers(covered_lessons(result)))


def use_pool(days: Sequence[Day], jobs: int | None) -> int:
    """How many processes to plan days in; 1 means this process."""
    if jobs is not None:
        return max(1, min(jobs, len(days)))
    cores = os.cpu_count() or 1
    if cores < 2 or len(days) < POOL_MIN_DAYS or sum(len(day.lessons) for day in days) < POOL_MIN_LESSONS:
        return 1
    return min(cores, len(days))


def _progress(total: int) -> Any:
    """A progress bar on a terminal for many days, else a stand-in that does nothing."""
    stderr = streams.stderr_text()
    show = total >= PROGRESS_MIN_DAYS and stderr is not None and stderr.isatty()
    if show:
        try:  # imported by name: tqdm has no type information of its own
            tqdm = importlib.import_module("tqdm").tqdm
        except ImportError:  # pragma: no cover - tqdm is a declared dependency
            show = False
        else:
            return tqdm(total=total, unit="day", file=stderr, leave=True)
    return _NoProgress()


class _NoProgress:
    def update(self, count: int = 1) -> None:
        pass

    def close(self) -> None:
        pass


def plan_days(
    days: Sequence[Day],
    options: PolicyOptions,
    format_name: str,
    history: History | None,
    jobs: int | None = None,
    history_days: Sequence[str] | None = None,
    slip_per_page: bool = False,
) -> list[DayResult]:
    """Plan every day in order; with a history, record each day's covers in it under its
    name in history_days (by default the day's name)."""
    progress = _progress(len(days))
    try:
        if history is not None:
            keys = list(history_days) if history_days is not None else [day.name for day in days]
            results = []
            for day, key in zip(days, keys):
                result = plan_day(day, options, history.prior(key), format_name, slip_per_page)
                history.replace(key, result.covers_given)
                results.append(result)
                progress.update()
            return results
        workers = use_pool(days, jobs)
        if workers == 1:
            results = []
            for day in days:
                results.append(plan_day(day, options, None, format_name, slip_per_page))
                progress.update()
            return results
        import multiprocessing
        from concurrent.futures import ProcessPoolExecutor
        from concurrent.futures.process import BrokenProcessPool

        context = multiprocessing.get_context("forkserver")
        context.set_forkserver_preload(["lessoncover_planner.cli.week"])
        try:
            with ProcessPoolExecutor(max_workers=workers, mp_context=context) as pool:
                futures = [pool.submit(plan_day, day, options, None, format_name, slip_per_page) for day in days]
                done: Callable[[Any], None] = lambda _: progress.update()
                for future in futures:
                    future.add_done_callback(done)
                return [future.result() for future in futures]
        except BrokenProcessPool:
            raise EnvironmentProblem("a planning process ended unexpectedly (killed, or out of memory); "
                                     "nothing was written") from None
        except OSError as error:  # no processes to be had
            raise EnvironmentProblem(f"cannot start the planning processes: {error.strerror or error}; "
                                     "nothing was written") from None
    finally:
        progress.close()


def summary_table(names: Sequence[str], results: Sequence[DayResult], outputs: Sequence[str]) -> str:
    """Per day: absent lessons, covered, uncovered and not needed, then the output; a total row.

    Names and paths show escaped as on standard error: a folder's name cannot act on the terminal.
    """
    header = ("day", "absent lessons", "covered", "uncovered", "not needed", "written to")
    keys = ("absent_lessons", "covered", "uncovered", "not_needed")
    rows = [(one_line(name), *(str(result.counts[key]) for key in keys), one_line(output))
            for name, result, output in zip(names, results, outputs)]
    rows.append(("total", *(str(sum(result.counts[key] for result in results)) for key in keys), ""))
    widths = [max(len(row[column]) for row in (header, *rows)) for column in range(len(header))]

    def line(row: Sequence[str]) -> str:
        cells = [row[0].ljust(widths[0])]
        cells += [cell.rjust(width) for cell, width in zip(row[1:5], widths[1:5])]
        cells.append(row[5])
        return "  ".join(cells).rstrip()

    return "\n".join([line(header), *map(line, rows)]) + "\n"
