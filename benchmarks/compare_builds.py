"""Two builds of lessoncover timed side by side on the same workloads.

    python3 -m benchmarks.compare_builds --before /tmp/venv-old/bin/python \\
        --after /tmp/venv-new/bin/python --sizes S,M,D --rounds 5

Each interpreter runs bench.py's workers from this checkout against the
lessoncover and lessoncover_planner installed in it (the workers use the public
API only), so one checkout times any build.  Round after round, case after case,
each build runs, each in a fresh subprocess, the pipeline worker (bench.py's
class-by-class pipeline: its total, and generate_substitutions() alone) and the
plan worker (plan() and report(), end to end); the builds take turns to go first
from round to round.  The figures are the medians over the rounds of each
worker's median, with the ratio after/before and the range of the rounds' own
ratios.  Both builds must give the same reports.

--wide adds days of bench.py --periods, as PERIODSxTEACHERS (e.g. 200x4000).
"""
from __future__ import annotations

import argparse
import os
import statistics
import subprocess

from benchmarks.bench import format_seconds, phase_medians, run_worker
from benchmarks.workload import SIZES

BUILDS = ("before", "after")
MEASURES = (  # (label, worker, phase)
    ("generate", "pipeline", "generate"),
    ("pipeline", "pipeline", "total"),
    ("plan()", "plan", "total"),
)


def case_arguments(case: str) -> list[str]:
    """The workers' arguments naming the workload of a case: a size, or PERIODSxTEACHERS."""
    if case in SIZES:
        return ["--size", case]
    periods, teachers = case.split("x")
    return ["--periods", periods, "--teachers", teachers]


def where_installed(python: str) -> str:
    completed = subprocess.run([python, "-c", "import lessoncover; print(lessoncover.__file__)"],
                               check=True, capture_output=True, text=True)
    return completed.stdout.strip()


def parse_cases(parser: argparse.ArgumentParser, sizes: str, wide: str) -> list[str]:
    cases = [size for size in sizes.split(",") if size]
    unknown = [size for size in cases if size not in SIZES]
    if unknown:
        parser.error("--sizes takes sizes among %s" % ", ".join(sorted(SIZES)))
    for case in filter(None, wide.split(",")):
        periods, _, teachers = case.partition("x")
        if not (periods.isdigit() and teachers.isdigit() and int(periods) >= 1 and int(teachers) >= 2):
            parser.error("--wide takes PERIODSxTEACHERS, e.g. 200x4000")
        cases.append(case)
    if not cases:
        parser.error("no case to run")
    return cases


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--before", required=True, help="the interpreter of the build before")
    parser.add_argument("--after", required=True, help="the interpreter of the build after")
    parser.add_argument("--sizes", default="S,M,D", help="comma-separated sizes (default %(default)s)")
    parser.add_argument("--wide", default="", help="comma-separated PERIODSxTEACHERS days")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repeat", type=int, default=5, help="runs of each worker")
    parser.add_argument("--warmup", type=int, default=1, help="uncounted runs before each worker's timed runs")
    parser.add_argument("--seed", type=int, default=2024)
    args = parser.parse_args()
    cases = parse_cases(parser, args.sizes, args.wide)
    pythons = {"before": args.before, "after": args.after}

    print("cases %s; %d rounds, each worker %d runs after %d warm-up; seed %d; nproc %d"
          % (", ".join(cases), args.rounds, args.repeat, args.warmup, args.seed, os.cpu_count() or 0))
    for build in BUILDS:
        print("%-6s %s: %s" % (build, pythons[build], where_installed(pythons[build])))

    times = {(case, build, label): [] for case in cases for build in BUILDS for label, _, _ in MEASURES}
    digests = {(case, build, worker): set() for case in cases for build in BUILDS for worker in ("pipeline", "plan")}
    for round_number in range(args.rounds):
        order = BUILDS if round_number % 2 == 0 else BUILDS[::-1]
        for case in cases:
            common = [*case_arguments(case), "--seed", str(args.seed), "--repeat", str(args.repeat),
                      "--warmup", str(args.warmup)]
            for build in order:
                data = {
                    "pipeline": run_worker(["--worker", "pipeline", "--implementation", "lessoncover",
                                            "--period-offset", "0", *common], pythons[build]),
                    "plan": run_worker(["--worker", "plan", *common], pythons[build]),
                }
                if not data["plan"]["installed"]:
                    raise SystemExit("%s: plan() not installed (%s)" % (build, data["plan"]["error"]))
                for label, worker, phase in MEASURES:
                    times[(case, build, label)].append(phase_medians(data[worker], (phase,))[phase])
                for worker, result in data.items():
                    digests[(case, build, worker)].add(result["digest"])

    print()
    print("%-10s %-9s %12s %12s %13s %16s" % ("case", "measure", "before", "after", "after/before",
                                              "rounds' ratios"))
    for case in cases:
        for label, _, _ in MEASURES:
            before, after = times[(case, "before", label)], times[(case, "after", label)]
            ratios = [a / b for a, b in zip(after, before)]
            print("%-10s %-9s %12s %12s %12.2fx %16s" % (
                case, label, format_seconds(statistics.median(before)), format_seconds(statistics.median(after)),
                statistics.median(after) / statistics.median(before), "%.2f-%.2fx" % (min(ratios), max(ratios))))
    print()
    differ = [case for case in cases
              if any(len(digests[(case, "before", worker)] | digests[(case, "after", worker)]) != 1
                     for worker in ("pipeline", "plan"))]
    if differ:
        print("the builds' reports DIFFER at: %s" % ", ".join(differ))
    else:
        print("both builds gave the same reports in every case and round: yes")


if __name__ == "__main__":
    main()
