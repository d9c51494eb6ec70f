"""The office's commands: init, import, absent, absences, assign, unassign, candidates, history,
and ``plan`` for a school folder. Each takes its parsed options, calls the :class:`Office` and prints."""

from __future__ import annotations

import argparse
import datetime
from collections.abc import Callable
from pathlib import Path

from ..cli.errors import EXIT_OK, UsageError
from ..cli.formats import OUTPUT_NAMES, render
from ..cli.policies import PolicyOptions, check_away_classes
from ..cli.streams import say
from ..cli.writing import refuse_inputs, refuse_links, write_file, write_stdout
from .ledger import AbsenceEntry
from .office import NOT_A_SCHOOL, Office
from .folders import LEDGER_FILE, is_school

__all__ = ["run_office", "run_school_plan"]


def _today(arguments: argparse.Namespace) -> datetime.date:
    return arguments.date if getattr(arguments, "date", None) is not None else datetime.date.today()


def _school_folder(arguments: argparse.Namespace) -> Path:
    folder = arguments.school if arguments.school is not None else Path(".")
    if not is_school(folder):
        raise UsageError(NOT_A_SCHOOL if arguments.school is None else f"{folder}: {NOT_A_SCHOOL}")
    return folder


def _print(text: str) -> None:
    write_stdout((text + "\n").encode("utf-8"))


def _weekday(date: datetime.date) -> str:
    return f"{date:%a} {date.isoformat()}"


def _run_init(arguments: argparse.Namespace, prog: str) -> int:
    from .school_folder import init_school
    from .ledger import Ledger

    folder: Path = arguments.folder
    folder.mkdir(parents=True, exist_ok=True)
    lines = init_school(folder, sample=arguments.sample)
    refuse_links([folder / LEDGER_FILE], folders=False)
    Ledger.open(folder / LEDGER_FILE, create=True).close()
    _print("\n".join([*lines, f"ledger: {folder / LEDGER_FILE}"]))
    return EXIT_OK


def _run_import(arguments: argparse.Namespace, prog: str) -> int:
    from .fet_import import import_fet

    folder = arguments.school if arguments.school is not None else Path(".")
    _print("\n".join(import_fet(arguments.export, folder, overwrite=arguments.force)))
    return EXIT_OK


def _absence_text(entry: AbsenceEntry) -> str:
    periods = f"periods {entry.periods}" if entry.periods else "all day"
    return f"{entry.name}: {periods}, {entry.reason or 'Planned Absense'}"


def _run_absent(office: Office, arguments: argparse.Namespace) -> int:
    date = _today(arguments)
    if arguments.clear:
        for name in arguments.names:
            removed = office.clear_absence(date, name)
            _print(f"{_weekday(date)}: {name}: " + ("absence removed" if removed else "was not recorded absent"))
        return EXIT_OK
    for entry in office.record_absences(date, arguments.names, arguments.reason, arguments.periods):
        _print(f"{_weekday(date)}: {_absence_text(entry)}")
    return EXIT_OK


def _run_absences(office: Office, arguments: argparse.Namespace) -> int:
    date = _today(arguments)
    label = office.check_school_day(date)
    entries = office.absences(date)
    named = f" ({label})" if label != f"{date:%a}" else ""  # a cycle's label says more than the weekday
    lines = [f"{_weekday(date)}{named}: {len(entries)} absent"]
    lines += [f"  {_absence_text(entry)}" for entry in entries]
    _print("\n".join(lines))
    return EXIT_OK


def _run_assign(office: Office, arguments: argparse.Namespace) -> int:
    date = _today(arguments)
    entries = office.assign(date, arguments.class_name, arguments.period, arguments.substitute,
                            absent=arguments.absent, force=arguments.force)
    for entry in entries:
        _print(f"{_weekday(date)}: {entry.class_name} period {entry.period}: {entry.substitute} covers "
               f"{entry.absent} ({entry.how})")
    return EXIT_OK


def _run_unassign(office: Office, arguments: argparse.Namespace) -> int:
    date = _today(arguments)
    removed = office.unassign(date, arguments.class_name, arguments.period, absent=arguments.absent)
    if not removed:
        _print(f"{_weekday(date)}: {arguments.class_name} period {arguments.period}: no cover was recorded")
    for entry in removed:
        _print(f"{_weekday(date)}: {entry.class_name} period {entry.period}: {entry.substitute} no longer "
               f"covers {entry.absent}; the lesson is uncovered until the date is planned again")
    return EXIT_OK


