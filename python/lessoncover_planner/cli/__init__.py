"""``lessoncover``: the office's command for planning cover from CSV files.

``lessoncover plan`` reads a school day (or a folder of days) kept in the three
CSV files of ``examples/plan_cover.py``, plans cover with
:func:`lessoncover_planner.plan` and writes the plan as text for people (the
board by period), the module's report, CSV, JSON or a printable HTML page.  ``python -m lessoncover_planner`` runs the same.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from pathlib import Path

from .. import subjects as _subjects
from . import streams
from .errors import (EXIT_BAD_INPUT, EXIT_CANNOT_WRITE, EXIT_OK, BrokenPipe, CommandError, UsageError, WriteError,
                     one_line)
from .formats import FORMATS, OUTPUT_NAMES
from .history import history_days, history_warnings, read_history, render_history
from .policies import STRATEGIES, PolicyOptions, check_away_classes
from .reading import DAY_FILES, MAX_FILE_SIZE, max_file_size, read_day
from .streams import say
from .week import find_days, plan_days, summary_table
from .writing import refuse_inputs, refuse_links, write_file, write_stdout

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    from typing import IO, Any

__all__ = ["main", "sample_school"]


def sample_school() -> Path:
    """The folder of the bundled sample school.

    The package is installed as files (a wheel, never a zip), so the folder is found beside
    this module; importlib.resources would find the same, at the price of importing zipfile,
    tempfile and typing on every run of the command."""
    return Path(__file__).resolve().parent.parent / "sample_school"


def _subject_help() -> str:
    spellings = sorted(set(_subjects.KNOWN_SPELLINGS) - set(_subjects.SUBJECT_ALIASES))
    aliases: dict[str, list[str]] = {}
    for alias, subject in _subjects.SUBJECT_ALIASES.items():
        aliases.setdefault(subject, []).append(alias)
    alias_lines = "\n".join(f"  {subject}: {', '.join(names)}" for subject, names in sorted(aliases.items()))
    return (
        "subjects (any letter case, surrounding spaces ignored):\n"
        f"  {', '.join(spellings)}\n"
        "aliases:\n"
        f"{alias_lines}\n"
        "any other text is a subject of its own (its teachers cover each other first)."
    )


def _count(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if value < 0:
        raise argparse.ArgumentTypeError(f"{text!r} is negative")
    return value


_SIZE_UNITS = {"": 1, "K": 1024, "M": 1024 ** 2, "G": 1024 ** 3}


def _size(text: str) -> int:
    """A number of bytes, with an optional K, M or G (powers of 1024)."""
    number, unit = text.strip(), ""
    if number[-1:].upper() in ("K", "M", "G"):
        number, unit = number[:-1], number[-1].upper()
    if not number.isascii() or not number.isdigit() or len(number) > 15:
        raise argparse.ArgumentTypeError(f"{text!r} is not a size in bytes such as 1048576, 512K, 10M or 1G")
    return int(number) * _SIZE_UNITS[unit]


def _positive(text: str) -> int:
    value = _count(text)
    if value == 0:
        raise argparse.ArgumentTypeError("must be at least 1")
    return value


PLAN_DESCRIPTION = """\
Plan cover for the absent teachers of a school day, read from the CSV files in
--data: teachers.csv (name,subject[,unavailable][,supply]), lessons.csv
(teacher,period,class[,room]) and absences.csv (name,reason[,periods]).  A folder whose
subfolders each hold those files is a week (or many schools): every day is
read and checked first, then planned in name order, and each output is written
beside its day's files or under --out DIR as board.txt (text), cover.txt
(report), cover.csv, .json or .html, with a summary table on standard output.

