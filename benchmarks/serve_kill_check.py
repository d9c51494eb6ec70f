"""After the server was killed and restarted under the workers: is every change the workers
were told was done in the ledger, and is nothing half-made?

Read straight from the ledger file with SQLite, after the last server has stopped:

* each (date, teacher) a worker marked absent or back holds what the worker's last change
  that was done left, or what a later change in doubt (the server died before the worker
  learnt its outcome) left; the workers own disjoint teachers, so their changes decide it;
* each pin that was done and whose date has not been written since (its version is the one
  the pin left) holds that substitute;
* no date's version is below one a page showed (a lost commit would take it back);
* ``PRAGMA integrity_check`` and ``PRAGMA foreign_key_check`` find nothing;
* each date whose version did not move since its last plan run holds the covers and open
  lessons that run counted.
"""
from __future__ import annotations

import datetime
import sqlite3
from collections.abc import Iterable
from dataclasses import dataclass, field
from pathlib import Path

from .serve_client import ADD, PIN, REMOVE, Change

Absence = tuple[str, str] | None  # (reason, periods), or None: not absent


@dataclass
class Findings:
    checked: dict[str, int] = field(default_factory=dict)
    faults: list[str] = field(default_factory=list)

    def count(self, what: str, number: int = 1) -> None:
        self.checked[what] = self.checked.get(what, 0) + number


def _absences(db: sqlite3.Connection) -> dict[tuple[str, str], Absence]:
    return {(day, name): (reason or "", periods)
            for day, name, reason, periods in db.execute("SELECT day, name, reason, periods FROM absences")}


def absences_now(ledger: Path) -> dict[tuple[str, str], Absence]:
    db = sqlite3.connect(f"{ledger.absolute().as_uri()}?mode=ro", uri=True)
    try:
        return _absences(db)
    finally:
        db.close()


def _result(change: Change) -> Absence:
    return (change.fields["reason"], change.fields["periods"]) if change.kind == ADD else None


def expected_absences(before: dict[tuple[str, str], Absence], changes: Iterable[Change]
                      ) -> dict[tuple[str, str], set[Absence]]:
    """What each (date, teacher) a worker changed may hold: what its last change done left
    (or what it held before), or what a change in doubt after that left."""
    allowed: dict[tuple[str, str], set[Absence]] = {}
    for change in changes:  # one worker's changes of a teacher are in the order it made them
        if change.kind not in (ADD, REMOVE) or change.state == "refused":
            continue
        key = (change.date.isoformat(), change.fields["teacher"])
        if change.state == "done":
            allowed[key] = {_result(change)}
        else:
            allowed.setdefault(key, {before.get(key)}).add(_result(change))
    return allowed


def check_ledger(ledger: Path, before: dict[tuple[str, str], Absence], changes: list[Change],
                 versions_seen: dict[datetime.date, int]) -> Findings:
    found = Findings()
    db = sqlite3.connect(f"{ledger.absolute().as_uri()}?mode=ro", uri=True)
    try:
        integrity = [row[0] for row in db.execute("PRAGMA integrity_check")]
        found.count("integrity_check")
        if integrity != ["ok"]:
            found.faults.append(f"integrity_check: {integrity[:5]}")
        foreign = db.execute("PRAGMA foreign_key_check").fetchall()
        found.count("foreign_key_check")
        if foreign:
            found.faults.append(f"foreign_key_check: {foreign[:5]}")
        absences = _absences(db)
        for key, allowed in expected_absences(before, changes).items():
            found.count("absences (date, teacher) changed by a worker")
            if absences.get(key) not in allowed:
                found.faults.append(f"absence {key}: holds {absences.get(key)}, expected one of {allowed}")
        versions = dict(db.execute("SELECT day, version FROM days"))
        for change in changes:
            if change.kind != PIN or change.state != "done" or change.version_after is None:
                continue
            found.count("pins done")
            if versions.get(change.date.isoformat()) != change.version_after:
                continue
            found.count("pins done whose date was not written since")
            row = db.execute("SELECT substitute FROM covers WHERE day = ? AND absent = ? AND period = ? AND "
                             "class_name = ?", (change.date.isoformat(), change.fields["absent"],
                                                int(change.fields["period"]), change.fields["class"])).fetchone()
            if row is None or row[0] != change.fields["substitute"]:
                found.faults.append(f"pin {change.date} {change.fields}: the ledger has {row}")
        for date, seen in versions_seen.items():
            found.count("dates' versions against the highest a page showed")
            if versions.get(date.isoformat(), 0) < seen:
                found.faults.append(f"{date}: version {versions.get(date.isoformat())} below {seen} shown on a page")
        for day, version in versions.items():
            run = db.execute("SELECT covered, uncovered, not_needed, version FROM plan_runs WHERE day = ? "
                             "ORDER BY id DESC LIMIT 1", (day,)).fetchone()
            if run is None:
                continue
            found.count("dates with a plan run")
            if run[3] != version:
                continue
            found.count("dates unchanged since their last plan run")
            covers = db.execute("SELECT count(*) FROM covers WHERE day = ?", (day,)).fetchone()[0]
            uncovered, not_needed = (db.execute("SELECT count(*) FROM open_lessons WHERE day = ? AND needed = ?",
                                                (day, needed)).fetchone()[0] for needed in (1, 0))
            if (covers, uncovered, not_needed) != tuple(run[:3]):
                found.faults.append(f"{day}: covers/uncovered/not needed {covers}/{uncovered}/{not_needed}, "
                                    f"its last plan run counted {run[0]}/{run[1]}/{run[2]}")
    finally:
        db.close()
    return found
