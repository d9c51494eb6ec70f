"""The best plan's planning time against the greedy rule's, in one run.

    python3 -m benchmarks.best_plan --rounds 5 --repeat 3 --sizes S,M,D,L,X

The days are the 150-teacher, 8-period day of ``workload.school_day`` and the
workloads of --sizes (``workload.SIZES``: 300 to 100,000 teachers, 0.6 classes a
teacher), each given to ``plan()`` as the three lists of ``workload.plan_inputs``,
made once and not timed.  One call is ``plan(teachers, lessons, absences)`` for
greedy or ``plan(..., policy=Policy(strategy="best"))`` for best; the report is not
made.  After one uncounted warm-up call of each, a round calls every day in turn,
--repeat times each strategy, the two alternating call by call and taking turns at
going first from round to round, so that the changes of pace of a shared machine
fall on both alike.  Printed, as Markdown tables: the medians over every call of
the process's CPU time and of the wall time, best against greedy (best/greedy from
the CPU medians), and the growth of each from size to size, with best's exponent k
such that its time grows as (teachers)^k over that step.  The targets: the
150-teacher day in 2 ms at most with best; best at D within 10 times greedy.
"""
from __future__ import annotations

import argparse
import math
import statistics
import time

from lessoncover_planner import plan

from benchmarks.strategies import STRATEGIES, strategy_policies
from benchmarks.workload import SIZES, make_workload, plan_inputs, school_day

DAY = "150-teacher day"
DAY_TARGET = 2e-3  # seconds, best
RATIO_TARGET = ("D", 10.0)  # best / greedy at that size


def seconds_text(seconds: float) -> str:
    if seconds < 1e-3:
        return f"{seconds * 1e6:.0f} µs"
    if seconds < 1:
        return f"{seconds * 1e3:.3g} ms"
    return f"{seconds:.3g} s"


def timed_plan(inputs: tuple, policy) -> tuple[float, float]:
    """The CPU and wall time of one plan() call."""
    cpu, wall = time.process_time(), time.perf_counter()
    plan(*inputs, policy=policy)
    return time.process_time() - cpu, time.perf_counter() - wall


def days(sizes: list[str], seed: int) -> dict:
    chosen = {DAY: plan_inputs(school_day(seed))}
    for size in sizes:
        chosen[size] = plan_inputs(make_workload(SIZES[size], seed))
    return chosen


def measure(inputs: dict, policies: dict, rounds: int, repeat: int) -> dict:
    """(CPU, wall) of every counted call, by day and strategy."""
    times = {(day, strategy): [] for day in inputs for strategy in STRATEGIES}
    for day, lists in inputs.items():
        for strategy in STRATEGIES:
            timed_plan(lists, policies[strategy])
    for number in range(rounds):
        order = STRATEGIES if number % 2 == 0 else STRATEGIES[::-1]
        for day, lists in inputs.items():
            for _ in range(repeat):
                for strategy in order:
                    times[day, strategy].append(timed_plan(lists, policies[strategy]))
    return times


def medians(samples: list) -> tuple[float, float]:
    return statistics.median(cpu for cpu, _ in samples), statistics.median(wall for _, wall in samples)


def lessons_to_cover(lists: tuple, policy) -> tuple[int, int]:
    """The lessons that need cover and those the plan covers."""
    day = plan(*lists, policy=policy)
    return len(day.covers) + len(day.uncovered), len(day.covers)


def timing_table(inputs: dict, policies: dict, times: dict) -> list[str]:
    rows = ["| day | teachers | lessons | to cover | covered greedy / best | greedy CPU | greedy wall "
            "| best CPU | best wall | best/greedy |",
            "|---|---|---|---|---|---|---|---|---|---|"]
    for day, lists in inputs.items():
        teachers, lessons, _ = lists
        needing, greedy_covered = lessons_to_cover(lists, policies["greedy"])
        _, best_covered = lessons_to_cover(lists, policies["best"])
        greedy_cpu, greedy_wall = medians(times[day, "greedy"])
        best_cpu, best_wall = medians(times[day, "best"])
        rows.append(f"| {day} | {len(teachers):,} | {len(lessons):,} | {needing:,} "
                    f"| {greedy_covered:,} / {best_covered:,} "
                    f"| {seconds_text(greedy_cpu)} | {seconds_text(greedy_wall)} "
                    f"| {seconds_text(best_cpu)} | {seconds_text(best_wall)} | {best_cpu / greedy_cpu:.2f}× |")
    return rows


