"""How long lessoncover_planner.plan() takes to stop once a signal handler raises.

    python3 -m benchmarks.plan_interrupt --size X --points 40

The day of benchmarks/workload.py at the given size (X: 100,000 teachers) is planned
alone a few times for the call's median time T. Then, for points spread evenly over
the call (from 2.5% to 97.5% of T), a signal is due that far into a call whose
handler raises, as Ctrl-C's does: the latency is the time from the signal being due to
the exception reaching the caller. A call that ends before its signal is left out.
Prints each point and the median and largest latency, in ms.

Times are the process's CPU time (ITIMER_PROF and time.process_time()), so that other
processes on a busy machine do not count: the figure is the work the call does before
it stops.
"""
from __future__ import annotations

import argparse
import signal
import statistics
import time

from lessoncover_planner import plan
from benchmarks.workload import SIZES, make_workload, plan_inputs


class Alarm(Exception):
    """What the handler raises."""


armed = [False]


def raise_alarm(signum, frame):
    # A signal due after the call ended finds it disarmed.
    if armed[0]:
        raise Alarm


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", choices=sorted(SIZES), default="X")
    parser.add_argument("--points", type=int, default=40)
    parser.add_argument("--repeat", type=int, default=5, help="uninterrupted runs for T")
    args = parser.parse_args()
    teachers, lessons, absences = plan_inputs(make_workload(SIZES[args.size]))
    alone = []
    for _ in range(args.repeat):
        started = time.process_time()
        plan(teachers, lessons, absences)
        alone.append(time.process_time() - started)
    whole = statistics.median(alone)
    print(f"plan() at {SIZES[args.size]:,} teachers, {len(lessons):,} lessons: {whole * 1e3:.1f} ms of CPU time alone")
    signal.signal(signal.SIGPROF, raise_alarm)
    latencies = []
    for point in range(args.points):
        due = whole * (point + 0.5) / args.points
        started = time.process_time()
        armed[0] = True
        signal.setitimer(signal.ITIMER_PROF, due)
        try:
            plan(teachers, lessons, absences)
            armed[0] = False
        except Alarm:
            latency = time.process_time() - started - due
            latencies.append(latency)
            print(f"  signal at {due * 1e3:6.1f} ms: stopped {latency * 1e3:6.1f} ms later")
        else:
            print(f"  signal at {due * 1e3:6.1f} ms: the call had ended")
        finally:
            armed[0] = False
            signal.setitimer(signal.ITIMER_PROF, 0)
    if latencies:
        print(f"latency over {len(latencies)} interrupted calls: median {statistics.median(latencies) * 1e3:.1f} ms, "
              f"largest {max(latencies) * 1e3:.1f} ms")


if __name__ == "__main__":
    main()
