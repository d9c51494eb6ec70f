"""The greedy rule against the best plan on the real timetables, under six policies.

    python3 -m benchmarks.greedy_vs_best [--timetables DIR] [--seed N]

Each folder of --timetables (by default ``shared/data/timetables`` beside the
checkout's folder) is a school day, read as ``lessoncover plan --data`` reads
one.  Each day is planned with ``plan()`` by the greedy rule and by
``Policy(strategy="best")`` under six policies: none; ``max_covers`` 1, 2 and 3;
a tenth of the teachers unavailable in three periods; ``max_covers`` 2 with that
unavailability.  The unavailable teachers are drawn afresh for each day, with
``random.Random("<seed>:<day's folder name>")``: a tenth of the day's teachers
(rounded, at least one), drawn among those not absent all day, each then
unavailable in three distinct periods drawn among the periods the day's lessons
use.  The draws are printed after the tables.

Printed as Markdown: per day and policy, the lessons needing cover and, greedy
against best, the figures of ``CoverPlan.summary``: covered, subject,
largest_load and sum_of_squares; then their totals per policy and over all.
A row where greedy's plan beats best's in the best plan's own order (covered,
then subject, then the smaller largest load, then the smaller sum of squares;
these policies have no doubles to keep and no supply staff) is marked "!".
"""
from __future__ import annotations

import argparse
import random
from dataclasses import dataclass
from pathlib import Path

from lessoncover_planner import plan
from lessoncover_planner.cli.reading import Day, read_day

from benchmarks.strategies import STRATEGIES, strategy_policies


TIMETABLES = Path(__file__).resolve().parents[2] / "shared" / "data" / "timetables"
FIGURES = ("covered", "subject", "largest_load", "sum_of_squares")
UNAVAILABLE_SHARE = 0.1
UNAVAILABLE_PERIODS = 3
POLICIES = ("none", "max_covers 1", "max_covers 2", "max_covers 3", "unavailable", "max_covers 2 + unavailable")


@dataclass(frozen=True)
class Outcome:
    """One day under one policy: the lessons needing cover, and each strategy's figures."""

    day: str
    policy: str
    needing: int
    figures: dict  # strategy -> (covered, subject, largest_load, sum_of_squares)

    def greedy_beats_best(self) -> bool:
        def order(figures: tuple) -> tuple:
            covered, subject, largest_load, sum_of_squares = figures
            return covered, subject, -largest_load, -sum_of_squares
        return order(self.figures["greedy"]) > order(self.figures["best"])


def unavailability(day: Day, seed: int) -> dict[str, tuple[int, ...]]:
    """The drawn unavailable periods by teacher, in the day's teachers order."""
    rng = random.Random(f"{seed}:{day.name}")
    absent_all_day = {name for name in day.absences if name not in day.absent_periods}
    present = [name for name, _ in day.teachers if name not in absent_all_day]
    periods = sorted({period for _, period, _ in day.lessons})
    count = min(len(present), max(1, round(UNAVAILABLE_SHARE * len(day.teachers))))
    chosen = set(rng.sample(present, count))
    return {name: tuple(sorted(rng.sample(periods, min(UNAVAILABLE_PERIODS, len(periods)))))
            for name in present if name in chosen}


def policy_options(name: str, day: Day, drawn: dict[str, tuple[int, ...]]) -> dict:
    options: dict = {}
    if name.startswith("max_covers"):
        options["max_covers"] = int(name.split()[1])
    if name.endswith("unavailable"):
        unavailable = {teacher: set(periods) for teacher, periods in day.unavailable.items()}
        for teacher, periods in drawn.items():
            unavailable.setdefault(teacher, set()).update(periods)
        options["unavailable"] = unavailable
    elif day.unavailable:
        options["unavailable"] = dict(day.unavailable)
    return options


def figures_of(planned) -> tuple:
    return tuple(getattr(planned.summary, figure) for figure in FIGURES)


def outcome(day: Day, policy_name: str, drawn: dict) -> Outcome:
    policies = strategy_policies(**policy_options(policy_name, day, drawn))
    absences = day.planner_absences()
    figures, needing = {}, 0
    for strategy in STRATEGIES:
        planned = plan(day.teachers, day.lessons, absences, policy=policies[strategy])
        figures[strategy] = figures_of(planned)
        needing = len(planned.covers) + len(planned.uncovered)
    return Outcome(day.name, policy_name, needing, figures)


def header() -> list[str]:
    columns = [f"{figure} {strategy}" for figure in FIGURES for strategy in STRATEGIES]
    return ["| day | policy | needing cover | " + " | ".join(columns) + " |",
            "|---|---|---" + "|---" * len(columns) + "|"]


def row(first: str, second: str, needing: int, figures: dict, mark: str = "") -> str:
    cells = [f"{figures[strategy][index]:,}" for index in range(len(FIGURES)) for strategy in STRATEGIES]
    return f"| {first} | {second}{mark} | {needing:,} | " + " | ".join(cells) + " |"


def summed(outcomes: list[Outcome]) -> tuple[int, dict]:
    figures = {strategy: tuple(sum(o.figures[strategy][index] for o in outcomes)
                               for index in range(len(FIGURES))) for strategy in STRATEGIES}
    return sum(o.needing for o in outcomes), figures


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--timetables", type=Path, default=TIMETABLES,
                        help="a folder of school days, one folder each (default: %(default)s)")
    parser.add_argument("--seed", type=int, default=26, help="the seed of the unavailability draws")
    args = parser.parse_args()
    folders = sorted(path for path in args.timetables.iterdir() if path.is_dir())
    if not folders:
        parser.error(f"no school day folders in {args.timetables}")

    days = [read_day(folder) for folder in folders]
    drawn = {day.name: unavailability(day, args.seed) for day in days}
    outcomes = [outcome(day, name, drawn[day.name]) for day in days for name in POLICIES]

    print(f"Greedy against best on {len(days)} days of {args.timetables}, seed {args.seed}\n")
    print("\n".join(header()))
    for result in outcomes:
        print(row(result.day, result.policy, result.needing, result.figures,
                  " !" if result.greedy_beats_best() else ""))
    print("\nTotals over the days:\n")
    print("\n".join(header()))
    for name in POLICIES:
        print(row("all", name, *summed([o for o in outcomes if o.policy == name])))
    print(row("all", "all six", *summed(outcomes)))
    beaten = sum(o.greedy_beats_best() for o in outcomes)
    print(f"\nRows where greedy beats best in the best plan's order: {beaten}.")
    print(f"\nUnavailable (a tenth of each day's teachers, three periods each, seed {args.seed}):\n")
    for day in days:
        listed = "; ".join(f"{name} {','.join(map(str, periods))}" for name, periods in drawn[day.name].items())
        print(f"- {day.name}: {listed}")


if __name__ == "__main__":
    main()
