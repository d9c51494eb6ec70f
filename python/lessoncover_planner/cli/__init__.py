"""``lessoncover``: the office's command for planning cover from CSV files.

``lessoncover plan`` reads a school day (or a folder of days) kept in the three
CSV files of ``examples/plan_cover.py``, plans cover with
:func:`lessoncover_planner.plan` and writes the plan as the report, CSV, JSON
or a printable HTML page.  ``python -m lessoncover_planner`` runs the same.
"""

from __future__ import annotations

import argparse
import sys
from collections.abc import Sequence
from pathlib import Path

from .. import subjects as _subjects
from .errors import EXIT_BAD_INPUT, EXIT_OK, CommandError, UsageError, WriteError, one_line
from .formats import EXTENSIONS, FORMATS
from .history import read_history, render_history
from .policies import PolicyOptions, check_away_classes
from .reading import read_day
from .week import find_days, plan_days, summary_table
from .writing import refuse_inputs, write_file, write_stdout

__all__ = ["main", "sample_school"]


def sample_school() -> Path:
    """The folder of the bundled sample school."""
    from importlib import resources

    return Path(str(resources.files("lessoncover_planner") / "sample_school"))


def _subject_help() -> str:
    spellings = sorted(set(_subjects.TEACHER_SPELLINGS) | {s.lower() for s in _subjects.SUBJECTS})
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


def _positive(text: str) -> int:
    value = _count(text)
    if value == 0:
        raise argparse.ArgumentTypeError("must be at least 1")
    return value


PLAN_DESCRIPTION = """\
Plan cover for the absent teachers of a school day, read from the CSV files in
--data: teachers.csv (name,subject[,unavailable]), lessons.csv
(teacher,period,class) and absences.csv (name,reason[,periods]).  A folder whose
subfolders each hold those files is a week (or many schools): every day is
read and checked first, then planned in name order, and each output is written
beside its day's files or under --out DIR as cover.txt, .csv, .json or .html,
with a summary table on standard output.

The files may use comma, semicolon or tab; header names ignore case and spaces;
values are trimmed and empty rows skipped.  A period list (the 'periods' and
'unavailable' columns) reads like '3-5' or '1;4'; an empty 'periods' is all day.
"""

PLAN_EPILOG = """\
formats:
  report  the substitution report (as examples/plan_cover.py prints it), default
  csv     one row per absent lesson: absent,period,subject,class,reason,status,
          substitute,rule,why; status is covered, uncovered or not needed
  json    one object: covers, uncovered, not_needed, summary, elapsed
  html    one printable page: absentees, cover board, uncovered lessons, and one
          slip per substitute (each printed on its own page)

exit status:
  0  the plan was written
  1  an output could not be written (full disk, missing folder, ...)
  2  bad input or options (one line names the file, the line and the problem);
     nothing was written

{subjects}
"""


def build_parser(prog: str = "lessoncover") -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=prog, description="Plan cover for absent teachers from CSV files.",
        epilog=f"Run '{prog} plan --help' for the options, formats and exit codes.")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND")
    plan = commands.add_parser(
        "plan", help="plan cover for a day or a folder of days",
        description=PLAN_DESCRIPTION, epilog=PLAN_EPILOG.format(subjects=_subject_help()),
        formatter_class=argparse.RawDescriptionHelpFormatter)
    plan.add_argument("--data", type=Path, metavar="DIR",
                      help="a day's folder, or a folder of day folders (default: the bundled sample school)")
    plan.add_argument("--out", metavar="PATH",
                      help="write to PATH ('-' for standard output, the default for one day); "
                           "for a folder of days, or when PATH is a folder, the folder to write into")
    plan.add_argument("--format", choices=tuple(FORMATS), default="report",
                      help="output format: %(choices)s (default: %(default)s)")
    policy = plan.add_argument_group("cover policies (all off by default)")
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
                        help="a CSV of name,covers: the covers given so far, ranked in as prior load; "
                             "a folder of days then runs day after day, carrying the totals")
    policy.add_argument("--update-history", action="store_true",
                        help="write the new totals back to --history FILE after a successful run "
                             "(FILE may be missing at first)")
    plan.add_argument("--jobs", type=_positive, metavar="N",
                      help="processes for a folder of days without --history (default: automatic)")
    return parser


