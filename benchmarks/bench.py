"""Benchmark of lessoncover against the pure-Python reference, the plain model of its API.

    python3 -m benchmarks.bench --size M --repeat 5

For each implementation a fresh subprocess builds the workload and runs the
pipeline (create teachers, add_teacher, register_period and add_class class by
class, generate_substitutions once) several times; the median of each phase
is shown with the process's peak resident set size, so the peak belongs to one
implementation alone.  Both reports must agree (the timing line aside).

Each in a subprocess of its own as well, lessoncover alone:

- the pipeline in lessoncover_planner.plan()'s order (every lesson registered,
  then the classes added in order of first appearance), by phase, and plan()
  itself end to end on the same day; the two reports must agree.  Adding each
  class right after its lessons re-sorts the teachers with fewer lessons
  counted, so that report may differ from this one.
- the class-by-class pipeline on the same day with its periods renumbered by
  --period-offset (101..108 by default), for generation's time with periods
  outside 0..63; its report must be the other's up to the period numbers.

Per-call figures come from timeit (best of several repeats) and are shown as
nanoseconds and in units of ``str.isascii()`` on a short str measured in the
same run.

Each pipeline worker makes one warm-up run first, which is not counted.  Beside
the pipeline, in the same run, the interpreter's own share is timed: the same
loop with every call of the module replaced by a C function that does nothing
(benchmarks/bench_noop.c, built on first use into build/bench-noop-*, never part
of the module), whose teachers are objects as large as the module's, one for
each teacher.  The module's share of a phase is its time less that loop's.
Sizes L and X are run for the module alone (the reference would take hours).

How the module's cost grows with the school, the module alone:

    python3 -m benchmarks.bench --growth M,D,X --rounds 5

runs the pipeline and the no-op loop for each size in turn, round after round,
so that every size meets the same moments of a shared machine; each round gives
each size's share per lesson and generation time, and the figures shown are the
medians over the rounds, with the growth from the first size to each other one.

Planning past 64 distinct periods, the module alone:

    python3 -m benchmarks.bench --periods 80,200 --rounds 3 --repeat 1

times, on the days of benchmarks/wide_workload.py (every teacher busy in nine
periods in ten, absent lessons in every period) of each number of periods and of
--teachers (1,000 to 16,000 by default), generate_substitutions() alone after the
pipeline in plan()'s order, and plan() end to end with its report, each in a
worker of its own, case after case in turn, round after round; the two reports
must agree.  For each number of periods it prints the medians over the rounds
and their growth per doubling of the teachers.  benchmarks.compare_builds
runs these workers under two interpreters, to set two builds side by side.
"""
from __future__ import annotations

import argparse
import json
import os
import sys

from benchmarks.planner_bench import (current_rss_kib, digest, peak_rss_kib, plan_worker, unshifted_report,
                                      without_timing)
from benchmarks.workload import (PERIOD_RANGE, PERIODS_PER_DAY, SIZES, PipelineTimes, make_workload,
                                 run_pipeline, run_pipeline_plan_order)

from benchmarks.wide_workload import chosen_workload

HERE = os.path.dirname(os.path.abspath(__file__))

IMPLEMENTATIONS = ("lessoncover", "reference", "noop")
MODULE_ONLY_SIZES = ("L", "X")  # too large for the reference
ROOT = os.path.dirname(HERE)


def build_noop_module() -> str:
    """Builds benchmarks/bench_noop.c (when missing or older) and gives the built file. Its
    blank objects take as much memory as the module's Teacher objects."""
    import subprocess
    import sysconfig

    import lessoncover

    size = lessoncover.Teacher.__basicsize__
    folder = os.path.join(ROOT, "build", "bench-noop-%d" % size)
    source = os.path.join(HERE, "bench_noop.c")
    target = os.path.join(folder, "_bench_noop" + sysconfig.get_config_var("EXT_SUFFIX"))
    if not os.path.exists(target) or os.path.getmtime(target) < os.path.getmtime(source):
        os.makedirs(folder, exist_ok=True)
        compiler = os.environ.get("CC") or "cc"
        subprocess.run([compiler, "-O2", "-shared", "-fPIC", "-DBLANK_SIZE=%d" % size,
                        "-I", sysconfig.get_paths()["include"], source, "-o", target], check=True)
    return target