The files may use comma, semicolon or tab; header names ignore case and spaces;
values are trimmed and empty rows skipped.  A period list (the 'periods' and
'unavailable' columns) reads like '3-5' or '1;4'; an empty 'periods' is all day.
'supply' is 'yes' for a supply teacher (any other value or empty: a teacher of
the school).
"""

PLAN_EPILOG = """\
formats:
  text    for people, the default: who is absent, the board by period (class,
          room, subject, absent teacher, cover, how and why), the lessons
          without cover with their why, then the counts and the plan's figures
  report  the substitution report exactly as examples/plan_cover.py prints it
  csv     one row per absent lesson: absent,period,subject,class,reason,status,
          substitute,rule,why,room; status is covered, uncovered or not needed
  json    one object: covers, uncovered, not_needed, summary (the counts and
          the plan's figures), elapsed
  html    one printable page: counts and figures, absentees, cover board,
          uncovered lessons, and one slip per substitute, several to a printed
          page with a cut line (--slip-per-page: each on its own page)

without --data:
  the current folder is planned when it holds teachers.csv, lessons.csv or
  absences.csv; otherwise the bundled sample school, with a line saying so

history (--history FILE):
  rows of day,name,covers; day is the day folder's name (use ISO dates such as
  2025-03-10, so that names sort as days do; the sample school counts as today).
  A day's prior covers are the rows of the days whose names sort before its own
  (an empty day, as an old name,covers file reads, sorts first); running a day
  again replaces its rows.  Names starting with = + - @ are written with a
  leading ' (as in --format csv) and read back without it.

warnings (one line each on standard error; errors under --strict):
  a lesson row given twice; absence periods that no lesson of the day uses; an
  absentee with no lessons in the absence; a subject one letter or so from a
  known one; history names that no teachers.csv of the run has; a history file
  to be started while one of a near name sits beside it

exit status:
  0  the plan was written (warnings, if any, on standard error)
  1  an output could not be written (full disk, missing folder, a link planted
     while running, ...), or the system failed the run (out of memory, a
     planning process killed)
  2  bad input or options, or a warning under --strict (one line names the
     file, the line and the problem, and often the likely fix; a file that is
     not a regular file or is over --max-file-size; an output that is an input,
     or a symbolic link beside the days); nothing was written
  141  standard output's reader went away (| head); nothing more is said

{subjects}
"""


def _terminal_columns() -> int:
    """The terminal's width as ``shutil.get_terminal_size`` gives it: ``COLUMNS``, else the
    width of standard output's terminal, else 80."""
    try:
        columns = int(os.environ.get("COLUMNS", "0"))
    except ValueError:
        columns = 0
    if columns <= 0:
        try:
            columns = os.get_terminal_size(sys.__stdout__.fileno()).columns if sys.__stdout__ else 0
        except (AttributeError, ValueError, OSError):
            columns = 0
    return columns or 80


class _Parser(argparse.ArgumentParser):
    """argparse writing its help, usage and errors to the run's streams."""

    def _print_message(self, message: str, file: Any = None) -> None:
        if file is None or file is sys.stderr:
            file = streams.stderr_text()
        elif file is sys.stdout:
            out = streams.stdout()
            file = out if out is None or out is sys.stdout else streams.text_on(out)
        super()._print_message(message, file)


class _HelpWidth(argparse.HelpFormatter):
    """Help laid out to the terminal's width, read without importing shutil: argparse makes
    a formatter for every option it adds, and importing shutil for its width took longer
    than reading and planning a small day."""

    def __init__(self, prog: str, indent_increment: int = 2, max_help_position: int = 24,
                 width: int | None = None) -> None:
        super().__init__(prog, indent_increment, max_help_position,
                         _terminal_columns() if width is None else width)


class _RawDescriptionHelpWidth(_HelpWidth, argparse.RawDescriptionHelpFormatter):
    """The description and epilog as written, to the terminal's width."""


