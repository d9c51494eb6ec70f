"""lessoncover plan --history: rows of day,name,covers, each day counted once however often it is run."""
import csv
import io

import pytest
from cli_support import REAL_DAY, copy_day, json_plan, plan, real_day, refused, run, write_day


def history_totals(path):
    """The covers by name that a history file holds, whatever its layout."""
    totals = {}
    for row in csv.DictReader(io.StringIO(path.read_text(encoding="utf-8"), newline="")):
        totals[row["name"]] = totals.get(row["name"], 0) + int(row["covers"])
    return totals


def substitutes(document):
    return [(c["absent"], c["period"], c["class_name"], c["substitute"]) for c in document["covers"]]


# --- a day run twice is counted once ---------------------------------------------------------

@real_day
def test_a_day_run_twice_is_counted_once(tmp_path):
    day = copy_day(REAL_DAY, tmp_path / "2025-03-10")
    history = tmp_path / "history.csv"
    history.write_text("name,covers\n", encoding="utf-8")
    first = json_plan("--data", day, "--history", history, "--update-history")
    after_first = history_totals(history)
    second = json_plan("--data", day, "--history", history, "--update-history")
    assert history_totals(history) == after_first
    assert substitutes(second) == substitutes(first)  # its own covers are no prior load of the day
    assert sum(after_first.values()) == len([c for c in first["covers"] if c["rule"] != "combined"])