class NoopApi:
    """The module's API with every call a C function that does nothing: Teacher(...) gives
    a new object, as large as a Teacher, whose reason can be set; the rest give None."""

    def __init__(self):
        import importlib
        from types import SimpleNamespace

        # The no-op module is built into a folder of its own, which is searched for it.
        folder = os.path.dirname(build_noop_module())
        if folder not in sys.path:
            sys.path.append(folder)
        _bench_noop = importlib.import_module("_bench_noop")

        noop = _bench_noop.noop
        self.Teacher = _bench_noop.blank
        self.Class = noop
        self.register_period = noop
        school = SimpleNamespace(add_teacher=noop, add_class=noop, generate_substitutions=noop)
        self.School = lambda: school


def load(implementation: str):
    if implementation == "lessoncover":
        import lessoncover
        return lessoncover
    if implementation == "noop":
        return NoopApi()
    from tests.model import module_api
    return module_api


# ---------------------------------------------------------------- workers --

PIPELINES = {"class-by-class": run_pipeline, "plan-order": run_pipeline_plan_order}


def pipeline_worker(implementation: str, size: str, repeat: int, seed: int,
                    order: str = "class-by-class", period_offset: int = 0, warmup: int = 1,
                    teachers: int = 0, periods: int = 0) -> dict:
    api = load(implementation)
    workload = chosen_workload(size, seed, period_offset, teachers, periods)
    run = PIPELINES[order]
    rss_before = current_rss_kib()
    runs = []
    report_digest = None
    rows = 0
    for _ in range(warmup):
        run(api, workload)
    for _ in range(repeat):
        times = run(api, workload)
        runs.append({phase: getattr(times, phase) for phase in PipelineTimes.PHASES})
        if implementation == "noop":
            continue
        text = without_timing(times.result)
        # With the periods numbered as without an offset, so that the variants compare.
        this_digest = digest(unshifted_report(text, period_offset))
        if report_digest is not None and this_digest != report_digest:
            raise SystemExit("the report changed between runs")
        report_digest = this_digest
        rows = text.count("\n") - 2
        del times, text
    return {
        "runs": runs,
        "digest": report_digest,
        "rows": rows,
        "lessons": workload.lesson_count,
        "rss_before_kib": rss_before,
        "peak_rss_kib": peak_rss_kib(),
    }