def build_parser(prog: str = "lessoncover", only_plan: bool = False) -> argparse.ArgumentParser:
    """The command line; ``only_plan`` leaves out the office's commands, which a run of
    ``plan`` never needs and whose options take a while to build."""
    parser: argparse.ArgumentParser = _Parser(
        prog=prog, description="Plan cover for absent teachers: a day kept in CSV files, or the dates of a "
                                "school folder set up once (see init).",
        epilog=f"Run '{prog} plan --help' for the options, formats and exit codes.",
        formatter_class=_HelpWidth)
    commands = parser.add_subparsers(dest="command", metavar="COMMAND")
    plan = commands.add_parser(
        "plan", help="plan cover for a day, a folder of days, or a date of a school folder",
        description=PLAN_DESCRIPTION, epilog=PLAN_EPILOG.format(subjects=_subject_help()),
        formatter_class=_RawDescriptionHelpWidth)
    plan.add_argument("--data", type=Path, metavar="DIR",
                      help="a day's folder, or a folder of day folders (default: the current folder when "
                           "it holds the day's files, else the bundled sample school)")
    plan.add_argument("--out", metavar="PATH",
                      help="write to PATH ('-' for standard output, the default for one day); "
                           "for a folder of days, or when PATH is a folder, the folder to write into")
    plan.add_argument("--format", choices=tuple(FORMATS), default="text",
                      help="output format: %(choices)s (default: %(default)s)")
    plan.add_argument("--slip-per-page", action="store_true",
                      help="html: print each substitute's slip on a page of its own "
                           "(default: several slips to a page, with a cut line)")
    policy = plan.add_argument_group("cover policies (all off by default)")
    policy.add_argument("--strategy", choices=STRATEGIES,
                        help="greedy: the rules lesson by lesson (the default for a day's files); best: the "
                             "plan that covers the most lessons, then uses the fewest supply teachers, then "
                             "matches the most subjects, then spreads covers most evenly (the default for a "
                             "school folder, unless its school.toml says otherwise)")
    policy.add_argument("--max-covers", type=_count, metavar="N",
                        help="at most N covers per teacher in this run (a combined lesson counts once)")
    policy.add_argument("--keep-doubles", action="store_true",
                        help="the substitute of one half of a double lesson takes the other half when free")
    policy.add_argument("--combined-lessons", action="store_true",
                        help="an absent teacher's lessons for several classes in one period get one substitute")
    policy.add_argument("--co-taught-no-cover", action="store_true",
                        help="no cover where a present teacher teaches the same class in that period")
    policy.add_argument("--away", action="append", default=[], metavar="CLASS",
                        help="a class that is away (trip, exam): its lessons need no cover; repeatable")
    policy.add_argument("--history", type=Path, metavar="FILE",
                        help="a CSV of day,name,covers: the covers given so far; a day ranks in as prior "
                             "load the rows of the days whose names sort before its own")
    policy.add_argument("--update-history", action="store_true",
                        help="write the covers of each day planned back to --history FILE after a successful "
                             "run, in place of that day's rows (FILE may be missing at first)")
    school = plan.add_argument_group("a school folder (see 'lessoncover init')")
    school.add_argument("--school", type=Path, metavar="DIR",
                        help="plan a date of the school in DIR and record it in its ledger (default: the "
                             "current folder when it is a school)")
    school.add_argument("--date", type=_date, metavar="D",
                        help="the date to plan: today, tomorrow, an ISO date or a weekday name (default: today)")
    school.add_argument("--absences", type=Path, metavar="FILE",
                        help="an absences.csv to record as the date's absences, in place of those recorded, "
                             "before planning")
    school.add_argument("--fresh", action="store_true",
                        help="discard the date's earlier plan instead of keeping the covers already given")
    plan.add_argument("--strict", action="store_true",
                      help="treat warnings as errors: exit 2 and write nothing")
    plan.add_argument("--jobs", type=_positive, metavar="N",
                      help="processes for a folder of days without --history (default: automatic)")
    plan.add_argument("--max-file-size", type=_size, default=MAX_FILE_SIZE, metavar="SIZE",
                      help="refuse an input file larger than SIZE bytes; K, M and G multiply by 1024 "
                           "(default: 256M)")
    if not only_plan:
        from ..office.arguments import add_office_commands

        add_office_commands(commands, _HelpWidth)
    return parser


