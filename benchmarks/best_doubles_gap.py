"""How many doubles the best plan keeps with keep_doubles, against the exact optimum.

    python3 -m benchmarks.best_doubles_gap --days 200

With keep_doubles the level of doubles kept couples two periods, so the best strategy may
solve it by a method that is not exact.  This plans the seeded random small days of
tests/model/small_days.py (seeds 0 .. --days-1, keep_doubles on, the rest of the policy
drawn) with Policy(strategy="best") and solves each exactly (tests/model/best_oracle.py,
scipy's milp), and prints: the days, the days where some double could be kept, the doubles
best keeps and the optimum summed over the days, the days short of the optimum and the
largest shortfall, each of those days listed with its seed.  Lessons covered must equal the
optimum on every day (the level before doubles); a day where they do not is listed too.

Run from the repository's root, where ``tests.model`` is importable; needs scipy (the test
extra).
"""
from __future__ import annotations

import argparse

from lessoncover_planner import Policy, plan
from tests.model.best_oracle import best_figures
from tests.model.small_days import model_policy, random_case


def compare(seed: int) -> tuple[int, int, int, int]:
    """(covered by best, covered at most, doubles best keeps, doubles kept at most) of a day."""
    teachers, lessons, absences, options = random_case(seed, keep_doubles=True)
    optimum, _ = best_figures(teachers, lessons, absences, model_policy(options))
    summary = plan(teachers, lessons, absences, policy=Policy(strategy="best", **options)).summary
    return summary.covered, optimum.covered, summary.doubles_kept, optimum.doubles_kept


def main(argv: list[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--days", type=int, default=200, help="seeds 0 .. DAYS-1 (default 200)")
    args = parser.parse_args(argv)

    kept = possible = with_doubles = 0
    short, wrong_cover = [], []
    for seed in range(args.days):
        covered, most_covered, doubles, most_doubles = compare(seed)
        kept += doubles
        possible += most_doubles
        with_doubles += most_doubles > 0
        if covered != most_covered:
            wrong_cover.append((seed, covered, most_covered))
        if doubles < most_doubles:
            short.append((seed, doubles, most_doubles))

    print(f"days: {args.days}, with a double to keep: {with_doubles}")
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
