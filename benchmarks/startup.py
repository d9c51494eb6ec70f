"""Start-up time of the ``lessoncover`` command against the interpreter's own.

    python3 benchmarks/startup.py --runs 10

Runs ``python -c pass`` and ``python -m lessoncover_planner plan --data <sample school>``
(the report on standard output, thrown away) with this interpreter, one after the
other, --runs times each, and prints the median wall time of each and the difference:
what the command costs beyond starting Python. Interleaving the two keeps a busy
machine's changes of pace from falling on one of them only. Beside the wall time, the
CPU time (user and system) of each child: on a machine shared with other work, the
wall time also counts the waits for a core.
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
COMMANDS = {
    "python -c pass": [sys.executable, "-c", "pass"],
    "lessoncover plan --data sample_school": [sys.executable, "-m", "lessoncover_planner", "plan", "--data",
                                              str(SAMPLE)],
}


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
    print(f"{'medians of ' + str(args.runs):40} {'wall':>9} {'CPU':>9}")
    for name, (wall, cpu) in medians.items():
        print(f"{name:40} {wall:6.1f} ms {cpu:6.1f} ms")
    (baseline_wall, baseline_cpu), (command_wall, command_cpu) = medians.values()
    print(f"{'difference':40} {command_wall - baseline_wall:6.1f} ms {command_cpu - baseline_cpu:6.1f} ms")


if __name__ == "__main__":
    main()