def _date(text: str) -> object:
    from ..office.arguments import date_argument

    return date_argument(text)


def _output_path(out: str | None, format_name: str) -> Path | None:
    """Where one day's output goes: None for standard output."""
    if out is None or out == "-":
        return None
    path = Path(out)
    if path.is_dir():
        return path / OUTPUT_NAMES[format_name]
    return path


SAMPLE_NOTE = "no teachers.csv in the current folder and no --data: planning the bundled sample school"


def _data_folder(data: Path | None) -> tuple[Path, bool]:
    """The folder to plan and whether it is the bundled sample school.

    Without --data the current folder is planned when it holds any of the day's files
    (a missing one is then an error naming it), otherwise the sample school.
    """
    if data is not None:
        return data, False
    if any(Path(name).exists() for name in DAY_FILES):
        return Path("."), False
    return sample_school(), True


def _warn(warnings: list[str], strict: bool, prog: str) -> None:
    """Print each warning on a line of its own; under --strict the first is an error instead."""
    if strict and warnings:
        more = f" (and {len(warnings) - 1} more warnings)" if len(warnings) > 1 else ""
        raise UsageError(f"{warnings[0]}{more}; --strict makes warnings errors")
    for warning in warnings:
        say(f"{prog}: warning: {one_line(warning)}")


def _school_options(arguments: argparse.Namespace) -> None:
    """Plan a school folder when --school says so, or when the current folder is one and no
    --data is given; the school's options need one."""
    if arguments.school is None and arguments.data is None:
        from ..office.folders import is_school

        if is_school(Path(".")):
            arguments.school = Path(".")
    if arguments.school is None:
        for option, given in (("--date", arguments.date is not None), ("--absences", arguments.absences is not None),
                              ("--fresh", arguments.fresh)):
            if given:
                raise UsageError(f"{option} needs a school folder (--school DIR; see lessoncover init)")
    elif arguments.data is not None:
        raise UsageError("--data and --school cannot be used together")


