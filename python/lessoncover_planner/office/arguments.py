"""The office commands' options, kept apart from their work so that building the command
line imports nothing the ``plan`` of a day folder does not need."""

from __future__ import annotations

import argparse
from pathlib import Path

TYPE_CHECKING = False  # as typing.TYPE_CHECKING, without importing typing at run time
if TYPE_CHECKING:
    import datetime

__all__ = ["add_office_commands", "date_argument"]


def date_argument(text: str) -> datetime.date:
    """A date as the commands take it; parsed against today."""
    import datetime

    from .calendar import parse_date

    try:
        return parse_date(text, datetime.date.today())
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def _period_argument(text: str) -> int:
    from ..cli.errors import InputError
    from ..cli.reading import parse_period

    try:
        return parse_period(Path("--period"), None, text)
    except InputError as error:
        raise argparse.ArgumentTypeError(error.problem) from None


def _school_option(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--school", type=Path, metavar="DIR", default=None,
                        help="the school folder (default: the current folder)")


def _date_option(parser: argparse.ArgumentParser, required: bool = False) -> None:
    parser.add_argument("--date", type=date_argument, metavar="D", default=None, required=required,
                        help="today, tomorrow, an ISO date (2025-03-10) or a weekday name, the next such "
                             "day on or after today (default: today)")


def _lesson_options(parser: argparse.ArgumentParser) -> None:
    _date_option(parser)
    parser.add_argument("--class", dest="class_name", required=True, metavar="CLASS", help="the class")
    parser.add_argument("--period", type=_period_argument, required=True, metavar="N", help="the period")
    parser.add_argument("--absent", metavar="NAME",
                        help="the absent teacher, when two absent lessons share the class and period")
    _school_option(parser)


def add_office_commands(commands: argparse._SubParsersAction[argparse.ArgumentParser],
                        formatter: type[argparse.HelpFormatter]) -> None:
    """The office's subcommands, beside ``plan``."""
    init = commands.add_parser("init", help="set up a school folder", formatter_class=formatter,
                               description="Write a commented school.toml and the ledger in DIR; without "
                                           "timetable files, teachers.csv, lessons.csv and absences.csv with headers only.")
    init.add_argument("folder", nargs="?", type=Path, default=Path("."), metavar="DIR",
                      help="the school folder (default: the current folder)")
    init.add_argument("--sample", action="store_true", help="make a sample school with a week's timetable")

    imports = commands.add_parser("import", help="turn a timetable export into teachers.csv and lessons.csv",
                                  formatter_class=formatter)
    imports.add_argument("kind", choices=("fet",), help="the export's kind: fet (FET's timetable CSV)")
    imports.add_argument("export", type=Path, metavar="EXPORT.csv", help="the exported file")
    imports.add_argument("--force", action="store_true", help="replace teachers.csv and lessons.csv if present")
    _school_option(imports)

    absent = commands.add_parser("absent", help="record absences for a date", formatter_class=formatter)
    absent.add_argument("names", nargs="+", metavar="NAME", help="the absent teachers")
    _date_option(absent)
    absent.add_argument("--periods", default="", metavar="LIST",
                        help="periods of a part-day absence, such as 3-5 or 1;4 (default: all day)")
    absent.add_argument("--reason", default=None, metavar="TEXT", help="why (default: Planned Absense)")
    absent.add_argument("--clear", action="store_true", help="remove the names' absences for the date instead")
    _school_option(absent)

    absences = commands.add_parser("absences", help="list a date's absences", formatter_class=formatter)
    _date_option(absences)
    _school_option(absences)

    assign = commands.add_parser("assign", help="set a cover by hand", formatter_class=formatter)
    assign.add_argument("substitute", metavar="SUBSTITUTE", help="who covers")
    _lesson_options(assign)
    assign.add_argument("--force", action="store_true",
                        help="set it even when the substitute teaches, covers, is unavailable or at the cap "
                             "then (never when absent)")

    unassign = commands.add_parser("unassign", help="remove a cover", formatter_class=formatter)
    _lesson_options(unassign)

    candidates = commands.add_parser("candidates", help="who could take a lesson, and who not",
                                     formatter_class=formatter)
    _lesson_options(candidates)

    history = commands.add_parser("history", help="covers per teacher over a range of dates",
                                  formatter_class=formatter)
    history.add_argument("--from", dest="first", type=date_argument, metavar="D",
                         help="the first date (default: the current term's start, or the beginning)")
    history.add_argument("--to", dest="last", type=date_argument, metavar="D",
                         help="the last date (default: the current term's end, or the end)")
    history.add_argument("--format", choices=("text", "csv", "html"), default="text",
                         help="output format: %(choices)s (default: %(default)s)")
    history.add_argument("--out", metavar="PATH", help="write to PATH (default: standard output)")
    _school_option(history)

    serve = commands.add_parser("serve", help="the cover office in a browser", formatter_class=formatter,
                                description="Serve the school folder's office as web pages until interrupted. "
                                            "Needs the [web] extra. On an address other than loopback a password "
                                            "is required: --password-file or LESSONCOVER_PASSWORD.")
    _school_option(serve)
    serve.add_argument("--host", default="127.0.0.1", metavar="ADDRESS",
                       help="the address to listen on (default: %(default)s, this machine only)")
    serve.add_argument("--port", type=int, default=8765, metavar="N", help="the port (default: %(default)s)")
    serve.add_argument("--password-file", type=Path, metavar="FILE",
                       help="a file whose first line is the password visitors must give")