def _run_candidates(office: Office, arguments: argparse.Namespace) -> int:
    date = _today(arguments)
    found = office.candidates(date, arguments.absent, arguments.period, arguments.class_name)
    absent, period, class_name = found.lesson
    lines = [f"{_weekday(date)}: {class_name} period {period}, {absent}'s lesson"]
    if found.ranked:
        lines.append("could take it, in the order the planner would choose:")
        width = max(len(candidate.name) for candidate in found.ranked)
        places = len(str(len(found.ranked)))
        lines += [f"  {place:>{places}}. {candidate.name:<{width}}  {candidate.why}"
                  for place, candidate in enumerate(found.ranked, 1)]
    else:
        lines.append("nobody could take it")
    if found.excluded:
        lines.append("could not:")
        width = max(len(entry.name) for entry in found.excluded)
        lines += [f"  {entry.name:<{width}}  {entry.why}" for entry in found.excluded]
    _print("\n".join(lines))
    return EXIT_OK


def _run_history(office: Office, arguments: argparse.Namespace) -> int:
    from .history_report import render_history_report

    first, last = office.default_range(datetime.date.today())
    first = arguments.first if arguments.first is not None else first
    last = arguments.last if arguments.last is not None else last
    if first is not None and last is not None and first > last:
        raise UsageError(f"--from {first} is after --to {last}")
    data = render_history_report(office.history(first, last), first, last, arguments.format)
    _write(arguments.out, data, [*office.school.files, office.school.ledger_path])
    return EXIT_OK


def _write(out: str | None, data: bytes, inputs: list[Path]) -> None:
    if out is None or out == "-":
        write_stdout(data)
        return
    path = Path(out)
    refuse_inputs([path], inputs)
    write_file(path, data)


_OFFICE_RUNNERS: dict[str, Callable[[Office, argparse.Namespace], int]] = {
    "absent": _run_absent, "absences": _run_absences, "assign": _run_assign, "unassign": _run_unassign,
    "candidates": _run_candidates, "history": _run_history,
}


def run_office(arguments: argparse.Namespace, prog: str) -> int:
    """Run one of the office's commands (not plan)."""
    if arguments.command == "init":
        return _run_init(arguments, prog)
    if arguments.command == "import":
        return _run_import(arguments, prog)
    if arguments.command == "serve":
        from ..web.serve import run_serve

        return run_serve(_school_folder(arguments), arguments.host, arguments.port, arguments.password_file)
    with Office(_school_folder(arguments)) as office:
        return _OFFICE_RUNNERS[arguments.command](office, arguments)


def run_school_plan(arguments: argparse.Namespace, prog: str, options: PolicyOptions,
                    warn: Callable[[list[str]], None]) -> int:
    """``plan`` for a school folder: plan the date, record it in the ledger and write the plan."""
    folder = arguments.school
    if not is_school(folder):
        raise UsageError(f"{folder}: {NOT_A_SCHOOL}")
    if arguments.history is not None or arguments.update_history:
        raise UsageError("--history is for folders of days; a school folder keeps its history in its ledger")
    with Office(folder) as office:
        date = _today(arguments)
        inputs = list(office.school.files)
        absences = None
        if arguments.absences is not None:
            inputs.append(arguments.absences)
            absences = office.read_absences_file(arguments.absences)
        out = arguments.out
        if out is not None and out != "-" and Path(out).is_dir():
            out = str(Path(out) / OUTPUT_NAMES[arguments.format])
        if out is not None and out != "-":
            refuse_inputs([Path(out)], inputs + [office.school.ledger_path])
        day_for_checks = office.day(date, absences)
        check_away_classes(options.away_classes, [day_for_checks])
        warn(day_for_checks.warnings)  # the school's own, then the date's
        planned = office.plan(date, options, fresh=arguments.fresh, absences=absences)
    for line in planned.released:
        say(f"{prog}: {line}")
    data = render(arguments.format, planned.day, planned.result, slip_per_page=arguments.slip_per_page)
    if out is None or out == "-":
        write_stdout(data)
    else:
        write_file(Path(out), data)
    return EXIT_OK