def run_plan(arguments: argparse.Namespace, prog: str) -> int:
    format_name: str = arguments.format
    _school_options(arguments)
    options = PolicyOptions(
        max_covers=arguments.max_covers, keep_doubles=arguments.keep_doubles,
        combined_lessons=arguments.combined_lessons, co_taught_no_cover=arguments.co_taught_no_cover,
        away_classes=tuple(dict.fromkeys(arguments.away)), strategy=arguments.strategy)
    if arguments.school is not None:
        from ..office.commands import run_school_plan

        return run_school_plan(arguments, prog, options, lambda warnings: _warn(warnings, arguments.strict, prog))
    if arguments.update_history and arguments.history is None:
        raise UsageError("--update-history needs --history FILE")
    data, is_sample = _data_folder(arguments.data)

    found = find_days(data)
    if found is None:  # a day given as '.' or 'week/..' is named by the folder it stands for
        days = [read_day(data, name="sample school" if is_sample else Path(os.path.abspath(data)).name or None)]
    else:
        days = [read_day(folder, name) for name, folder in found]
    warnings = [warning for day in days for warning in day.warnings]
    inputs = [path for day in days for path in day.files]
    if arguments.update_history:
        refuse_inputs([arguments.history], inputs, option="--history")

    check_away_classes(options.away_classes, days)
    history = None
    if arguments.history is not None:
        history = read_history(arguments.history, missing_ok=arguments.update_history)
        where = f"{days[0].files[0]}" if len(days) == 1 else "any day's teachers.csv"
        warnings += history_warnings(arguments.history, history,
                                     [name for day in days for name, _ in day.teachers], where)
    _warn(warnings, arguments.strict, prog)

    # Where everything goes, checked before anything is planned or written. A path the user
    # typed may be a link they chose; a name the command makes up, or a day's folder, may not.
    if found is None:
        outputs = [_output_path(arguments.out, format_name)]
        named = outputs[0] is not None and outputs[0] != Path(arguments.out)
    else:
        if arguments.out == "-":
            raise UsageError("--out - (standard output) takes one day, not a folder of days")
        root = Path(arguments.out) if arguments.out is not None else None
        if root is not None and root.exists() and not root.is_dir():
            raise UsageError(f"--out {root} must be a folder for a folder of days")
        outputs = [(root / day.name if root is not None else day.folder) / OUTPUT_NAMES[format_name]
                   for day in days]
        named = True
    if arguments.history is not None:
        inputs.append(arguments.history)
    refuse_inputs([path for path in outputs if path is not None], inputs)  # the history file among them
    if named:
        refuse_links([path for path in outputs if path is not None], folders=found is not None)

    if is_sample:  # said once the run is sure to plan, so that an error stays the one line
        say(f"{prog}: {SAMPLE_NOTE}")
    results = plan_days(days, options, format_name, history, arguments.jobs,
                        history_days(days, is_sample), slip_per_page=arguments.slip_per_page)

    for path, result in zip(outputs, results):
        if path is None:
            write_stdout(result.output)
        else:
            if found is not None and arguments.out is not None:
                try:
                    path.parent.mkdir(parents=True, exist_ok=True)
                except OSError as error:
                    raise WriteError(path.parent, error) from None
            write_file(path, result.output, follow_name=not named, follow_folder=found is None)
    if arguments.update_history and history is not None:
        write_file(arguments.history, render_history(history))
    if found is not None:
        table = summary_table([day.name for day in days], results, [str(path) for path in outputs])
        write_stdout(table.encode("utf-8"))
    return EXIT_OK


def main(argv: Sequence[str] | None = None, prog: str = "lessoncover", *,
         stdout: IO[bytes] | IO[str] | None = None, stderr: IO[bytes] | IO[str] | None = None) -> int:
    """Run the command with argv (default: the process's arguments); return the exit status.

    stdout and stderr (bytes or text) are where the run writes, by default the process's
    own; the command then runs whole in the caller's process, as a test runs it. A text
    stdout takes the outputs decoded from UTF-8."""
    token = streams.current().set(streams.Streams(stdout, stderr))
    try:
        return _run(sys.argv[1:] if argv is None else list(argv), prog)
    finally:
        streams.current().reset(token)


def _run(argv: list[str], prog: str) -> int:
    parser = build_parser(prog, only_plan=next(iter(argv), None) == "plan")
    arguments = parser.parse_args(argv)  # --help and usage errors raise SystemExit, as argparse does
    if arguments.command is None:
        parser.print_usage(streams.stderr_text())
        say(f"{prog}: error: a command is required: plan, init, absent, absences, assign, unassign, "
            "candidates, history, import or serve")
        return EXIT_BAD_INPUT
    limit = max_file_size.set(getattr(arguments, "max_file_size", MAX_FILE_SIZE))
    try:
        if arguments.command != "plan":
            from ..office.commands import run_office

            return run_office(arguments, prog)
        return run_plan(arguments, prog)
    except BrokenPipe as error:  # quiet, as a tool that SIGPIPE ended
        return error.status
    except CommandError as error:
        say(f"{prog}: error: {one_line(str(error))}")
        return error.status
    except MemoryError:
        say(f"{prog}: error: out of memory")
        return EXIT_CANNOT_WRITE
    except OSError as error:  # the system failed the run somewhere no other error names
        say(f"{prog}: error: {one_line(str(error))}")
        return EXIT_CANNOT_WRITE
    except KeyboardInterrupt:
        say(f"{prog}: interrupted")
        return 130
    finally:
        max_file_size.reset(limit)


def console_main() -> None:
    """The ``lessoncover`` console script."""
    sys.exit(main())