def _output_path(out: str | None, format_name: str) -> Path | None:
    """Where one day's output goes: None for standard output."""
    if out is None or out == "-":
        return None
    path = Path(out)
    if path.is_dir():
        return path / f"cover.{EXTENSIONS[format_name]}"
    return path


def run_plan(arguments: argparse.Namespace, prog: str) -> int:
    data: Path = arguments.data if arguments.data is not None else sample_school()
    format_name: str = arguments.format
    if arguments.update_history and arguments.history is None:
        raise UsageError("--update-history needs --history FILE")

    found = find_days(data)
    if found is None:
        days = [read_day(data, name="sample school" if arguments.data is None else None)]
    else:
        days = [read_day(folder, name) for name, folder in found]
    for day in days:
        for warning in day.warnings:
            print(f"{prog}: warning: {one_line(warning)}", file=sys.stderr)

    options = PolicyOptions(
        max_covers=arguments.max_covers, keep_doubles=arguments.keep_doubles,
        combined_lessons=arguments.combined_lessons, co_taught_no_cover=arguments.co_taught_no_cover,
        away_classes=tuple(dict.fromkeys(arguments.away)))
    check_away_classes(options.away_classes, days)
    history = None
    if arguments.history is not None:
        history = read_history(arguments.history, missing_ok=arguments.update_history)

    # Where everything goes, checked before anything is planned or written.
    if found is None:
        outputs = [_output_path(arguments.out, format_name)]
    else:
        if arguments.out == "-":
            raise UsageError("--out - (standard output) takes one day, not a folder of days")
        root = Path(arguments.out) if arguments.out is not None else None
        if root is not None and root.exists() and not root.is_dir():
            raise UsageError(f"--out {root} must be a folder for a folder of days")
        outputs = [(root / day.name if root is not None else day.folder) / f"cover.{EXTENSIONS[format_name]}"
                   for day in days]
    inputs = [path for day in days for path in day.files]
    if arguments.history is not None:
        inputs.append(arguments.history)
    refuse_inputs([path for path in outputs if path is not None], inputs)  # the history file among them

    results, totals = plan_days(days, options, format_name, history, arguments.jobs)

    for path, result in zip(outputs, results):
        if path is None:
            write_stdout(result.output)
        else:
            if found is not None and arguments.out is not None:
                try:
                    path.parent.mkdir(parents=True, exist_ok=True)
                except OSError as error:
                    raise WriteError(path.parent, error) from None
            write_file(path, result.output)
    if arguments.update_history and totals is not None:
        write_file(arguments.history, render_history(totals))
    if found is not None:
        table = summary_table([day.name for day in days], results, [str(path) for path in outputs])
        write_stdout(table.encode("utf-8"))
    return EXIT_OK


def main(argv: Sequence[str] | None = None, prog: str = "lessoncover") -> int:
    """Run the command with argv (default: the process's arguments); return the exit status."""
    parser = build_parser(prog)
    arguments = parser.parse_args(argv)
    if arguments.command is None:
        parser.print_usage(sys.stderr)
        print(f"{prog}: error: a command is required: plan", file=sys.stderr)
        return EXIT_BAD_INPUT
    try:
        return run_plan(arguments, prog)
    except CommandError as error:
        print(f"{prog}: error: {one_line(str(error))}", file=sys.stderr)
        return error.status
    except KeyboardInterrupt:
        print(f"{prog}: interrupted", file=sys.stderr)
        return 130


def console_main() -> None:
    """The ``lessoncover`` console script."""
    sys.exit(main())

