"""Start-up time of the ``lessoncover`` command against the interpreter's own.

    python3 -m benchmarks.startup --runs 10

Runs ``python -c pass``, the installed ``lessoncover`` script (the one beside this
interpreter) and ``python -m lessoncover_planner``, each as ``plan --data <sample school>``
with the board on standard output, thrown away, one after the other, --runs times each,
and prints the median wall time of each and its difference from ``python -c pass``: what
the command costs beyond starting Python. Beside them, a script that only imports and uses
the standard modules the command is built on (re, argparse, csv, pathlib): the floor under
the command's start-up. ``-m`` also pays for runpy, which the script
does not. Interleaving the runs keeps a busy machine's changes of pace from falling on one
of them only. Beside the wall time, the CPU time (user and system) of each child: on a
machine shared with other work, the wall time also counts the waits for a core.
"""
from __future__ import annotations

import argparse
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path

SAMPLE = Path(__file__).resolve().parents[1] / "python" / "lessoncover_planner" / "sample_school"
SCRIPT = Path(sys.executable).parent / "lessoncover"
BASELINE = "python -c pass"
# The standard modules the command is built on, used as it uses them: the script that pip
# writes imports re; argparse (which imports gettext, and locale when it first translates)
# parses; csv reads; pathlib names the files. The command cannot start faster than this.
FLOOR = "standard modules only"
FLOOR_CODE = ("import re, argparse, csv, pathlib; parser = argparse.ArgumentParser(); "
              "parser.add_argument('--data', type=pathlib.Path); parser.parse_args(['--data', '.'])")
COMMANDS = {
    BASELINE: [sys.executable, "-c", "pass"],
    FLOOR: [sys.executable, "-c", FLOOR_CODE],
    "lessoncover plan --data sample_school": [sys.executable, str(SCRIPT), "plan", "--data", str(SAMPLE)],
    "python -m lessoncover_planner plan ...": [sys.executable, "-m", "lessoncover_planner", "plan", "--data",
                                               str(SAMPLE)],
}
if not SCRIPT.exists():  # not installed beside this interpreter: -m only
    del COMMANDS["lessoncover plan --data sample_school"]


def children_cpu_time() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_time(command: list[str]) -> tuple[float, float]:
    """The wall time and the CPU time of one run of `command`."""
    cpu = children_cpu_time()
    started = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - started, children_cpu_time() - cpu


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    for command in COMMANDS.values():  # warms the file cache and the bytecode caches
        run_time(command)
    times: dict[str, list[tuple[float, float]]] = {name: [] for name in COMMANDS}
    for _ in range(args.runs):
        for name, command in COMMANDS.items():
            times[name].append(run_time(command))
    medians = {name: [statistics.median(run[kind] for run in runs) * 1e3 for kind in (0, 1)]
               for name, runs in times.items()}
    print(f"{'medians of ' + str(args.runs):40} {'wall':>9} {'CPU':>9} {'wall above':>11} {'CPU above':>10}")
    baseline_wall, baseline_cpu = medians[BASELINE]
    for name, (wall, cpu) in medians.items():
        above = "" if name == BASELINE else f" {wall - baseline_wall:8.1f} ms {cpu - baseline_cpu:7.1f} ms"
        print(f"{name:40} {wall:6.1f} ms {cpu:6.1f} ms{above}")

if __name__ == "__main__":
    main()
