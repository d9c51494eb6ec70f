"""What planning a day's files imports: only what the chosen format needs.

The command's start-up is mostly imports, so a module pulled in by the way (the records'
and the policy's dataclasses with inspect behind them, typing, the templates, the process
pool, the office) is time every run pays. Each case runs in a fresh interpreter and counts
only what the command adds to what the interpreter imported at start-up: a site hook may
import typing before any of our code runs."""
import json
import subprocess
import sys

import pytest

from cli_support import SAMPLE

HEAVY = ("dataclasses", "inspect", "typing", "jinja2", "multiprocessing", "concurrent.futures", "tqdm",
         "lessoncover_planner.records", "lessoncover_planner.policy", "lessoncover_planner.office",
         "lessoncover_planner.web")

PROBE = """
import io, json, sys
already = set(sys.modules)
from lessoncover_planner.cli import main
out, err = io.BytesIO(), io.BytesIO()
status = main(sys.argv[1:], stdout=out, stderr=err)
print(json.dumps({"status": status, "err": err.getvalue().decode(), "size": len(out.getvalue()),
                  "imported": sorted(name for name in sys.modules if name in %r and name not in already)}))
""" % (HEAVY,)


def imported_by(*args):
    shown = subprocess.run([sys.executable, "-c", PROBE, "plan", "--data", str(SAMPLE), *args],
                           capture_output=True, text=True, check=True)
    run = json.loads(shown.stdout)
    assert run["status"] == 0 and run["err"] == "" and run["size"] > 0, run
    return set(run["imported"])


@pytest.mark.parametrize("args, needed", [
    ((), set()),
    (("--format", "report"), set()),
    (("--format", "csv"), set()),
    (("--format", "json"), {"dataclasses", "inspect", "lessoncover_planner.records"}),
    (("--format", "html"), {"jinja2", "typing", "inspect"}),  # Jinja's own imports
    (("--max-covers", "2"), {"dataclasses", "inspect", "lessoncover_planner.policy"}),
], ids=["text", "report", "csv", "json", "html", "policy"])
def test_a_day_imports_only_what_its_format_needs(args, needed):
    assert imported_by(*args) - needed == set()