def best_ns(stmt: str, setup: str, namespace: dict, number: int, repeat: int | None = None) -> float:
    """Nanoseconds per call: the best of several timings of `number` calls each."""
    import timeit

    if repeat is None:
        repeat = max(7, 2_000_000 // number)
    timer = timeit.Timer(stmt, setup=setup, globals=namespace)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e9


PER_CALL = (
    # (label, statement, setup, calls per timing)
    ("str.isascii() [unit]", "s.isascii()", "s = 'Maths'", 1_000_000),
    # For comparison: the interpreter's own cheapest property read, a function's __name__.
    ("function.__name__ [property]", "f.__name__", "", 1_000_000),
    ("Teacher(...)", "Teacher('Asha Rao', 'Maths', True)", "", 200_000),
    ("get_sub()", "t.get_sub()", "", 1_000_000),
    ("name", "t.name", "", 1_000_000),
    ("present (read)", "t.present", "", 1_000_000),
    ("present (write)", "t.present = True", "", 1_000_000),
    ("add_period (known pair)", "t.add_period(3, '10A')", "t.add_period(3, '10A')", 1_000_000),
    # Every call adds two entries to the class; a new class for each timing of 2,000
    # calls keeps it at a timetable's scale rather than timing the growth of one huge
    # list.
    ("register_period", "register_period(t, 3, school, klass)",
     "klass = Class('10A')", 2_000),
    ("add_teacher (known name)", "school.add_teacher(t)", "", 1_000_000),
)


def per_call_worker(implementation: str) -> dict:
    api = load(implementation)
    namespace = {
        "Teacher": api.Teacher, "Class": api.Class, "School": api.School,
        "register_period": api.register_period,
    }
    school = api.School()
    teacher = api.Teacher("Asha Rao", "Maths", True)
    school.add_teacher(teacher)
    namespace.update(t=teacher, school=school, f=load)
    figures = {}
    for label, stmt, setup, number in PER_CALL:
        figures[label] = best_ns(stmt, setup, namespace, number)
    # The unit once more at the end: the better of the two stands.
    unit_label, unit_stmt, unit_setup, unit_number = PER_CALL[0]
    figures[unit_label] = min(figures[unit_label], best_ns(unit_stmt, unit_setup, namespace, unit_number))
    # A new name each call: a loop over teachers made beforehand, in a new school.
    count = 100_000
    teachers = [api.Teacher("Teacher %06d" % i, "Maths", True) for i in range(count)]
    namespace["teachers"] = teachers
    loop = "for x in teachers: add(x)"
    figures["add_teacher (new name)"] = best_ns(
        loop, "add = School().add_teacher", namespace, 1, repeat=5) / count
    return figures


# --------------------------------------------------------------- driver --

def run_worker(arguments: list[str], python: str = sys.executable) -> dict:
    """Runs this script as a worker under `python` and gives what it printed."""
    import subprocess

    completed = subprocess.run([python, "-m", "benchmarks.bench", *arguments], cwd=ROOT,
                               check=True, capture_output=True, text=True)
    return json.loads(completed.stdout)


def format_seconds(seconds: float) -> str:
    if seconds >= 1:
        return "%.3f s" % seconds
    if seconds >= 1e-3:
        return "%.3f ms" % (seconds * 1e3)
    return "%.1f µs" % (seconds * 1e6)


def phase_medians(data: dict, phases=PipelineTimes.PHASES) -> dict:
    import statistics

    return {phase: statistics.median(run[phase] for run in data["runs"]) for phase in phases}


def ratio_text(ours: float, theirs: float) -> str:
    return "%.2fx" % (theirs / ours) if ours else "inf"


def memory_line(label: str, data: dict) -> str:
    return ("%s: runs %d, report rows %d, RSS before the runs %.1f MiB, peak RSS %.1f MiB"
            % (label, len(data["runs"]), data["rows"], data["rss_before_kib"] / 1024,
               data["peak_rss_kib"] / 1024))


def yes_no(same: bool) -> str:
    return "yes" if same else "no"


def show_policy(planned: dict, with_policy: dict) -> None:
    """plan() with every policy option on, against plan() without a policy."""
    if not planned["installed"] or not with_policy["installed"]:
        return
    default = phase_medians(planned, ("total",))["total"]
    every = phase_medians(with_policy, ("total",))["total"]
    print("plan() with every policy option on (median): %s, %s plan() without a policy"
          % (format_seconds(every), ratio_text(default, every)))


def show_module_share(ours: dict, noop: dict, lessons: int) -> None:
    """The pipeline beside the same loop calling a C function that does nothing, and the
    difference, the module's share, per lesson."""
    print("%-18s %14s %14s %14s %12s" % ("lessoncover", "pipeline", "no-op C loop", "module share",
                                          "share/lesson"))
    for phase in PipelineTimes.PHASES:
        share = ours[phase] - noop[phase]
        print("%-18s %14s %14s %14s %9.1f ns" % (phase, format_seconds(ours[phase]), format_seconds(noop[phase]),
                                                  format_seconds(share) if share >= 0 else "-" + format_seconds(-share),
                                                  share / lessons * 1e9))
    print("pipeline per lesson %.1f ns, of which the no-op loop %.1f ns and the module %.1f ns; "
          "register_period %.1f ns per lesson"
          % (ours["total"] / lessons * 1e9, noop["total"] / lessons * 1e9,
             (ours["total"] - noop["total"]) / lessons * 1e9, ours["register_period"] / lessons * 1e9))


def show_plan_order(class_by_class: dict, plan_order: dict, planned: dict) -> None:
    """The two object pipelines side by side, then plan() against the one in its order."""
    ours, theirs = phase_medians(class_by_class), phase_medians(plan_order)
    print("%-18s %16s %16s" % ("lessoncover", "class by class", "plan() order"))
    for phase in PipelineTimes.PHASES:
        print("%-18s %16s %16s" % (phase, format_seconds(ours[phase]), format_seconds(theirs[phase])))
    print(memory_line("pipeline in plan() order", plan_order))
    print("same report in both orders: %s" % yes_no(class_by_class["digest"] == plan_order["digest"]))

    print()
    if not planned["installed"]:
        print("plan(): not installed")
        print("  (%s)" % planned["error"])
        return
    timed = phase_medians(planned, ("plan", "report", "total"))
    print("plan() end to end (median): %s [plan() %s, report() %s]; %s the pipeline in plan() order"
          % (format_seconds(timed["total"]), format_seconds(timed["plan"]), format_seconds(timed["report"]),
             ratio_text(theirs["total"], timed["total"])))
    print(memory_line("plan()", planned))
    print("plan() report identical to the object pipeline in plan() order: %s"
          % yes_no(planned["digest"] == plan_order["digest"]))


def show_period_shift(base: dict, shifted: dict, period_offset: int) -> None:
    """Generation for periods 1..8 and for the same day with its periods renumbered."""
    ours, theirs = phase_medians(base), phase_medians(shifted)
    low, high = 1 + period_offset, PERIODS_PER_DAY + period_offset
    print("%-18s %14s %14s %8s" % ("periods (median)", "1..%d" % PERIODS_PER_DAY, "%d..%d" % (low, high), "ratio"))
    for phase in ("generate", "total"):
        print("%-18s %14s %14s %8s" % (phase, format_seconds(ours[phase]), format_seconds(theirs[phase]),
                                      ratio_text(ours[phase], theirs[phase])))
    print(memory_line("periods %d..%d" % (low, high), shifted))
    print("same report up to the period numbers: %s" % yes_no(base["digest"] == shifted["digest"]))


def spread(values: list[float], scale: float, unit: str) -> str:
    """The median of `values` with their range, times `scale`."""
    import statistics

    return "%.1f %s (%.1f-%.1f)" % (statistics.median(values) * scale, unit, min(values) * scale,
                                    max(values) * scale)


def growth_run(sizes: list[str], rounds: int, repeat: int, seed: int, warmup: int) -> None:
    """The module's share per lesson and generation, size by size in turn, round after round."""
    import statistics

    counts = {}
    for size in sizes:
        workload = make_workload(SIZES[size], seed)
        counts[size] = (len(workload.teachers), workload.lesson_count)
        del workload
    print("growth: sizes %s, %d rounds, each a worker of %d runs after %d warm-up; seed %d; nproc %d"
          % (", ".join(sizes), rounds, repeat, warmup, seed, os.cpu_count() or 0))
    share = {size: [] for size in sizes}
    generate = {size: [] for size in sizes}
    per_lesson = {size: [] for size in sizes}
    noop_per_lesson = {size: [] for size in sizes}
    for round_number in range(rounds):
        # Each round takes the implementations in the other order, so neither always runs
        # right after the other.
        order = ("lessoncover", "noop") if round_number % 2 == 0 else ("noop", "lessoncover")
        for size in sizes:
            medians = {}
            for implementation in order:
                data = run_worker(["--worker", "pipeline", "--implementation", implementation, "--size", size,
                                   "--repeat", str(repeat), "--seed", str(seed), "--warmup", str(warmup)])
                medians[implementation] = phase_medians(data)
            lessons = counts[size][1]
            ours, noop = medians["lessoncover"], medians["noop"]
            per_lesson[size].append(ours["total"] / lessons)
            noop_per_lesson[size].append(noop["total"] / lessons)
            share[size].append((ours["total"] - noop["total"]) / lessons)
            generate[size].append(ours["generate"])

    print()
    print("%-5s %8s %8s %22s %22s %22s %24s" % ("size", "teachers", "lessons", "pipeline per lesson",
                                                "no-op loop per lesson", "module share per lesson",
                                                "generate"))
    for size in sizes:
        teachers, lessons = counts[size]
        print("%-5s %8d %8d %22s %22s %22s %24s" % (
            size, teachers, lessons, spread(per_lesson[size], 1e9, "ns"), spread(noop_per_lesson[size], 1e9, "ns"),
            spread(share[size], 1e9, "ns"), spread(generate[size], 1e6, "µs")))
    first = sizes[0]
    print()
    print("growth from %s, medians over the rounds (the range of the rounds' own ratios):" % first)
    for size in sizes[1:]:
        share_ratios = [ours / theirs for ours, theirs in zip(share[size], share[first])]
        generate_ratios = [ours / theirs for ours, theirs in zip(generate[size], generate[first])]
        print("  %s: module share per lesson %.2fx (%.2f-%.2fx), generate %.1fx (%.1f-%.1fx)" % (
            size, statistics.median(share[size]) / statistics.median(share[first]),
            min(share_ratios), max(share_ratios),
            statistics.median(generate[size]) / statistics.median(generate[first]),
            min(generate_ratios), max(generate_ratios)))

WIDE_TEACHERS = "1000,2000,4000,8000,16000"


def per_doubling(ratio: float, teachers: int, fewer: int) -> float:
    """A growth from `fewer` teachers to `teachers` as the growth per doubling of them."""
    import math

    return ratio ** (1 / math.log2(teachers / fewer))


def wide_growth_run(period_counts: list[int], teacher_counts: list[int], rounds: int, repeat: int,
                    seed: int, warmup: int) -> None:
    """generate_substitutions() and plan() on the wide days (wide_workload.py) of each number
    of periods and of teachers, case after case in turn, round after round: the medians over
    the rounds and their growth per doubling of the teachers."""
    import statistics

    print("wide days: periods %s, teachers %s; %d rounds, each case a worker of %d runs after %d "
          "warm-up for each of the two; seed %d; nproc %d; %s"
          % (", ".join(map(str, period_counts)), ", ".join(map(str, teacher_counts)), rounds, repeat,
             warmup, seed, os.cpu_count() or 0, sys.executable))
    cases = [(periods, teachers) for periods in period_counts for teachers in teacher_counts]
    generate = {case: [] for case in cases}
    planned = {case: [] for case in cases}
    facts = {}
    disagree = set()
    for round_number in range(rounds):
        # Each round takes the two workers in the other order, so neither always runs first.
        order = ("pipeline", "plan") if round_number % 2 == 0 else ("plan", "pipeline")
        for periods, teachers in cases:
            common = ["--teachers", str(teachers), "--periods", str(periods), "--seed", str(seed),
                      "--repeat", str(repeat), "--warmup", str(warmup)]
            arguments = {"pipeline": ["--worker", "pipeline", "--implementation", "lessoncover",
                                      "--order", "plan-order", "--period-offset", "0", *common],
                         "plan": ["--worker", "plan", *common]}
            data = {worker: run_worker(arguments[worker]) for worker in order}
            if not data["plan"]["installed"]:
                raise SystemExit("plan(): not installed (%s)" % data["plan"]["error"])
            case = (periods, teachers)
            generate[case].append(phase_medians(data["pipeline"], ("generate",))["generate"])
            planned[case].append(phase_medians(data["plan"], ("total",))["total"])
            facts[case] = (data["pipeline"]["lessons"], data["pipeline"]["rows"])
            if data["pipeline"]["digest"] != data["plan"]["digest"]:
                disagree.add(case)

    def growth(by_case: dict, periods: int, at: int) -> str:
        if at == 0:
            return ""
        teachers, fewer = teacher_counts[at], teacher_counts[at - 1]
        ours, theirs = by_case[(periods, teachers)], by_case[(periods, fewer)]
        ratios = [per_doubling(a / b, teachers, fewer) for a, b in zip(ours, theirs)]
        return "%.2fx (%.2f-%.2f)" % (per_doubling(statistics.median(ours) / statistics.median(theirs),
                                                   teachers, fewer), min(ratios), max(ratios))

    for periods in period_counts:
        print()
        print("%d periods: generate_substitutions() alone, after the pipeline in plan()'s order; "
              "plan() end to end with report(); medians over the rounds (range)" % periods)
        print("%8s %9s %9s %26s %20s %26s %20s" % ("teachers", "lessons", "rows", "generate",
                                                  "per doubling", "plan()", "per doubling"))
        for at, teachers in enumerate(teacher_counts):
            case = (periods, teachers)
            print("%8d %9d %9d %26s %20s %26s %20s" % (
                teachers, *facts[case], spread(generate[case], 1e3, "ms"),
                growth(generate, periods, at), spread(planned[case], 1e3, "ms"), growth(planned, periods, at)))
        first, last = (periods, teacher_counts[0]), (periods, teacher_counts[-1])
        overall = [per_doubling(statistics.median(by_case[last]) / statistics.median(by_case[first]),
                                teacher_counts[-1], teacher_counts[0]) for by_case in (generate, planned)]
        print("from %d to %d teachers, per doubling: generate %.2fx, plan() %.2fx"
              % (teacher_counts[0], teacher_counts[-1], *overall))
    print()
    if disagree:
        print("plan() and the pipeline DISAGREE at: %s" % ", ".join(
            "%d periods x %d teachers" % case for case in sorted(disagree)))
    else:
        print("plan()'s report identical to the pipeline's in every case and round: yes")


def main() -> None:
    parser = argparse.ArgumentParser(description="lessoncover benchmark")
    parser.add_argument("--size", choices=sorted(SIZES), default="M")
    parser.add_argument("--repeat", type=int, default=5, help="pipeline runs per implementation")
    parser.add_argument("--reference-repeat", type=int, default=None,
                        help="pipeline runs of the reference (default: --repeat, 1 at size D)")
    parser.add_argument("--warmup", type=int, default=1, help="uncounted runs before each pipeline's timed runs")
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("--no-reference", action="store_true", help="skip the reference")
    parser.add_argument("--period-offset", type=int, default=100,
                        help="also time the day with periods 1+N..8+N instead of 1..8 "
                             "(default 100: periods 101..108); 0 leaves it out")
    parser.add_argument("--growth", metavar="SIZES",
                        help="comma-separated sizes, smallest first: the module's growth over them, alone")
    parser.add_argument("--rounds", type=int, default=5, help="rounds of --growth and --periods")
    parser.add_argument("--periods", metavar="COUNTS",
                        help="comma-separated numbers of periods: generate_substitutions() and plan() on days "
                             "spread over that many periods, at each of --teachers, alone")
    parser.add_argument("--teachers", metavar="COUNTS", default=WIDE_TEACHERS,
                        help="comma-separated numbers of teachers of --periods, fewest first (default %(default)s)")
    parser.add_argument("--worker", choices=("pipeline", "plan", "per-call"), help=argparse.SUPPRESS)
    parser.add_argument("--policy", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--implementation", choices=IMPLEMENTATIONS, help=argparse.SUPPRESS)
    parser.add_argument("--order", choices=sorted(PIPELINES), default="class-by-class", help=argparse.SUPPRESS)
    args = parser.parse_args()
    low, high = PERIOD_RANGE
    if not (low <= 1 + args.period_offset and PERIODS_PER_DAY + args.period_offset <= high):
        parser.error("--period-offset %d puts the periods outside %d..%d" % (args.period_offset, low, high))

    # A worker of --periods: one number of periods and of teachers.
    wide = {"teachers": int(args.teachers), "periods": int(args.periods)} if args.worker and args.periods else {}
    if args.worker == "pipeline":
        print(json.dumps(pipeline_worker(args.implementation, args.size, args.repeat, args.seed,
                                         args.order, args.period_offset, args.warmup, **wide)))
        return
    if args.worker == "plan":
        print(json.dumps(plan_worker(args.size, args.repeat, args.seed, args.policy, warmup=args.warmup, **wide)))
        return
    if args.worker == "per-call":
        print(json.dumps(per_call_worker(args.implementation)))
        return

    if args.growth:
        sizes = args.growth.split(",")
        unknown = [size for size in sizes if size not in SIZES]
        if unknown or len(sizes) < 2:
            parser.error("--growth takes two or more of %s, comma-separated" % ", ".join(sorted(SIZES)))
        growth_run(sizes, args.rounds, args.repeat, args.seed, args.warmup)
        return
    if args.periods:
        try:
            period_counts = [int(count) for count in args.periods.split(",")]
            teacher_counts = [int(count) for count in args.teachers.split(",")]
        except ValueError:
            parser.error("--periods and --teachers take comma-separated whole numbers")
        if len(teacher_counts) < 2 or teacher_counts != sorted(set(teacher_counts)) or teacher_counts[0] < 2:
            parser.error("--teachers takes two or more numbers of at least 2, fewest first")
        if not all(1 <= count <= high for count in period_counts):
            parser.error("--periods takes numbers of periods from 1 to %d" % high)
        wide_growth_run(period_counts, teacher_counts, args.rounds, args.repeat, args.seed, args.warmup)
        return

    reference_repeat = args.reference_repeat
    if reference_repeat is None:
        reference_repeat = 1 if args.size == "D" else args.repeat
    module_only = args.no_reference or args.size in MODULE_ONLY_SIZES
    implementations = ["lessoncover"] if module_only else ["lessoncover", "reference"]

    workload = make_workload(SIZES[args.size], args.seed)
    lessons = workload.lesson_count
    absent = sum(not t.present for t in workload.teachers)
    print("size %s: %d teachers (%d absent), %d classes, %d lessons; seed %d; nproc %d"
          % (args.size, len(workload.teachers), absent, len(workload.class_names),
             workload.lesson_count, args.seed, os.cpu_count() or 0))
    del workload

    def pipeline(implementation: str, repeat: int, order: str = "class-by-class", period_offset: int = 0) -> dict:
        return run_worker(["--worker", "pipeline", "--implementation", implementation, "--order", order,
                           "--period-offset", str(period_offset), "--size", args.size,
                           "--repeat", str(repeat), "--seed", str(args.seed), "--warmup", str(args.warmup)])

    pipelines = {}
    for implementation in implementations:
        repeat = args.repeat if implementation == "lessoncover" else reference_repeat
        pipelines[implementation] = pipeline(implementation, repeat)

    print()
    header = "%-18s %14s" % ("phase (median)", "lessoncover")
    if "reference" in pipelines:
        header += " %14s %10s" % ("reference", "ratio")
    print(header)
    medians = {impl: phase_medians(data) for impl, data in pipelines.items()}
    for phase in PipelineTimes.PHASES:
        line = "%-18s %14s" % (phase, format_seconds(medians["lessoncover"][phase]))
        if "reference" in medians:
            ours, theirs = medians["lessoncover"][phase], medians["reference"][phase]
            line += " %14s %9.1fx" % (format_seconds(theirs), theirs / ours if ours else float("inf"))
        print(line)
    for implementation, data in pipelines.items():
        print("%-12s runs %d, report rows %d, RSS before pipeline %.1f MiB, peak RSS %.1f MiB"
              % (implementation, len(data["runs"]), data["rows"], data["rss_before_kib"] / 1024,
                 data["peak_rss_kib"] / 1024))
    if "reference" in pipelines:
        same = pipelines["lessoncover"]["digest"] == pipelines["reference"]["digest"]
        print("reports identical (timing line aside): %s" % ("yes" if same else "NO"))

    print()
    show_module_share(medians["lessoncover"], phase_medians(pipeline("noop", args.repeat)), lessons)

    print()
    plan_order = pipeline("lessoncover", args.repeat, order="plan-order")
    planned = run_worker(["--worker", "plan", "--size", args.size, "--repeat", str(args.repeat),
                          "--seed", str(args.seed), "--warmup", "0"])
    show_plan_order(pipelines["lessoncover"], plan_order, planned)
    with_policy = run_worker(["--worker", "plan", "--policy", "--size", args.size, "--repeat", str(args.repeat),
                              "--seed", str(args.seed), "--warmup", "0"])
    show_policy(planned, with_policy)

    if args.period_offset:
        print()
        shifted = pipeline("lessoncover", args.repeat, period_offset=args.period_offset)
        show_period_shift(pipelines["lessoncover"], shifted, args.period_offset)

    figures = {impl: run_worker(["--worker", "per-call", "--implementation", impl])
               for impl in implementations}
    unit = figures["lessoncover"]["str.isascii() [unit]"]
    print()
    header = "%-26s %10s %8s" % ("per call (best timing)", "ns", "units")
    if "reference" in figures:
        header += " %14s %8s" % ("reference ns", "ratio")
    print(header)
    for label, ns in figures["lessoncover"].items():
        line = "%-26s %10.1f %8.2f" % (label, ns, ns / unit)
        if "reference" in figures:
            theirs = figures["reference"][label]
            line += " %14.1f %7.1fx" % (theirs, theirs / ns)
        print(line)


if __name__ == "__main__":
    main()