def growth_table(inputs: dict, sizes: list[str], times: dict) -> list[str]:
    """Each size against the one before, and the last against the first."""
    steps = list(zip(sizes, sizes[1:]))
    if len(sizes) > 2:
        steps.append((sizes[0], sizes[-1]))
    rows = ["| from | to | teachers × | absent lessons × | greedy CPU × | best CPU × | best's exponent "
            "| best/greedy before, after |",
            "|---|---|---|---|---|---|---|---|"]
    for first, last in steps:
        cpu = {(size, strategy): medians(times[size, strategy])[0] for size in (first, last) for strategy in STRATEGIES}
        rows.append(f"| {first} | {last} | {SIZES[last] / SIZES[first]:.3g} "
                    f"| {absent_lessons(inputs[last]) / absent_lessons(inputs[first]):.3g} "
                    f"| {cpu[last, 'greedy'] / cpu[first, 'greedy']:.3g} "
                    f"| {cpu[last, 'best'] / cpu[first, 'best']:.3g} "
                    f"| {math.log(cpu[last, 'best'] / cpu[first, 'best']) / math.log(SIZES[last] / SIZES[first]):.2f} "
                    f"| {cpu[first, 'best'] / cpu[first, 'greedy']:.2f}, {cpu[last, 'best'] / cpu[last, 'greedy']:.2f} |")
    return rows


def absent_lessons(lists: tuple) -> int:
    _, lessons, absences = lists
    return sum(teacher in absences for teacher, _, _ in lessons)


def verdicts(times: dict) -> list[str]:
    lines = []
    best_day = medians(times[DAY, "best"])[0]
    lines.append(f"- {DAY}, best: {seconds_text(best_day)} CPU against a target of at most "
                 f"{seconds_text(DAY_TARGET)}: {'met' if best_day <= DAY_TARGET else 'missed'}.")
    size, target = RATIO_TARGET
    if (size, "best") in times:
        ratio = medians(times[size, "best"])[0] / medians(times[size, "greedy"])[0]
        lines.append(f"- {size}, best/greedy: {ratio:.2f}× against a target of at most {target:g}×: "
                     f"{'met' if ratio <= target else 'missed'}.")
    return lines


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="S,M,D,L,X",
                        help="comma-separated sizes of benchmarks/workload.py, in order (default S,M,D,L,X)")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repeat", type=int, default=3, help="calls of each strategy on each day per round")
    parser.add_argument("--seed", type=int, default=2024)
    args = parser.parse_args()
    sizes = [size.strip().upper() for size in args.sizes.split(",") if size.strip()]
    unknown = [size for size in sizes if size not in SIZES]
    if unknown:
        parser.error(f"unknown size {unknown[0]!r}; choose among {','.join(SIZES)}")
    if args.rounds < 1 or args.repeat < 1:
        parser.error("--rounds and --repeat must be at least 1")

    inputs = days(sizes, args.seed)
    policies = strategy_policies()
    times = measure(inputs, policies, args.rounds, args.repeat)
    calls = args.rounds * args.repeat
    print(f"plan(): greedy (no policy) and Policy(strategy=\"best\"), medians of {calls} calls each "
          f"({args.rounds} rounds of {args.repeat}), seed {args.seed}\n")
    print("\n".join(timing_table(inputs, policies, times)))
    if len(sizes) > 1:
        print("\nGrowth, CPU medians:\n")
        print("\n".join(growth_table(inputs, sizes, times)))
    print()
    print("\n".join(verdicts(times)))


if __name__ == "__main__":
    main()
