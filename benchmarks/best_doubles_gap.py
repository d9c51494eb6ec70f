"""How many doubles the best plan keeps with keep_doubles, against the exact optimum.

    python3 -m benchmarks.best_doubles_gap --days 200

With keep_doubles the level of doubles kept couples two periods, so the best strategy may
solve it by a method that is not exact.  This plans the seeded random small days of
tests/model/small_days.py (seeds 0 .. --days-1, keep_doubles on, the rest of the policy
drawn) with Policy(strategy="best") and solves each exactly (tests/model/best_oracle.py,
scipy's milp), and prints: the days, the days where some double could be kept, the doubles
best keeps and the optimum summed over the days, the days short of the optimum and the
largest shortfall, each of those days listed with its seed.  Lessons covered must equal the
optimum on every day (the level before doubles); a day where they do not is listed too.  The
days are planned in a child process, one after another, each given --timeout seconds (default
30): a day the planner does not return from is listed, not waited for, and a new child goes on
from the next day.

Run from the repository's root, where ``tests.model`` is importable; needs scipy (the test
extra).
"""
from __future__ import annotations

import argparse
import ast
import selectors
import subprocess
import sys

from lessoncover_planner import Policy, plan
from tests.model.best_oracle import best_figures
from tests.model.small_days import model_policy, random_case


def best_summary(seed: int) -> tuple[int, ...]:
    """The summary of the seed's day planned by the best strategy, as a tuple."""
    teachers, lessons, absences, options = random_case(seed, keep_doubles=True)
    summary = plan(teachers, lessons, absences, policy=Policy(strategy="best", **options)).summary
    return (summary.covered, summary.subject, summary.supply, summary.doubles_kept, summary.largest_load,
            summary.sum_of_squares, summary.knows_class)


def best_summaries(seeds: range, timeout: float) -> dict[int, tuple[int, ...] | None]:
    """The best summary of each seed's day, or None for a day the planner did not return from
    in time: planned in a child process, a new one after such a day."""
    found: dict[int, tuple[int, ...] | None] = {}
    while len(found) < len(seeds):
        first = seeds[len(found)]
        command = [sys.executable, "-m", "benchmarks.best_doubles_gap", "--child", str(first), str(seeds.stop)]
        with subprocess.Popen(command, stdout=subprocess.PIPE, text=True) as child:
            assert child.stdout is not None
            with selectors.DefaultSelector() as waiting:
                waiting.register(child.stdout, selectors.EVENT_READ)
                while len(found) < len(seeds):
                    seed = seeds[len(found)]
                    line = child.stdout.readline() if waiting.select(timeout) else ""
                    if not line:
                        found[seed] = None
                        child.kill()
                        break
                    found[seed] = ast.literal_eval(line)
    return found


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--days", type=int, default=200, help="seeds 0 .. DAYS-1 (default 200)")
    parser.add_argument("--timeout", type=float, default=30, help="seconds a day may take (default 30)")
    # The child's side: plan the days of seeds FIRST .. STOP-1, a summary a line.
    parser.add_argument("--child", type=int, nargs=2, metavar=("FIRST", "STOP"), help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.child is not None:
        for seed in range(*args.child):
            print(best_summary(seed), flush=True)
        return

    kept = possible = with_doubles = 0
    short, wrong_cover, no_return = [], [], []
    for seed, summary in best_summaries(range(args.days), args.timeout).items():
        if summary is None:
            no_return.append(seed)
            continue
        teachers, lessons, absences, options = random_case(seed, keep_doubles=True)
        optimum, _ = best_figures(teachers, lessons, absences, model_policy(options))
        covered, doubles, most_covered, most_doubles = summary[0], summary[3], optimum.covered, optimum.doubles_kept
        kept += doubles
        possible += most_doubles
        with_doubles += most_doubles > 0
        if covered != most_covered:
            wrong_cover.append((seed, covered, most_covered))
        if doubles < most_doubles:
            short.append((seed, doubles, most_doubles))

    print(f"days: {args.days}, with a double to keep: {with_doubles}")
    if no_return:
        print(f"days the planner did not return from in {args.timeout:g} s (left out below): "
              + ", ".join(f"seed {seed}" for seed in no_return))
    print(f"doubles kept: best {kept}, optimum {possible}")
    print(f"days short of the optimum: {len(short)}, largest shortfall: "
          f"{max((most - got for _, got, most in short), default=0)}")
    for seed, got, most in short:
        print(f"  seed {seed}: best keeps {got} of {most}")
    if wrong_cover:
        print(f"days where best covers other than the most lessons: {len(wrong_cover)}")
        for seed, got, most in wrong_cover:
            print(f"  seed {seed}: best covers {got}, optimum {most}")


if __name__ == "__main__":
    main()
