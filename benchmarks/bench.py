"""Benchmark of lessoncover against the pure-Python reference.

    python3 benchmarks/bench.py --size M --repeat 5

For each implementation a fresh subprocess builds the workload and runs the
pipeline (create teachers, add_teacher, register_period and add_class class by
class, generate_substitutions once) several times; the median of each phase
is shown with the process's peak resident set size, so the peak belongs to one
implementation alone.  Both reports must agree (the timing line aside).

Per-call figures come from timeit (best of several repeats) and are shown as
nanoseconds and in units of ``str.isascii()`` on a short str measured in the
same run.
"""
from __future__ import annotations

import argparse
import json
import os
import resource
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

from workload import SIZES, PipelineTimes, make_workload, run_pipeline  # noqa: E402

IMPLEMENTATIONS = ("lessoncover", "reference")


def load(implementation: str):
    if implementation == "lessoncover":
        import lessoncover
        return lessoncover
    import reference
    return reference


def current_rss_kib() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def without_timing(result: str) -> str:
    return result.rsplit("\n", 1)[0]


# ---------------------------------------------------------------- workers --

def pipeline_worker(implementation: str, size: str, repeat: int, seed: int) -> dict:
    import hashlib

    api = load(implementation)
    workload = make_workload(SIZES[size], seed)
    rss_before = current_rss_kib()
    runs = []
    digest = None
    for _ in range(repeat):
        times = run_pipeline(api, workload)
        text = without_timing(times.result)
        this_digest = hashlib.sha256(text.encode()).hexdigest()
        if digest is not None and this_digest != digest:
            raise SystemExit("the report changed between runs")
        digest = this_digest
        runs.append({phase: getattr(times, phase) for phase in PipelineTimes.PHASES})
        rows = text.count("\n") - 2
        del times, text
    return {
        "runs": runs,
        "digest": digest,
        "rows": rows,
        "rss_before_kib": rss_before,
        "peak_rss_kib": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss,
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

def run_worker(arguments: list[str]) -> dict:
    import subprocess

    completed = subprocess.run([sys.executable, os.path.abspath(__file__), *arguments],
                               check=True, capture_output=True, text=True)
    return json.loads(completed.stdout)


def format_seconds(seconds: float) -> str:
    if seconds >= 1:
        return "%.3f s" % seconds
    if seconds >= 1e-3:
        return "%.3f ms" % (seconds * 1e3)
    return "%.1f µs" % (seconds * 1e6)


def main() -> None:
    parser = argparse.ArgumentParser(description="lessoncover benchmark")
    parser.add_argument("--size", choices=sorted(SIZES), default="M")
    parser.add_argument("--repeat", type=int, default=5, help="pipeline runs per implementation")
    parser.add_argument("--reference-repeat", type=int, default=None,
                        help="pipeline runs of the reference (default: --repeat, 1 at size D)")
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("--no-reference", action="store_true", help="skip the reference")
    parser.add_argument("--worker", choices=("pipeline", "per-call"), help=argparse.SUPPRESS)
    parser.add_argument("--implementation", choices=IMPLEMENTATIONS, help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.worker == "pipeline":
        print(json.dumps(pipeline_worker(args.implementation, args.size, args.repeat, args.seed)))
        return
    if args.worker == "per-call":
        print(json.dumps(per_call_worker(args.implementation)))
        return

    import statistics

    reference_repeat = args.reference_repeat
    if reference_repeat is None:
        reference_repeat = 1 if args.size == "D" else args.repeat
    implementations = ["lessoncover"] if args.no_reference else list(IMPLEMENTATIONS)

    workload = make_workload(SIZES[args.size], args.seed)
    absent = sum(not t.present for t in workload.teachers)
    print("size %s: %d teachers (%d absent), %d classes, %d lessons; seed %d; nproc %d"
          % (args.size, len(workload.teachers), absent, len(workload.class_names),
             workload.lesson_count, args.seed, os.cpu_count() or 0))
    del workload

    pipelines = {}
    for implementation in implementations:
        repeat = args.repeat if implementation == "lessoncover" else reference_repeat
        pipelines[implementation] = run_worker(
            ["--worker", "pipeline", "--implementation", implementation,
             "--size", args.size, "--repeat", str(repeat), "--seed", str(args.seed)])

    print()
    header = "%-18s %14s" % ("phase (median)", "lessoncover")
    if "reference" in pipelines:
        header += " %14s %10s" % ("reference", "ratio")
    print(header)
    medians = {impl: {phase: statistics.median(run[phase] for run in data["runs"])
                      for phase in PipelineTimes.PHASES}
               for impl, data in pipelines.items()}
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
